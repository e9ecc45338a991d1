// The options dialog's Encoder tab: each output format's own settings where
// the chosen format's stand, the LAME presets and the bit-rate reactions.
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QMenu>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>

#include "encode/FileFormats.h"
#include "settings/config.h"
#include "ui/ConfigForm.h"
#include "ui/ConfigWidgets.h"

using namespace configform;

namespace {

// A page of the format stack: its controls at the top, the room below empty.
QVBoxLayout* FormatPage(QStackedWidget* stack, const char* name) {
  auto* page = new QWidget(stack);
  page->setObjectName(name);
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  stack->addWidget(page);
  return layout;
}

}  // namespace

QWidget* TConfigForm::CreateEncoderTab() {
  auto* tab = new QWidget;
  tab->setObjectName("tsEncoder");
  auto* tabLayout = new QVBoxLayout(tab);
  // One page per kind of format options, in their order: the chosen
  // format's own settings stand where the MP3 encoder's do.
  swFormatOptions = new QStackedWidget(tab);
  swFormatOptions->setObjectName("swFormatOptions");
  tabLayout->addWidget(swFormatOptions);

  QVBoxLayout* wav = FormatPage(swFormatOptions, "pgWavOptions");
  auto* wavNote = MakeLabel(swFormatOptions->widget(int(TFormatOptions::None)),
                            "WAV files hold the audio as it is read: there is nothing to set for "
                            "them.");
  wavNote->setWordWrap(true);
  wav->addWidget(wavNote);
  wav->addStretch(1);

  QVBoxLayout* layout = FormatPage(swFormatOptions, "pgMp3Options");
  tab = swFormatOptions->widget(int(TFormatOptions::Lame));
  auto* top = new QHBoxLayout;
  cbEncoder = MakeList(tab, "cbEncoder", {});
  top->addWidget(MakeLabel(tab, "&Encoder", cbEncoder));
  top->addWidget(cbEncoder, 1);
  sbtnLamePresets = new QToolButton(tab);
  sbtnLamePresets->setObjectName("sbtnLamePresets");
  sbtnLamePresets->setText("Encode Presets");
  sbtnLamePresets->setAutoRaise(true);
  sbtnLamePresets->setArrowType(Qt::DownArrow);
  sbtnLamePresets->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  connect(sbtnLamePresets, &QToolButton::clicked, this, &TConfigForm::sbtnLamePresetsClick);
  top->addWidget(sbtnLamePresets);
  layout->addLayout(top);
  chkID3Tag = MakeCheck(tab, "chkID3Tag", "Enable ID3Tag");
  layout->addWidget(chkID3Tag);

  pmLamePresets = new QMenu(this);
  pmLamePresets->setObjectName("pmLamePresets");
  for (int i = 0; i < 4; ++i) {
    QAction* item = pmLamePresets->addAction(kLamePresets[i].Caption);
    item->setObjectName(kLamePresets[i].Name);
    connect(item, &QAction::triggered, this, [this, i] { ApplyPreset(i); });
  }

  auto* group = new QGroupBox("Lame MP3 Encoder Options", tab);
  group->setObjectName("gbLameOptions");
  gbLameOptions = group;
  auto* grid = new QGridLayout(group);
  int row = 0;
  cbSampleRate = MakeList(group, "cbSampleRate", {"48000", "44100", "32000", "22050"});
  grid->addWidget(MakeLabel(group, "&Sample Rate", cbSampleRate), row, 0);
  grid->addWidget(cbSampleRate, row++, 1, Qt::AlignLeft);

  trkBarBitrate = MakeSlider(group, "trkBarBitrate", 13);
  lbMinBitRate = MakeValueLabel(group, "lbMinBitRate", "320KBits");
  grid->addWidget(MakeLabel(group, "&Bit Rate", trkBarBitrate), row, 0);
  grid->addWidget(trkBarBitrate, row, 1);
  grid->addWidget(lbMinBitRate, row++, 2);

  auto* modeBox = new QGroupBox("Mode", group);
  modeBox->setObjectName("ragrpMode");
  auto* modes = new QHBoxLayout(modeBox);
  ragrpMode = new QButtonGroup(modeBox);
  const char* const modeNames[] = {"Stereo", "Joint Stereo", "Dual Channel", "Mono"};
  for (int i = 0; i < 4; ++i) {
    auto* radio = new QRadioButton(modeNames[i], modeBox);
    radio->setObjectName(QString("ragrpMode%1").arg(i));
    ragrpMode->addButton(radio, i);
    modes->addWidget(radio);
  }
  grid->addWidget(modeBox, row++, 0, 1, 4);

  chkbVBR = MakeCheck(group, "chkbVBR", "Enable VBR");
  chkbWrtVBRHrd = MakeCheck(group, "chkbWrtVBRHrd", "Write VBR header");
  grid->addWidget(chkbVBR, row, 0);
  grid->addWidget(chkbWrtVBRHrd, row++, 1);

  trkbarMaxBitrate = MakeSlider(group, "trkbarMaxBitrate", 13);
  lbMaxBitRate = MakeValueLabel(group, "lbMaxBitRate", "320KBits");
  grid->addWidget(MakeLabel(group, "&Max Bit Rate", trkbarMaxBitrate), row, 0);
  grid->addWidget(trkbarMaxBitrate, row, 1);
  grid->addWidget(lbMaxBitRate, row++, 2);

  cbQuality = MakeList(group, "cbQuality", {"Normal", "Low", "High", "Voice"});
  grid->addWidget(MakeLabel(group, "MPEG &Quality", cbQuality), row, 0);
  grid->addWidget(cbQuality, row++, 1, Qt::AlignLeft);

  trkbarVBRQuality = MakeSlider(group, "trkbarVBRQuality", 9);
  lbVBRQuality = MakeValueLabel(group, "lbVBRQuality", "0");
  grid->addWidget(MakeLabel(group, "&VBR Quality", trkbarVBRQuality), row, 0);
  grid->addWidget(trkbarVBRQuality, row, 1);
  grid->addWidget(lbVBRQuality, row, 2);
  auto* scale = MakeLabel(group, "(9 = lowest, 0 = highest)");
  scale->setObjectName("lbVBRQualityScale");
  grid->addWidget(scale, row++, 3);

  auto* flags = new QHBoxLayout;
  chkbCRC = MakeCheck(group, "chkbCRC", "CRC");
  chkbCopyright = MakeCheck(group, "chkbCopyright", "Copyright");
  chkbOriginal = MakeCheck(group, "chkbOriginal", "Original");
  chkbPrivate = MakeCheck(group, "chkbPrivate", "Private");
  for (QCheckBox* flag : {chkbCRC, chkbCopyright, chkbOriginal, chkbPrivate})
    flags->addWidget(flag);
  flags->addStretch(1);
  grid->addLayout(flags, row++, 0, 1, 4);
  grid->setColumnStretch(1, 1);
  layout->addWidget(group);
  chkWriteID3v2 = MakeCheck(tab, "chkWriteID3v2", "ID3v2.4 tag in MP3 files");
  layout->addWidget(chkWriteID3v2);
  layout->addStretch(1);

  QVBoxLayout* flacPage = FormatPage(swFormatOptions, "pgFlacOptions");
  tab = swFormatOptions->widget(int(TFormatOptions::Flac));
  gbFlacOptions = new QGroupBox("FLAC Encoder Options", tab);
  gbFlacOptions->setObjectName("gbFlacOptions");
  auto* flac = new QHBoxLayout(gbFlacOptions);
  seFlacLevel = new QSpinBox(gbFlacOptions);
  seFlacLevel->setObjectName("seFlacLevel");
  seFlacLevel->setRange(0, 8);
  seFlacLevel->setToolTip("Higher levels make smaller files and take longer; all are lossless");
  flac->addWidget(MakeLabel(gbFlacOptions, "Compression &level", seFlacLevel));
  flac->addWidget(seFlacLevel);
  flac->addWidget(MakeLabel(gbFlacOptions, "(0 = fastest, 8 = smallest)"));
  flac->addStretch(1);
  flacPage->addWidget(gbFlacOptions);
  flacPage->addStretch(1);

  QVBoxLayout* opusPage = FormatPage(swFormatOptions, "pgOpusOptions");
  tab = swFormatOptions->widget(int(TFormatOptions::Opus));
  gbOpusOptions = new QGroupBox("Opus Encoder Options", tab);
  gbOpusOptions->setObjectName("gbOpusOptions");
  auto* opus = new QHBoxLayout(gbOpusOptions);
  seOpusBitRate = new QSpinBox(gbOpusOptions);
  seOpusBitRate->setObjectName("seOpusBitRate");
  seOpusBitRate->setRange(32, 512);
  seOpusBitRate->setSingleStep(16);
  seOpusBitRate->setSuffix(" kbit/s");
  opus->addWidget(MakeLabel(gbOpusOptions, "Bit &rate (VBR)", seOpusBitRate));
  opus->addWidget(seOpusBitRate);
  opus->addStretch(1);
  opusPage->addWidget(gbOpusOptions);
  opusPage->addStretch(1);

  // What every encoded format shares, below the format's own settings.
  tab = swFormatOptions->parentWidget();
  layout = tabLayout;
  auto* tags = new QHBoxLayout;
  chkReplayGain = MakeCheck(tab, "chkReplayGain", "ReplayGain");
  chkReplayGain->setToolTip("Track and album loudness in the tags, for players that level it");
  chkEmbedCover = MakeCheck(tab, "chkEmbedCover", "Embed &cover art");
  for (QCheckBox* check : {chkReplayGain, chkEmbedCover}) tags->addWidget(check);
  tags->addStretch(1);
  layout->addLayout(tags);

  // Tracks encoded at once while the drive reads on.
  auto* threads = new QHBoxLayout;
  seEncoderThreads = new QSpinBox(tab);
  seEncoderThreads->setObjectName("seEncoderThreads");
  seEncoderThreads->setRange(0, 64);
  seEncoderThreads->setSpecialValueText("One per core");
  seEncoderThreads->setToolTip("How many tracks are encoded at once while the next is read");
  threads->addWidget(MakeLabel(tab, "Encoder &threads", seEncoderThreads));
  threads->addWidget(seEncoderThreads);
  threads->addStretch(1);
  layout->addLayout(threads);
  layout->addStretch(1);

  connect(trkBarBitrate, &QSlider::valueChanged, this, &TConfigForm::trkBarBitrateChange);
  connect(trkbarMaxBitrate, &QSlider::valueChanged, this, &TConfigForm::trkBarBitrateChange);
  connect(trkbarVBRQuality, &QSlider::valueChanged, this, &TConfigForm::trkbarVBRQualityChange);
  connect(chkbVBR, &QCheckBox::toggled, this, &TConfigForm::chkbVBRClick);
  connect(cbSampleRate, &QComboBox::currentIndexChanged, this, &TConfigForm::cbSampleRateChange);
  return tab;
}

void TConfigForm::ApplyPreset(int preset) {
  if (preset < 0 || preset >= 4) return;
  const TLamePreset& p = kLamePresets[preset];
  cbSampleRate->setCurrentIndex(p.SampleRate);
  trkBarBitrate->setValue(p.BitRate);
  ragrpMode->button(p.Mode)->setChecked(true);
  chkbVBR->setChecked(p.VBR);
  // Without the header players guess a VBR file's length from its first frame.
  if (p.VBR) chkbWrtVBRHrd->setChecked(true);
  if (p.MaxBitRate >= 0) trkbarMaxBitrate->setValue(p.MaxBitRate);
  if (p.Quality >= 0) cbQuality->setCurrentIndex(p.Quality);
  if (p.VBRQualityPosition >= 0) trkbarVBRQuality->setValue(p.VBRQualityPosition);
}

void TConfigForm::sbtnLamePresetsClick() {
  pmLamePresets->popup(sbtnLamePresets->mapToGlobal(sbtnLamePresets->rect().bottomLeft()));
}

void TConfigForm::trkBarBitrateChange() {
  lbMinBitRate->setText(QString("%1KBits").arg(kBitRates[trkBarBitrate->value()]));
  lbMaxBitRate->setText(QString("%1KBits").arg(kBitRates[trkbarMaxBitrate->value()]));
  if (chkbVBR->isChecked() && trkbarMaxBitrate->value() < trkBarBitrate->value())
    trkbarMaxBitrate->setValue(trkBarBitrate->value());
}

void TConfigForm::trkbarVBRQualityChange() {
  lbVBRQuality->setText(QString::number(9 - trkbarVBRQuality->value()));
}

void TConfigForm::chkbVBRClick() {
  const bool vbr = chkbVBR->isChecked();
  for (QWidget* control : std::initializer_list<QWidget*>{
           chkbWrtVBRHrd, trkbarMaxBitrate, lbMaxBitRate, cbQuality, trkbarVBRQuality, lbVBRQuality,
           findChild<QLabel*>("lbVBRQualityScale")})
    SetEnabledWithLabels(control, vbr);
  // Ticked after the bit rate moved, the maximum may lie below it.
  trkBarBitrateChange();
}

void TConfigForm::cbSampleRateChange() {
  const int highest = MaxBitRateIndex(cbSampleRate->currentIndex());
  // A lower maximum moves a slider beyond it back, which updates its label.
  trkBarBitrate->setMaximum(highest);
  trkbarMaxBitrate->setMaximum(highest);
}

void TConfigForm::ShowFormatOptions() {
  swFormatOptions->setCurrentIndex(int(FileFormat(cbOutputFormat->currentIndex()).Options));
}
