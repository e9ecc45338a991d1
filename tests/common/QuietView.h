// A session view that shows nothing, answers every overwrite question with
// Cancel and keeps the summary's lines.
#pragma once

#include <QStringList>

#include "rip/ConvSession.h"

class TQuietView : public TConvSessionView {
 public:
  void ShowStage(const QString&) override {}
  void ShowProgress(int) override {}
  void ShowJob(const QString&, const QString&, const QString&) override {}
  int ConfirmOverwrite(const QString&, bool&) override { return orCancel; }
  void AddMessage(const QString& line) override { Messages << line; }
  void AddNote(const QString& line) override { Notes << line; }
  QStringList Messages;
  QStringList Notes;
};
