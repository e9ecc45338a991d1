#include "ui/RipVerdict.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include "platform/Platform.h"
#include "settings/config.h"
#include "ui/StatusBarEx.h"
#include "verify/RipLog.h"
#include "verify/RipVerification.h"

QString RipLogOf(const TJobList& jobs, const QDateTime& since) {
  for (const TFileParam& job : jobs) {
    if (job.State == jsQueued) continue;
    const QFileInfo log(RipLogPath(QFileInfo(job.OutputPath).absolutePath(), job.TrackInfo.Artist,
                                   job.TrackInfo.Album, Config->ReplaceStr));
    return log.isFile() && log.lastModified() >= since.addSecs(-1) ? log.filePath() : QString();
  }
  return QString();
}

TRipVerdictBar::TRipVerdictBar(QWidget* parent) : QFrame(parent) {
  setObjectName("VerdictBar");
  setFrameShape(QFrame::StyledPanel);
  FIcon = new QLabel(this);
  FText = new TElidedLabel(this);
  FText->setObjectName("lblVerdict");
  FOpenLog = new QPushButton("Open &Log", this);
  FOpenLog->setObjectName("btnOpenLog");
  FOpenFolder = new QPushButton("Open Fol&der", this);
  FOpenFolder->setObjectName("btnOpenFolder");
  auto* close = new QToolButton(this);
  close->setObjectName("btnCloseVerdict");
  close->setAutoRaise(true);
  close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
  close->setToolTip("Close");
  connect(FOpenLog, &QPushButton::clicked, this, [this] { platform::ShellOpen(FLog); });
  connect(FOpenFolder, &QPushButton::clicked, this, [this] { platform::ShellOpen(FFolder); });
  connect(close, &QToolButton::clicked, this, &QWidget::hide);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(6, 2, 2, 2);
  layout->addWidget(FIcon);
  layout->addWidget(FText, 1);
  layout->addWidget(FOpenLog);
  layout->addWidget(FOpenFolder);
  layout->addWidget(close);
  hide();
}

void TRipVerdictBar::Show(const TRipSummary& summary, const QString& log, const QString& folder) {
  const QStyle::StandardPixmap icon =
      summary.Troubled() ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation;
  FIcon->setPixmap(style()->standardIcon(icon).pixmap(16, 16));
  FText->setText(summary.Text());
  FLog = log;
  FFolder = folder;
  FOpenLog->setVisible(!log.isEmpty());
  FOpenLog->setToolTip(log);
  FOpenFolder->setVisible(QFileInfo(folder).isDir());
  FOpenFolder->setToolTip(folder);
  show();
}

QString TRipVerdictBar::Text() const { return FText->text(); }
