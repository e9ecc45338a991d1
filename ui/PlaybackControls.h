// TPlaybackControls: the main window's player controls wired to its CD
// playback and player component: the player actions, the seek bar, the
// master-volume slider, and each play-state update shown in status panel 0
// and the seek bar. Owned by the main window (Qt parent), which owns what it
// wires; user-interface thread only.
#pragma once

#include <QObject>

class QAction;
class QLabel;
class QSlider;
class TCDPlayback;
class TPlayerControl;
class TTrackBarEx;
class TTrackListView;
struct TPlayView;

// The window's player commands.
struct TPlayerActions {
  QAction* Play;
  QAction* Pause;
  QAction* Stop;
  QAction* PreviousTrack;
  QAction* NextTrack;
  QAction* EjectCD;
  QAction* CloseCD;
  QAction* SoundVolume;
};

// The window's controls the player drives; all outlive the controls.
struct TPlayerWidgets {
  TTrackListView* TrackList;  // plays its current row
  TTrackBarEx* SeekBar;
  QSlider* MasterVolume;
  QLabel* StatePanel;  // status panel 0
};

class TPlaybackControls : public QObject {
 public:
  TPlaybackControls(TCDPlayback& playback, TPlayerControl& player, const TPlayerActions& actions,
                    const TPlayerWidgets& widgets, QObject* parent);

  // Shows what a play-state update asks for.
  void Show(const TPlayView& view);

 private:
  void WireActions(const TPlayerActions& actions);
  void WireSeekBar();
  void WireMasterVolume();

  TCDPlayback& FPlayback;
  TPlayerControl& FPlayer;
  TPlayerWidgets FWidgets;
};
