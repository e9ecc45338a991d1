#include "play/CDPlayback.h"

#include <QProcess>
#include <QStandardPaths>
#include <cstdlib>

#include "cddb/CDInfo.h"
#include "disc/CDRIP.h"
#include "play/SoundPlay.h"
#include "play/XaudioPlayer.h"

namespace {

constexpr uint8_t kPlayCompleted = 0x13;
constexpr uint8_t kPlayError = 0x14;
constexpr uint8_t kNoStatus = 0x15;

}  // namespace

TCDPlayback::TCDPlayback(TCDRIP& cdrip, const TMyCDInfo& cdInfo, int& winState)
    : SoundDeviceReady([] { return ::SoundDeviceReady(); }),
      FCDRIP(cdrip),
      FCDInfo(cdInfo),
      FWinState(winState) {}

TPlayView TCDPlayback::Play(const TCDTrackInfo* record) {
  if (!record) return {};
  // A clock running over silence would pretend to play.
  if (SoundDeviceReady && !SoundDeviceReady()) {
    StopForCommand();
    return {QStringLiteral("No sound device"), -1, 0};
  }
  FCDRIP.PlayTrack(record->TrackIndex + 1);
  FWinState = kPlaying;
  Seeking = false;
  return {};
}

void TCDPlayback::PauseResume() { FCDRIP.PauseResume(); }

TPlayView TCDPlayback::Stop() {
  FCDRIP.StopPlay();
  FWinState = kIdle;
  Seeking = false;
  return {QStringLiteral("Ready"), -1, 0};
}

// While stopped the steps would start sound the window does not follow.
void TCDPlayback::PreviousTrack() {
  if (FWinState == kPlaying) FCDRIP.PrevTrack();
}
void TCDPlayback::NextTrack() {
  if (FWinState == kPlaying) FCDRIP.NextTrack();
}

void TCDPlayback::EjectCD() {
  // The tray opens on silence, and the window leaves its playing state.
  StopForCommand();
  FCDRIP.EjectTray(true);
}
void TCDPlayback::CloseCD() { FCDRIP.EjectTray(false); }

void TCDPlayback::StopForCommand() {
  if (FCDRIP.IsAudioPlaying()) FCDRIP.StopPlay();
  if (FWinState == kPlaying) FWinState = kIdle;
}

TPlayView TCDPlayback::Update() {
  TPlayView view;
  const int32_t track = FCDRIP.CurrentTrack();
  const uint8_t status = uint8_t(FCDRIP.AudioStatus());
  if (status == kPlayCompleted || status == kPlayError || status == kNoStatus) {
    // The next tick shows the next track playing.
    if (track < FCDRIP.TrackCount() && FCDRIP.NextTrack()) return view;
    FWinState = kIdle;
    view.Status = track < FCDRIP.TrackCount() ? "Can't play." : "Ready";
    return view;
  }
  int32_t relative = 0;
  int32_t absolute = 0;
  FCDRIP.GetPlayPosition(relative, absolute);
  if (track >= 1 && track <= FCDInfo.TrackCount) {
    const int32_t start = FCDInfo.TrackStartSector(track - 1);
    const int32_t end = FCDInfo.TrackEndSector(track - 1);
    const int32_t length = end - start;
    view.SeekMax = length;
    if (!Seeking) view.SeekPosition = std::abs(end - absolute - length);
  }
  const int32_t seconds = relative / 75;
  view.Status =
      QString::asprintf("Playing Track %.2d - %.2d:%.2d", track, (seconds / 60) % 60, seconds % 60);
  return view;
}

void TCDPlayback::SeekTo(int position) {
  if (FWinState != kPlaying) return;
  const int32_t track = FCDRIP.CurrentTrack();
  if (track >= 1 && track <= FCDInfo.TrackCount) {
    FCDRIP.PauseResume();
    FCDRIP.PlaySection(FCDInfo.TrackStartSector(track - 1) + position,
                       FCDInfo.TrackEndSector(track - 1));
  }
  Seeking = false;
}

TPlayerControl::TPlayerControl(TXaudioPlayer& player) : FPlayer(player) {
  FPlayer.OnNotifyInputState = [](TXaudioPlayer* sender, int32_t state) {
    if (state == XA_INPUT_STATE_OPEN) sender->Play();
  };
  FPlayer.OnNotifyPlayerState = [](TXaudioPlayer* sender, int32_t state) {
    if (state == XA_PLAYER_STATE_STOPPED || state == XA_PLAYER_STATE_EOF) sender->InputClose();
  };
  auto level = [this](int32_t master) {
    if (master < 0) return;
    if (!FAvailable) {
      FAvailable = true;
      if (OnVolumeAvailable) OnVolumeAvailable(true, QString());
    }
    if (OnMasterLevel) OnMasterLevel(master);
  };
  FPlayer.OnNotifyOutputVolume = [level](TXaudioPlayer*, int32_t master, int32_t, int32_t) {
    level(master);
  };
  FPlayer.OnNotifyOutputMasterLevel = [level](TXaudioPlayer*, int32_t master) { level(master); };
  FPlayer.OnNotifyError = [this](TXaudioPlayer*, int32_t source, int32_t, const QString& message) {
    if (source == XA_SOURCE_MIXER) Unavailable("No mixer control: " + message);
  };
}

void TPlayerControl::Unavailable(const QString& reason) {
  FAvailable = false;
  if (OnVolumeAvailable) OnVolumeAvailable(false, reason);
}

void TPlayerControl::Start(const QString& soundFile) {
  try {
    FPlayer.Init();
  } catch (const EXaudioException& e) {
    Unavailable("No sound output: " + e.Message());
    return;
  }
  FStarted = true;
  FPlayer.InputOpen(soundFile);
}

void TPlayerControl::SetMasterLevel(int level) {
  if (FStarted && FAvailable) FPlayer.SetOutputVolume(-1, -1, level);
}

void TPlayerControl::Finish() {
  if (!FStarted) return;
  FPlayer.InputClose();
  FPlayer.OutputReset();
}

bool StartMixerProgram() {
  const QString pavucontrol = QStandardPaths::findExecutable("pavucontrol");
  if (!pavucontrol.isEmpty()) return QProcess::startDetached(pavucontrol, {});
  const QString alsamixer = QStandardPaths::findExecutable("alsamixer");
  const QString terminal = QStandardPaths::findExecutable("x-terminal-emulator");
  if (alsamixer.isEmpty() || terminal.isEmpty()) return false;
  return QProcess::startDetached(terminal, {"-e", alsamixer});
}
