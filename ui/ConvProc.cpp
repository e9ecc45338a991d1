#include "ui/ConvProc.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "encode/LameCoder.h"
#include "settings/config.h"
#include "ui/MsgDisp.h"
#include "ui/OverwriteConfirm.h"

QString ShortenPath(const QString& path, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(path) <= width) return path;
  const QString dots = QStringLiteral("...");
  // The longest text whose head and tail keep equal shares of the path.
  qsizetype low = 0, high = path.size();
  while (low < high) {
    const qsizetype keep = (low + high + 1) / 2;
    const QString candidate = path.left(keep - keep / 2) + dots + path.right(keep / 2);
    if (metrics.horizontalAdvance(candidate) <= width)
      low = keep;
    else
      high = keep - 1;
  }
  return path.left(low - low / 2) + dots + path.right(low / 2);
}

TPathLabel::TPathLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void TPathLabel::SetPath(const QString& path) {
  FPath = path;
  setToolTip(path);
  Shorten();
}

QSize TPathLabel::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

void TPathLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Shorten();
}

void TPathLabel::Shorten() { setText(ShortenPath(FPath, fontMetrics(), contentsRect().width())); }

TConvForm::TConvForm(TCDRIP& cdrip, TLameCoder& coder, TConfirmOvwrtForm& confirm,
                     TDispForm& summary, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      FConfirm(confirm),
      FSummary(summary),
      FSession(cdrip, coder, *this) {
  setObjectName("ConvForm");
  setWindowTitle(QStringLiteral("Cadenzo"));
  const TLameVersion& version = coder.LameVersion();
  FEncoderVersion =
      QString::asprintf("Version %d.%d,  Engine %d.%d", version.DLLMajorVersion(),
                        version.DLLMinorVersion(), version.MajorVersion(), version.MinorVersion());

  StateLabel = new QGroupBox(this);
  StateLabel->setObjectName("StateLabel");
  StateLabel->setStyleSheet(QStringLiteral("QGroupBox { font-weight: bold; }"));
  ProgressBar = new QProgressBar(StateLabel);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setRange(0, 100);
  dirlabelSource = new TPathLabel(StateLabel);
  dirlabelSource->setObjectName("dirlabelSource");
  dirlabelDest = new TPathLabel(StateLabel);
  dirlabelDest->setObjectName("dirlabelDest");
  lblEncoders = new QLabel(StateLabel);
  lblEncoders->setObjectName("lblEncoders");
  lblEncoders->setTextFormat(Qt::PlainText);
  lblEncoders->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  ProgressBarTotal = new QProgressBar(StateLabel);
  ProgressBarTotal->setObjectName("ProgressBarTotal");
  ProgressBarTotal->setRange(0, 100);
  auto* grid = new QGridLayout(StateLabel);
  grid->addWidget(ProgressBar, 0, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Track:"), StateLabel), 1, 0);
  grid->addWidget(dirlabelSource, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Output:"), StateLabel), 2, 0);
  grid->addWidget(dirlabelDest, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("Encoding:"), StateLabel), 3, 0);
  grid->addWidget(lblEncoders, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("Total:"), StateLabel), 4, 0);
  grid->addWidget(ProgressBarTotal, 4, 1);
  grid->setColumnStretch(1, 1);

  btnAbort = new QPushButton(QStringLiteral("&Abort"), this);
  btnAbort->setObjectName("btnAbort");
  connect(btnAbort, &QPushButton::clicked, this, &TConvForm::btnAbortClick);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnAbort);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(StateLabel);
  layout->addLayout(buttons);
  setFixedSize(420, sizeHint().height());

  StartTimer = new QTimer(this);
  StartTimer->setSingleShot(true);
  StartTimer->setInterval(200);
  connect(StartTimer, &QTimer::timeout, this, &TConvForm::StartTimerTimer);
  CloseTimer = new QTimer(this);
  CloseTimer->setSingleShot(true);
  CloseTimer->setInterval(300);
  connect(CloseTimer, &QTimer::timeout, this, &TConvForm::CloseTimerTimer);
}

int TConvForm::Run(TRipPlan& plan) {
  FPlan = &plan;
  return exec();
}

void TConvForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  setWindowTitle(QStringLiteral("Cadenzo"));
  ProgressBar->setValue(0);
  ProgressBarTotal->setValue(0);
  lblEncoders->clear();
  FClosePending = false;
  FSession.Reset(*FPlan);
  StartTimer->start();
}

void TConvForm::StartTimerTimer() {
  StartTimer->stop();
  const bool endedByItself = FSession.StartSession(*FPlan);
  if (FClosePending)
    FinishClose(false);
  else if (endedByItself)
    CloseTimer->start();
}

void TConvForm::CloseTimerTimer() {
  CloseTimer->stop();
  RequestClose(true);
}

void TConvForm::btnAbortClick() {
  FSession.Abort();
  RequestClose(false);
}

void TConvForm::reject() { btnAbortClick(); }

void TConvForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  RequestClose(false);
}

void TConvForm::RequestClose(bool byTimer) {
  if (FSession.Running()) {
    FClosePending = true;
    return;
  }
  FinishClose(byTimer);
}

void TConvForm::FinishClose(bool byTimer) {
  FClosePending = false;
  StartTimer->stop();
  CloseTimer->stop();
  FSession.CloseQuery(byTimer);
  FSession.CloseSession();
  QDialog::done(QDialog::Rejected);
}

void TConvForm::ShowStage(const QString& name) {
  StateLabel->setTitle(name);
  StateLabel->repaint();
}

void TConvForm::ShowProgress(int percent) {
  ProgressBar->setValue(percent);
  ProgressBar->repaint();
}

void TConvForm::ShowJob(const QString& source, const QString& destination, const QString& caption) {
  dirlabelSource->SetPath(source);
  dirlabelDest->SetPath(destination);
  setWindowTitle(caption);
}

int TConvForm::ConfirmOverwrite(const QString& quotedPath, bool& alwaysOverwrite) {
  FConfirm.stxtFileName->setText(quotedPath);
  const int answer = FConfirm.exec();
  alwaysOverwrite = FConfirm.chkbAlwaysOverwrite->isChecked();
  // The choice holds beyond this session.
  if (alwaysOverwrite) Config->OverwritePrompt = false;
  return answer;
}

void TConvForm::AddMessage(const QString& line) { FSummary.AddMessage(line); }
void TConvForm::AddNote(const QString& line) { FSummary.AddNote(line); }

void TConvForm::ShowEncoders(const QString& line, int overallPercent) {
  lblEncoders->setText(line);
  ProgressBarTotal->setValue(overallPercent);
}
