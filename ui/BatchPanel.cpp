#include "ui/BatchPanel.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/EventWait.h"
#include "rip/DiscBatch.h"
#include "rip/RipPlan.h"
#include "settings/config.h"

namespace {

enum { colDrive, colStatus, colResult };
// A disc row's submission address, empty for a known disc.
constexpr int kSubmissionRole = Qt::UserRole;
bool IsDiscRow(const QTreeWidgetItem* row) {
  return !row->data(colDrive, kSubmissionRole).isNull();
}

// How many drive and disc rows show before the list scrolls.
constexpr int kRowsShown = 4;

// A drive row's percent of the disc in hand, absent while none is ripped.
constexpr int kPercentRole = Qt::UserRole + 1;

// Draws a drive's percent as the style's progress bar, with the percent on it.
class TPercentBarDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const QVariant percent = index.data(kPercentRole);
    if (!percent.isValid()) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, painter, option.widget);
    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(2, 1, -2, -1);
    bar.palette = option.palette;
    bar.fontMetrics = option.fontMetrics;
    bar.direction = option.direction;
    bar.state = (option.state & QStyle::State_Enabled) | QStyle::State_Horizontal;
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = percent.toInt();
    bar.text = index.data(Qt::DisplayRole).toString();
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (index.data(kPercentRole).isValid())
      size.setWidth(std::max(size.width(), option.fontMetrics.horizontalAdvance("100%") * 3));
    return size;
  }
};

}  // namespace

TBatchPanel::TBatchPanel(TBatchHost host, QWidget* parent)
    : QFrame(parent), FHost(std::move(host)), FSettings(std::make_unique<TConfig>()) {
  setObjectName("BatchPanel");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* bar = new QHBoxLayout;
  FCaption = new QLabel(this);
  FCaption->setObjectName("lblBatch");
  btnStartStop = new QPushButton(this);
  btnStartStop->setObjectName("btnStartStop");
  connect(btnStartStop, &QPushButton::clicked, this, [this] {
    if (FBatch) {
      // The discs in hand finish; their files stay whole.
      FStopped = true;
      FBatch->StopAfterDiscs();
    } else {
      FStopped = false;
      Start();
    }
    UpdateControls();
  });

  actSubmitDisc = new QAction("Submit to MusicBrainz...", this);
  actSubmitDisc->setObjectName("actSubmitDisc");
  actSubmitDisc->setToolTip("Add the selected unknown disc to MusicBrainz in the browser");
  connect(actSubmitDisc, &QAction::triggered, this, [this] {
    const QTreeWidgetItem* row = tvBatch->currentItem();
    const QString url = row ? row->data(colDrive, kSubmissionRole).toString() : QString();
    if (!url.isEmpty()) QDesktopServices::openUrl(QUrl(url));
  });
  auto* submit = new QToolButton(this);
  submit->setObjectName("tbSubmitDisc");
  submit->setDefaultAction(actSubmitDisc);
  bar->addWidget(FCaption, 1);
  bar->addWidget(submit);
  bar->addWidget(btnStartStop);
  layout->addLayout(bar);

  tvBatch = new QTreeWidget(this);
  tvBatch->setObjectName("tvBatch");
  tvBatch->setRootIsDecorated(false);
  tvBatch->setHeaderLabels({"Drive", "Status", "Result"});
  tvBatch->header()->setStretchLastSection(false);
  tvBatch->header()->setSectionResizeMode(colDrive, QHeaderView::ResizeToContents);
  tvBatch->header()->setSectionResizeMode(colStatus, QHeaderView::Stretch);
  tvBatch->header()->setSectionResizeMode(colResult, QHeaderView::ResizeToContents);
  tvBatch->setItemDelegateForColumn(colResult, new TPercentBarDelegate(tvBatch));
  tvBatch->setContextMenuPolicy(Qt::ActionsContextMenu);
  tvBatch->addAction(actSubmitDisc);
  tvBatch->setMaximumHeight(tvBatch->header()->sizeHint().height() +
                            kRowsShown * tvBatch->fontMetrics().height() * 3 / 2 + 4);
  connect(tvBatch, &QTreeWidget::currentItemChanged, this, [this] { UpdateControls(); });
  layout->addWidget(tvBatch);
  hide();
  UpdateControls();
}

TBatchPanel::~TBatchPanel() = default;

void TBatchPanel::Follow(const TConfig& settings, int chosenDrive, const QStringList& driveNames) {
  FSettings->Assign(settings);
  FDriveNames = driveNames;
  FWanted.clear();
  FStopped = false;
  if (settings.AutoRip && settings.AutoRipEveryDrive)
    for (int drive = 0; drive < driveNames.size(); ++drive) FWanted.push_back(drive);
  else if (settings.AutoRip && chosenDrive >= 0 && chosenDrive < driveNames.size())
    FWanted.push_back(chosenDrive);
  if (FBatch) {
    // Other drives, or none: the discs in hand finish first (Ended starts anew).
    if (FWanted != FWatched) FBatch->StopAfterDiscs();
  } else if (!FStopped) {
    Start();
  }
  setVisible(FBatch || !FWanted.empty());
  UpdateControls();
}

void TBatchPanel::StopForClose(int timeoutMs) {
  if (!FBatch) return;
  FWanted.clear();
  FBatch->StopNow();
  if (FHost.ShowStatus) FHost.ShowStatus("Stopping the rips of every drive...");
  // Until the batch ended and gave the drives back.
  platform::ServeEventsWhile([this] { return HoldsDrives(); }, [] { return false; }, timeoutMs);
}

void TBatchPanel::Start() {
  if (FBatch || FWanted.empty()) return;
  if (FHost.Release) FHost.Release();
  FEnabled.clear();
  for (QObject* control : FHost.DriveControls) {
    FEnabled << control->property("enabled").toBool();
    control->setProperty("enabled", false);
  }
  if (FHost.ShowStatus)
    FHost.ShowStatus(
        "Ripping every disc put in: Extract, Play and the drive list wait until it stops");

  TRipSettings rip = RipSettingsOf(*FSettings);
  rip.Verify = true;
  FWatched = FWanted;
  FBatch = std::make_unique<TDiscBatch>(*FSettings, rip, FWatched);
  FBatch->OnProgress = [this](const std::vector<TDriveProgress>& drives) { ShowDrives(drives); };
  FBatch->OnDiscDone = [this](const TBatchDisc& disc) { AddDisc(disc); };
  // Not inside the batch's own call: the batch is destroyed here.
  FBatch->OnFinished = [this] {
    QMetaObject::invokeMethod(
        this, [this] { Ended(); }, Qt::QueuedConnection);
  };
  for (int row = 0; row < tvBatch->topLevelItemCount();)
    if (IsDiscRow(tvBatch->topLevelItem(row)))
      ++row;
    else
      delete tvBatch->takeTopLevelItem(row);
  ShowDrives(FBatch->Progress());
  FBatch->Start();
  show();
  UpdateControls();
}

void TBatchPanel::Ended() {
  FBatch.reset();
  for (int i = 0; i < FHost.DriveControls.size(); ++i)
    FHost.DriveControls[i]->setProperty("enabled", FEnabled.value(i, true));
  if (FHost.ShowStatus) FHost.ShowStatus(QString());
  if (FHost.Regain) FHost.Regain();
  if (!FStopped) Start();
  setVisible(FBatch || !FWanted.empty());
  UpdateControls();
}

QTreeWidgetItem* TBatchPanel::DriveRow(int drive) {
  // Drive rows come first, in the batch's order.
  int at = 0;
  for (; at < tvBatch->topLevelItemCount() && !IsDiscRow(tvBatch->topLevelItem(at)); ++at)
    if (tvBatch->topLevelItem(at)->data(colStatus, Qt::UserRole) == drive)
      return tvBatch->topLevelItem(at);
  auto* item = new QTreeWidgetItem({FDriveNames.value(drive, QString("Drive %1").arg(drive))});
  item->setData(colStatus, Qt::UserRole, drive);
  tvBatch->insertTopLevelItem(at, item);
  return item;
}

void TBatchPanel::ShowDrives(const std::vector<TDriveProgress>& drives) {
  for (const TDriveProgress& drive : drives) {
    QTreeWidgetItem* row = DriveRow(drive.Drive);
    row->setText(colStatus, drive.Status.isEmpty() ? QString("Starting") : drive.Status);
    row->setToolTip(colStatus, drive.Status);
    const bool ripping = drive.Percent >= 0;
    row->setText(colResult, ripping ? QString("%1%").arg(drive.Percent) : QString());
    row->setData(colResult, kPercentRole, ripping ? QVariant(drive.Percent) : QVariant());
  }
}

void TBatchPanel::AddDisc(const TBatchDisc& disc) {
  auto* row = new QTreeWidgetItem(
      {disc.DriveName, disc.Caption(),
       disc.Unknown ? disc.Verdict() + ", unknown to MusicBrainz" : disc.Verdict()});
  // A known disc's empty address still marks the row as a disc's.
  row->setData(colDrive, kSubmissionRole, disc.Unknown ? disc.SubmissionUrl : QString(""));
  row->setToolTip(colStatus, disc.Folder);
  tvBatch->addTopLevelItem(row);
  tvBatch->scrollToItem(row);
}

int TBatchPanel::DiscCount() const {
  int discs = 0;
  for (int row = 0; row < tvBatch->topLevelItemCount(); ++row)
    discs += IsDiscRow(tvBatch->topLevelItem(row));
  return discs;
}

void TBatchPanel::UpdateControls() {
  const int discs = DiscCount();
  if (FBatch)
    FCaption->setText(QString("Ripping every disc put in; %1 ripped").arg(discs));
  else
    FCaption->setText(QString("Rip on insert stopped; %1 ripped").arg(discs));
  btnStartStop->setText(FBatch ? "&Stop" : "&Start");
  btnStartStop->setEnabled(FBatch ? !FStopped && FBatch->Running() : !FWanted.empty());
  const QTreeWidgetItem* row = tvBatch->currentItem();
  actSubmitDisc->setEnabled(row && !row->data(colDrive, kSubmissionRole).toString().isEmpty());
}
