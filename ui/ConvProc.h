// TConvForm: the modal progress dialog of a conversion session. It runs the
// session engine over the rip plan it is given 200 ms after it is shown,
// shows the stage, the track and the progress, answers the engine's
// questions with the overwrite dialog, hands summary lines to the error
// summary, and closes itself 300 ms after the last job. Created once with
// the main window, which owns the ripping component, the encoder and the two
// other dialogs. User-interface thread only.
#pragma once

#include <QDialog>
#include <QLabel>
#include <cstdint>

#include "rip/ConvSession.h"

class QGroupBox;
class QProgressBar;
class QPushButton;
class QTimer;
class TConfirmOvwrtForm;
class TDispForm;

// A label for a path that shortens it with "..." in the middle to fit its width.
class TPathLabel : public QLabel {
  Q_OBJECT
 public:
  explicit TPathLabel(QWidget* parent = nullptr);
  void SetPath(const QString& path);
  const QString& Path() const { return FPath; }
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Shorten();
  QString FPath;
};

// The path shortened to fit the width in the metrics, "..." standing for its middle.
QString ShortenPath(const QString& path, const QFontMetrics& metrics, int width);

class TConvForm : public QDialog, private TConvSessionView {
  Q_OBJECT
 public:
  TConvForm(TCDRIP& cdrip, TLameCoder& coder, TConfirmOvwrtForm& confirm, TDispForm& summary,
            QWidget* parent = nullptr);

  // Runs the plan's session as a modal dialog; the plan's jobs carry their
  // states afterwards.
  int Run(TRipPlan& plan);
  TConvSession& Session() { return FSession; }
  // "Version %d.%d,  Engine %d.%d" of the encoder library, for the options dialog.
  const QString& EncoderVersion() const { return FEncoderVersion; }

  void SetStage(uint8_t stage) { FSession.SetStage(stage); }
  void SetProgress(int percent) { FSession.SetProgress(percent); }

  QGroupBox* StateLabel;
  QProgressBar* ProgressBar;
  TPathLabel* dirlabelSource;
  TPathLabel* dirlabelDest;
  QLabel* lblEncoders;             // the tracks on the encoders
  QProgressBar* ProgressBarTotal;  // the whole session
  QPushButton* btnAbort;
  QTimer* StartTimer;
  QTimer* CloseTimer;

 public slots:
  // Escape presses Abort.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void StartTimerTimer();
  void CloseTimerTimer();
  void btnAbortClick();
  // A close made while the track loop runs takes effect when it returns.
  void RequestClose(bool byTimer);
  void FinishClose(bool byTimer);

  void ShowStage(const QString& name) override;
  void ShowProgress(int percent) override;
  void ShowJob(const QString& source, const QString& destination, const QString& caption) override;
  int ConfirmOverwrite(const QString& quotedPath, bool& alwaysOverwrite) override;
  void AddMessage(const QString& line) override;
  void AddNote(const QString& line) override;
  void ShowEncoders(const QString& line, int overallPercent) override;

  TRipPlan* FPlan = nullptr;
  TConfirmOvwrtForm& FConfirm;
  TDispForm& FSummary;
  TConvSession FSession;
  QString FEncoderVersion;
  bool FClosePending = false;
};
