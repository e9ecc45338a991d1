// THealthStrip: the rip health picture under the track list. One strip per
// track of the last extraction, its width the track's length (the longest
// fills the widget), each pixel column coloured by the worst thing the rip met
// in its sectors: clean, corrected, re-read, repaired from the CTDB or lost
// (hatched and marked, so it does not rest on colour alone). It follows a
// track while it is read and keeps it afterwards; hovering names the time
// and the counts, and its context menu saves it as a PNG. Hidden while it has
// no track. Owned by the main window; user-interface thread only.
#pragma once

#include <QColor>
#include <QWidget>
#include <vector>

#include "verify/SectorHealth.h"

class THealthStrip : public QWidget {
  Q_OBJECT
 public:
  explicit THealthStrip(QWidget* parent = nullptr);

  // Forgets every track and hides.
  void Clear();
  // Shows the track's picture, replacing what it showed of that track.
  void ShowTrack(const TTrackHealth& health);
  // The strip of the track, in widget coordinates; empty when it is not shown.
  QRect TrackRect(int trackNum) const;
  // Hover text at a point: track, time of the column, its worst event, counts.
  QString ToolTipAt(const QPoint& pos) const;
  // The picture as a PNG file; false with the reason when it cannot be written.
  bool SaveImage(const QString& path, QString* reason = nullptr);

  // The fill of a kind in this palette (unread is the palette's base).
  static QColor KindColour(TSectorKind kind, const QPalette& palette);
  // The hatch and marks drawn over lost columns.
  static QColor LostMarkColour() { return Qt::black; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  struct TRow {
    int TrackNum = 0;
    std::vector<uint8_t> Status;
    TSectorCounts Counts;
  };
  int RowHeight() const;
  int LabelWidth() const;
  int LegendHeight() const;
  int RowAt(int y) const;
  void SaveImageAs();

  std::vector<TRow> FRows;  // by track number
};
