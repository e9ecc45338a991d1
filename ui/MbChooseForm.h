// TMbChooseForm: the choice among the releases MusicBrainz found for a disc,
// one row each ("Artist – Title", date, country, label, catalogue number,
// barcode, format). Enter or a double-click chooses, Escape declines.
// Modal, on the stack of whoever asks.
#pragma once

#include <QDialog>
#include <vector>

#include "musicbrainz/MbRelease.h"

class QTreeWidget;

class TMbChooseForm : public QDialog {
 public:
  explicit TMbChooseForm(const std::vector<TMbRelease>& releases, QWidget* parent = nullptr);

  // The row chosen; -1 when declined.
  int ChosenIndex() const { return FChosen; }

  QTreeWidget* lvReleases;

 private:
  int FChosen = -1;
};

// Shows the form; the index chosen or -1.
int ChooseMbRelease(const std::vector<TMbRelease>& releases, QWidget* parent);
