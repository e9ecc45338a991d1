// TPlaybackControls: the main window's player controls wired to its CD
// playback and player component: the player actions, the seek bar, the
// master-volume slider, and each play-state update shown in status panel 0
// and the seek bar. Owned by the main window (Qt parent), which owns what it
// wires; user-interface thread only.
#pragma once

#include <QObject>

class TMainForm;
struct TPlayView;

class TPlaybackControls : public QObject {
 public:
  // Requires: the form's playback, player control, actions and controls exist.
  explicit TPlaybackControls(TMainForm& form);

  // Shows what a play-state update asks for.
  void Show(const TPlayView& view);

 private:
  void WireActions();
  void WireSeekBar();
  void WireMasterVolume();

  TMainForm& FForm;
};
