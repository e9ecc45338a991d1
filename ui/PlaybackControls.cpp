#include "ui/PlaybackControls.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include "play/CDPlayback.h"
#include "ui/MainForm.h"
#include "ui/TrackBarEx.h"

TPlaybackControls::TPlaybackControls(TMainForm& form) : QObject(&form), FForm(form) {
  WireActions();
  WireSeekBar();
  WireMasterVolume();
}

void TPlaybackControls::WireActions() {
  TMainForm& form = FForm;
  TCDPlayback* playback = form.CDPlayback.get();
  connect(form.actPlay, &QAction::triggered, this,
          [&form, playback] { playback->Play(form.lvTrackList->CurrentRecord()); });
  connect(form.actPause, &QAction::triggered, this, [playback] { playback->PauseResume(); });
  connect(form.actStop, &QAction::triggered, this, [this, playback] { Show(playback->Stop()); });
  connect(form.actPreviousTrack, &QAction::triggered, this,
          [playback] { playback->PreviousTrack(); });
  connect(form.actNextTrack, &QAction::triggered, this, [playback] { playback->NextTrack(); });
  connect(form.actEjectCD, &QAction::triggered, this, [playback] { playback->EjectCD(); });
  connect(form.actCloseCD, &QAction::triggered, this, [playback] { playback->CloseCD(); });
  connect(form.actSoundVolume, &QAction::triggered, this, [] { StartMixerProgram(); });
  connect(form.lvTrackList, &QTreeWidget::itemDoubleClicked, form.actPlay, &QAction::trigger);
}

void TPlaybackControls::WireSeekBar() {
  TTrackBarEx* bar = FForm.trkbarCD;
  TCDPlayback* playback = FForm.CDPlayback.get();
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
  QSlider* slider = FForm.trkbarMasterVolume;
  TPlayerControl* control = FForm.PlayerControl.get();
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
  if (!view.Status.isEmpty()) FForm.StatusPanels[0]->setText(view.Status);
  if (view.SeekMax >= 0) FForm.trkbarCD->setRange(0, view.SeekMax);
  if (view.SeekPosition >= 0) FForm.trkbarCD->setValue(view.SeekPosition);
}
