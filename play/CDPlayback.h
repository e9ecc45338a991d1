// The main window's playback logic, without the window: CD playback through
// the ripping component (play, pause, stop, steps, seek, the tray and the
// play-state update of each state-timer tick) and the player component's use
// for the start-up sound and the master volume. The window
// wires its actions and controls to these and shows what they return.
// User-interface thread only.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "encode/FileParam.h"

class TCDRIP;
class TMyCDInfo;
class TXaudioPlayer;

// What one play-state update asks the window to show.
struct TPlayView {
  QString Status;         // panel 0; empty leaves it as it is
  int SeekMax = -1;       // the seek bar's range 0..SeekMax; -1 leaves it
  int SeekPosition = -1;  // -1 leaves the seek bar where it is
};

class TCDPlayback {
 public:
  // The window states this logic reads and sets.
  static constexpr int kIdle = 2;
  static constexpr int kPlaying = 3;

  // winState is the window's state field; all three must outlive this object.
  TCDPlayback(TCDRIP& cdrip, const TMyCDInfo& cdInfo, int& winState);

  // True while the user holds the seek bar.
  bool Seeking = false;

  // Whether a sound device can play; the ALSA default unless replaced.
  std::function<bool()> SoundDeviceReady;

  // Plays the row's track; nothing without a record. Without a sound device
  // nothing plays and the view says so.
  TPlayView Play(const TCDTrackInfo* record);
  void PauseResume();
  // What the window shows once stopped.
  TPlayView Stop();
  // Steps while playing; ignored while stopped.
  void PreviousTrack();
  void NextTrack();
  // Stops playback first, then opens the tray.
  void EjectCD();
  void CloseCD();
  // Stops playback for another command (refresh, drive change, closing), so
  // the next tick does not take the stop for a finished track.
  void StopForCommand();

  // The state-timer tick while playing: follows the drive, steps to the next
  // track at a track's end, idles after the last one.
  TPlayView Update();
  // The seek bar pressed and released at position (sectors into the track).
  void SeekStart() { Seeking = true; }
  void SeekTo(int position);

 private:
  TCDRIP& FCDRIP;
  const TMyCDInfo& FCDInfo;
  int& FWinState;
};

// The player component as the window uses it: the start-up sound, played
// once, and the master volume, which the slider shows and sets.
class TPlayerControl {
 public:
  explicit TPlayerControl(TXaudioPlayer& player);

  // The reported master level, for the slider.
  std::function<void(int level)> OnMasterLevel;
  // Whether the master volume can be shown and set, and why not.
  std::function<void(bool available, const QString& reason)> OnVolumeAvailable;

  // Loads the player (a failure makes the volume unavailable, without a
  // message box) and opens soundFile; the sound plays once it is open.
  void Start(const QString& soundFile);
  void SetMasterLevel(int level);
  // Closes the input and resets the output, as the window does at its end.
  void Finish();

 private:
  void Unavailable(const QString& reason);

  TXaudioPlayer& FPlayer;
  bool FStarted = false;
  bool FAvailable = false;
};

// Starts the desktop's mixer program: pavucontrol, else alsamixer in a
// terminal. False, and nothing started, when neither is installed.
bool StartMixerProgram();
