#include "ui/PlaybackControls.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include "play/CDPlayback.h"
#include "ui/TrackBarEx.h"
#include "ui/TrackListView.h"

TPlaybackControls::TPlaybackControls(TCDPlayback& playback, TPlayerControl& player,
                                     const TPlayerActions& actions, const TPlayerWidgets& widgets,
                                     QObject* parent)
    : QObject(parent), FPlayback(playback), FPlayer(player), FWidgets(widgets) {
  WireActions(actions);
  WireSeekBar();
  WireMasterVolume();
}

void TPlaybackControls::WireActions(const TPlayerActions& actions) {
  TCDPlayback* playback = &FPlayback;
  TTrackListView* list = FWidgets.TrackList;
  connect(actions.Play, &QAction::triggered, this,
          [this, list, playback] { Show(playback->Play(list->CurrentRecord())); });
  connect(actions.Pause, &QAction::triggered, this, [playback] { playback->PauseResume(); });
  connect(actions.Stop, &QAction::triggered, this, [this, playback] { Show(playback->Stop()); });
  connect(actions.PreviousTrack, &QAction::triggered, this,
          [playback] { playback->PreviousTrack(); });
  connect(actions.NextTrack, &QAction::triggered, this, [playback] { playback->NextTrack(); });
  connect(actions.EjectCD, &QAction::triggered, this, [this, playback] {
    playback->EjectCD();
    FWidgets.SeekBar->setValue(0);
  });
  connect(actions.CloseCD, &QAction::triggered, this, [playback] { playback->CloseCD(); });
  connect(actions.SoundVolume, &QAction::triggered, this, [] { StartMixerProgram(); });
  connect(list, &QTreeWidget::itemDoubleClicked, actions.Play, &QAction::trigger);
}

void TPlaybackControls::WireSeekBar() {
  TTrackBarEx* bar = FWidgets.SeekBar;
  TCDPlayback* playback = &FPlayback;
  bar->setEnabled(true);
  // Arrow keys step a second, Page keys ten (the bar counts sectors).
  bar->setSingleStep(75);
  bar->setPageStep(750);
  bar->OnMouseDown = [playback](QMouseEvent*) { playback->SeekStart(); };
  bar->OnKeyDown = [playback](QKeyEvent*) { playback->SeekStart(); };
  bar->OnMouseUp = [bar, playback](QMouseEvent*) { playback->SeekTo(bar->value()); };
  // A held key seeks once, when it is finally released.
  bar->OnKeyUp = [bar, playback](QKeyEvent* event) {
    if (!event->isAutoRepeat()) playback->SeekTo(bar->value());
  };
}

void TPlaybackControls::WireMasterVolume() {
  QSlider* slider = FWidgets.MasterVolume;
  TPlayerControl* control = &FPlayer;
  slider->setToolTip("Waiting for the sound volume");
  connect(slider, &QSlider::valueChanged, this,
          [control](int level) { control->SetMasterLevel(level); });
  control->OnMasterLevel = [slider](int level) {
    const QSignalBlocker quiet(slider);
    slider->setValue(level);
  };
  control->OnVolumeAvailable = [slider](bool available, const QString& reason) {
    slider->setEnabled(available);
    slider->setToolTip(available ? QString("Master volume") : reason);
  };
}

void TPlaybackControls::Show(const TPlayView& view) {
  if (!view.Status.isEmpty()) FWidgets.StatePanel->setText(view.Status);
  if (view.SeekMax >= 0) FWidgets.SeekBar->setRange(0, view.SeekMax);
  if (view.SeekPosition >= 0) FWidgets.SeekBar->setValue(view.SeekPosition);
}
