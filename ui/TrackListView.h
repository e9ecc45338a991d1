// The main window's track list: one checkable row per track of the disc with
// the record an extraction takes, titles the user may edit, the tracks' own
// artists in a column of their own when the disc has any, and the State
// column an extraction fills; with the grid the rows are drawn with and the
// title case changes of the Edit menu. User-interface thread only.
#pragma once

#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "encode/FileParam.h"

class QAbstractItemView;
class TMyCDInfo;
class TCtdbVerification;
class TRipVerification;

// The grid's colour: the text's mixed into the list's, so the lines show in
// light and dark themes alike.
QColor GridColour(const QPalette& palette);

// The style's item, then a one-pixel line on its right and bottom edges, as
// the grid of a report list, and an outline around an empty check box.
class TGridItemDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

// Takes the text of the view's open editor into the model and closes it, as
// Enter would; nothing when no editor is open.
void CommitOpenEditor(QAbstractItemView* view);

// The Edit menu's case changes of a title; only ASCII letters change.
QString ToUpperAscii(QString text);
QString ToLowerAscii(QString text);
// Lower case with the first letter of every word upper, trimmed.
QString CapitalizeAscii(const QString& text);

class TTrackListView : public QTreeWidget {
  Q_OBJECT
 public:
  // colArtist is shown after the title.
  enum TColumn { colTitle, colTrackNo, colStart, colLength, colSize, colState, colArtist };

  explicit TTrackListView(QWidget* parent);

  // After the ticks changed, or a name the user edited; not while the
  // program fills the list.
  std::function<void()> OnChanged;

  // The record of each row, by row.
  const std::vector<TCDTrackInfo>& Records() const { return FRecords; }
  void Clear();
  // One unticked row per track of the disc.
  void Fill(const TMyCDInfo& info);
  // Ticks every row whose tick checked(ticked) asks for.
  void SetAllChecks(const std::function<bool(bool)>& checked);
  bool Checked(int row) const;
  // How many rows are ticked; their length in sectors into sectors.
  int CheckedCount(int64_t& sectors) const;
  // The shown titles and track artists into the disc information (a track
  // artist goes before its title, the xmcd way), and the disc's names into
  // every row's record.
  void TakeTitlesIn(TMyCDInfo& info);
  // The disc information's titles and track artists in the rows and their
  // records; the artist column shows when a track has an artist of its own.
  void ShowTitles(const TMyCDInfo& info);
  bool ShowsArtists() const { return !isColumnHidden(colArtist); }
  // The record of the selected row, else of the first; null when empty.
  const TCDTrackInfo* CurrentRecord() const;
  // Opens the editor of the selected row's title, else of the first row's;
  // of its artist when that cell is the current one.
  void EditCurrentTitle();
  // The State column of a job's row: the AccurateRip verdict of a finished
  // track and, apart, the CTDB's; its checksums in the tooltip; the
  // session's lines about the job (messages) explain an error there.
  void ShowTrackState(const TFileParam& job, const TRipVerification* verification,
                      const QStringList& messages, const TCtdbVerification* ctdb = nullptr);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // A click on a selected row's artist opens its editor; no other cell but
  // the title (through EditCurrentTitle) is edited.
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

 private:
  void ItemChanged(QTreeWidgetItem* item, int column);
  // The title column takes the slack of the list's width, less a third for
  // the track artists when they show.
  void FitTitleColumn();
  // The row's title as the title column shows it.
  QString ShownTitle(const TMyCDInfo& info, int i) const;
  QStringList FShownTitles;  // by row, to restore an emptied cell

  std::vector<TCDTrackInfo> FRecords;
  // Set while the list is filled by the program, so only the user's edits
  // reach ItemChanged.
  bool FFilling = false;
};
