// How an extraction went, in one line under the track list: counted from the
// states the session left in the jobs and the AccurateRip verdicts it
// reached, with the log it wrote and the output folder a click away.
// User-interface thread only.
#pragma once

#include <QFrame>

#include "encode/FileParam.h"
#include "rip/RipSummary.h"

class QLabel;
class QPushButton;
class TElidedLabel;

class TRipVerdictBar : public QFrame {
  Q_OBJECT
 public:
  explicit TRipVerdictBar(QWidget* parent = nullptr);

  // Shows the summary; log and folder are offered when not empty.
  void Show(const TRipSummary& summary, const QString& log, const QString& folder);
  QString Text() const;

 private:
  QLabel* FIcon;
  TElidedLabel* FText;
  QPushButton* FOpenLog;
  QPushButton* FOpenFolder;
  QString FLog;
  QString FFolder;
};
