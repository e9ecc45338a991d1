#include "ui/RipVerdict.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include "platform/Platform.h"
#include "ui/StatusBarEx.h"
#include "verify/CtdbVerification.h"
#include "verify/RipVerification.h"

QString TRipSummary::Text() const {
  const int total = Accurate + NotAccurate + NotVerified + LostAudio + Failed + NotRipped;
  auto tracks = [](int n) { return QString(n == 1 ? "1 track" : "%1 tracks").arg(n); };
  QString text;
  if (total > 0 && Accurate == total) {
    text = total == 1 ? QString("1 track, accurately ripped")
                      : QString("%1, all accurately ripped").arg(tracks(total));
  } else {
    const std::pair<int, const char*> parts[] = {
        {Accurate, "accurate"},        {NotAccurate, "not accurate"},
        {NotVerified, "not verified"}, {LostAudio, "with lost audio"},
        {Failed, "with errors"},       {NotRipped, "not ripped"}};
    QStringList shown;
    QString alone;  // one kind alone names the tracks: "1 track with lost audio"
    for (const auto& [count, name] : parts) {
      if (count == 0) continue;
      shown << QString("%1 %2").arg(count).arg(name);
      alone = tracks(count) + " " + name;
    }
    text = shown.size() == 1 ? alone : shown.join(", ");
  }
  if (Repaired) text += "; repaired from the CTDB";
  return Aborted ? "Aborted: " + text : text;
}

TRipSummary SummarizeRip(const TJobList& jobs, const TRipVerification* verification, bool aborted,
                         const TCtdbVerification* ctdb) {
  TRipSummary summary;
  summary.Aborted = aborted;
  summary.Repaired = ctdb && ctdb->Repair().Applied;
  for (const TFileParam& job : jobs) {
    const int trackNum = job.TrackInfo.TrackIndex + 1;
    const TTrackVerification* track = verification ? verification->Track(trackNum) : nullptr;
    if (job.State == jsDone) {
      const TArVerdict::TKind kind = track ? track->Verdict.Kind : TArVerdict::Pending;
      const TCtdbVerdict::TKind ctdbKind =
          ctdb ? ctdb->TrackVerdict(trackNum).Kind : TCtdbVerdict::Pending;
      if (kind == TArVerdict::Accurate || ctdbKind == TCtdbVerdict::Accurate)
        ++summary.Accurate;
      else if (kind == TArVerdict::NotAccurate || ctdbKind == TCtdbVerdict::Differs)
        ++summary.NotAccurate;
      else
        ++summary.NotVerified;
    } else if (job.State == jsError) {
      if (track && !track->Complete)
        ++summary.LostAudio;
      else
        ++summary.Failed;
    } else {
      ++summary.NotRipped;
    }
  }
  return summary;
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
