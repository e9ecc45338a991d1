#include "ui/TrackListView.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <algorithm>

#include "cddb/CDInfo.h"
#include "rip/ExtractJobs.h"
#include "rip/RipPlan.h"
#include "settings/config.h"
#include "verify/CtdbVerification.h"
#include "verify/RipVerification.h"

QColor GridColour(const QPalette& palette) {
  const QColor base = palette.color(QPalette::Base);
  const QColor text = palette.color(QPalette::Text);
  const auto mix = [](int a, int b) { return a + (b - a) * 3 / 10; };
  return QColor(mix(base.red(), text.red()), mix(base.green(), text.green()),
                mix(base.blue(), text.blue()));
}

void TGridItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  painter->save();
  painter->setPen(GridColour(option.palette));
  const QRect r = option.rect;
  painter->drawLine(r.topRight(), r.bottomRight());
  painter->drawLine(r.bottomLeft(), r.bottomRight());
  // Dark themes draw an empty box in the colour of the list: outline it.
  const QVariant check = index.data(Qt::CheckStateRole);
  if (check.isValid() && check.toInt() == Qt::Unchecked) {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
    const QRect box =
        style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &item, item.widget);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(box.adjusted(1, 1, -2, -2));
  }
  painter->restore();
}

void CommitOpenEditor(QAbstractItemView* view) {
  QWidget* editor = view->indexWidget(view->currentIndex());
  if (!editor) return;
  QAbstractItemDelegate* delegate = view->itemDelegate();
  emit delegate->commitData(editor);
  emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
}

QString ToUpperAscii(QString text) {
  for (QChar& c : text)
    if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 32);
  return text;
}

QString ToLowerAscii(QString text) {
  for (QChar& c : text)
    if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + 32);
  return text;
}

QString CapitalizeAscii(const QString& text) {
  QString result = ToLowerAscii(text).trimmed();
  for (qsizetype i = 0; i < result.size(); ++i)
    if ((i == 0 || result[i - 1] == u' ') && result[i] >= u'a' && result[i] <= u'z')
      result[i] = QChar(result[i].unicode() - 32);
  return result;
}

TTrackListView::TTrackListView(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("lvTrackList");
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setItemDelegate(new TGridItemDelegate(this));
  setHeaderLabels({"Track Title", "#TrackNo", "Start", "Length", "Size", "State", "Artist"});
  const int widths[] = {260, 70, 60, 60, 60, 100, 160};
  // The widest text of each column, so a larger font does not cut the times.
  const char* const widest[] = {"",         "#TrackNo",   "00:00:00", "00:00:00",
                                "000.00MB", "Processing", ""};
  const QFontMetrics metrics = fontMetrics();
  for (int column = 0; column <= colArtist; ++column) {
    setColumnWidth(column,
                   std::max(widths[column], metrics.horizontalAdvance(widest[column]) + 16));
    if (column != colTitle && column != colArtist)
      headerItem()->setTextAlignment(column, Qt::AlignCenter);
  }
  header()->setStretchLastSection(false);
  header()->moveSection(header()->visualIndex(colArtist), colTitle + 1);
  setColumnHidden(colArtist, true);
  setEditTriggers(QAbstractItemView::SelectedClicked);
  connect(this, &QTreeWidget::itemChanged, this, &TTrackListView::ItemChanged);
}

void TTrackListView::Clear() {
  FFilling = true;
  clear();
  FRecords.clear();
  FFilling = false;
}

void TTrackListView::Fill(const TMyCDInfo& info) {
  Clear();
  FFilling = true;
  for (int i = 0; i < info.TrackCount; ++i) {
    const TCDTrackInfo record = MakeTrackInfo(info, i, Id3CommentText(*Config));
    auto* item = new QTreeWidgetItem(this);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    item->setCheckState(colTitle, Qt::Unchecked);
    item->setText(colTrackNo, QString::asprintf("%.2d", i + 1));
    item->setText(colStart, info.TrackStartText(i));
    item->setText(colLength, info.TrackLengthText(i));
    item->setText(colSize, SectorsSizeText(record.LengthSectors));
    for (int column = colTrackNo; column <= colState; ++column)
      item->setTextAlignment(column, Qt::AlignCenter);
    FRecords.push_back(record);
  }
  ShowTitles(info);
}

void TTrackListView::SetAllChecks(const std::function<bool(bool)>& checked) {
  FFilling = true;
  for (int row = 0; row < topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = topLevelItem(row);
    item->setCheckState(
        colTitle, checked(item->checkState(colTitle) == Qt::Checked) ? Qt::Checked : Qt::Unchecked);
  }
  FFilling = false;
  if (OnChanged) OnChanged();
}

bool TTrackListView::Checked(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item && item->checkState(colTitle) == Qt::Checked;
}

int TTrackListView::CheckedCount(int64_t& sectors) const {
  int count = 0;
  sectors = 0;
  for (int row = 0; row < topLevelItemCount(); ++row) {
    if (!Checked(row)) continue;
    ++count;
    sectors += FRecords[size_t(row)].LengthSectors;
  }
  return count;
}

void TTrackListView::ItemChanged(QTreeWidgetItem* item, int column) {
  if (FFilling) return;
  const int row = indexOfTopLevelItem(item);
  if (column == colTitle && row >= 0 && item->text(colTitle).trimmed().isEmpty()) {
    FFilling = true;
    item->setText(colTitle, FShownTitles.value(row));
    FFilling = false;
  }
  if (OnChanged) OnChanged();
}

QString TTrackListView::ShownTitle(const TMyCDInfo& info, int i) const {
  return ShowsArtists() ? info.OwnTitle(i) : info.GetTrackTitle(i);
}

void TTrackListView::TakeTitlesIn(TMyCDInfo& info) {
  for (int row = 0; row < int(FRecords.size()); ++row) {
    TCDTrackInfo& record = FRecords[size_t(row)];
    const int i = record.TrackIndex;
    if (i < 0 || i >= info.TrackCount) continue;
    const QString title = topLevelItem(row)->text(colTitle).trimmed();
    if (ShowsArtists()) {
      const QString artist = topLevelItem(row)->text(colArtist).trimmed();
      TCDTrack& track = info.Tracks[size_t(i)];
      // A new artist's sort name and IDs are not known.
      if (artist != track.Artist) {
        track.ArtistSort.clear();
        track.MBArtistIDs.clear();
      }
      track.Artist = artist;
      info.SetTrackTitle(i, artist.isEmpty() ? title : artist + " / " + title);
    } else {
      info.SetTrackTitle(i, title);
    }
    record.TrackArtist = info.Tracks[size_t(i)].Artist;
    record.Artist = info.Artist;
    record.Album = info.Album;
    record.Category = info.Category;
    record.Year = info.Year;
    record.Comment = Id3CommentText(*Config);
    record.Title = info.GetTrackTitle(i);
  }
}

void TTrackListView::ShowTitles(const TMyCDInfo& info) {
  FFilling = true;
  bool artists = false;
  for (const TCDTrackInfo& record : FRecords)
    artists = artists || !info.GetTrack(record.TrackIndex).Artist.isEmpty();
  setColumnHidden(colArtist, !artists);
  FShownTitles.clear();
  for (int row = 0; row < int(FRecords.size()); ++row) {
    TCDTrackInfo& record = FRecords[size_t(row)];
    record.Title = info.GetTrackTitle(record.TrackIndex);
    record.TrackArtist = info.GetTrack(record.TrackIndex).Artist;
    FShownTitles << ShownTitle(info, record.TrackIndex);
    topLevelItem(row)->setText(colTitle, FShownTitles.last());
    topLevelItem(row)->setText(colArtist, record.TrackArtist);
  }
  FFilling = false;
  FitTitleColumn();
}

const TCDTrackInfo* TTrackListView::CurrentRecord() const {
  if (topLevelItemCount() == 0) return nullptr;
  const QList<QTreeWidgetItem*> selected = selectedItems();
  const int row = selected.isEmpty() ? 0 : indexOfTopLevelItem(selected.first());
  return row >= 0 && row < int(FRecords.size()) ? &FRecords[size_t(row)] : nullptr;
}

void TTrackListView::EditCurrentTitle() {
  if (topLevelItemCount() == 0) return;
  const QList<QTreeWidgetItem*> selected = selectedItems();
  QTreeWidgetItem* item = selected.isEmpty() ? topLevelItem(0) : selected.first();
  const int column = currentColumn() == colArtist && ShowsArtists() ? colArtist : colTitle;
  setCurrentItem(item, column);
  editItem(item, column);
}

bool TTrackListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  if (trigger == SelectedClicked && index.column() != colArtist) return false;
  return QTreeWidget::edit(index, trigger, event);
}

void TTrackListView::ShowTrackState(const TFileParam& job, const TRipVerification* verification,
                                    const QStringList& messages, const TCtdbVerification* ctdb) {
  QTreeWidgetItem* item = topLevelItem(job.RowIndex);
  if (!item) return;
  const TTrackVerification* result =
      verification ? verification->Track(job.TrackInfo.TrackIndex + 1) : nullptr;
  QString text = JobStateText(job.State);
  QString tip;
  if (result && result->Complete) {
    tip = QString::asprintf("Copy CRC %08X\nAccurateRip v1 %08X\nAccurateRip v2 %08X\n",
                            result->Crc, result->ArV1, result->ArV2) +
          result->Verdict.Text();
    // A lookup that got no answer says nothing of the track: it stays "Done".
    const TArVerdict::TKind kind = result->Verdict.Kind;
    if (job.State == jsDone && kind != TArVerdict::NoAnswer && kind != TArVerdict::Pending)
      text = result->Verdict.Short();
  }
  // The CTDB's verdict apart, when it has one on the track.
  const int trackNum = job.TrackInfo.TrackIndex + 1;
  if (ctdb && !ctdb->TrackShort(trackNum).isEmpty()) {
    if (job.State == jsDone) text += ", " + ctdb->TrackShort(trackNum);
    tip += (tip.isEmpty() ? "" : "\n") + QString("CTDB: ") + ctdb->TrackText(trackNum);
  }
  if (!messages.isEmpty()) tip = messages.join("\n") + (tip.isEmpty() ? "" : "\n\n" + tip);
  item->setText(colState, text);
  item->setToolTip(colState, tip);
}

void TTrackListView::FitTitleColumn() {
  int others = 0;
  for (int column = colTrackNo; column < colArtist; ++column)
    if (!isColumnHidden(column)) others += columnWidth(column);
  int room = width() - others - 30;
  // Track artists share the room with the titles, which keep the larger part.
  if (!isColumnHidden(colArtist)) {
    setColumnWidth(colArtist, std::max(60, room / 3));
    room -= columnWidth(colArtist);
  }
  setColumnWidth(colTitle, std::max(60, room));
}

void TTrackListView::resizeEvent(QResizeEvent* event) {
  FitTitleColumn();
  QTreeWidget::resizeEvent(event);
}
