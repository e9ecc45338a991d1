#include "ui/RipVerdict.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include "platform/Platform.h"
#include "ui/StatusBarEx.h"

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
