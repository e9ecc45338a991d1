// TStatusPanels: the main window's three status-bar panels: 0 the drive's or
// the player's state, 1 the disc's summary, 2 the ticked tracks' summary. The
// labels belong to the status bar; user-interface thread only.
#pragma once

#include <QString>

class QLabel;
class TStatusBarEx;
class TMyCDInfo;
class TTrackListView;

class TStatusPanels {
 public:
  // Adds the three panels to the bar.
  void Create(TStatusBarEx* bar);
  // Requires: Create was called.
  QLabel* operator[](int panel) const { return FLabels[panel]; }

  // Panel 1: the disc's track count, length and size.
  void ShowDisc(const TMyCDInfo& info);
  // Panel 2: how many tracks the list has ticked, their length and size;
  // empty when the list is.
  void ShowSelection(const TTrackListView& list);
  // Empties panels 1 and 2.
  void ClearDisc();

 private:
  QLabel* FLabels[3] = {};
};
