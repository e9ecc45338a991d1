// The main window's track list on its own, offscreen.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>

#include "ui/TrackListView.h"

TEST(TrackListView, TitleColumnTakesTheSlackOfEveryWidth) {
  TTrackListView list(nullptr);
  list.show();
  int others = 0;
  for (int column = TTrackListView::colTrackNo; column <= TTrackListView::colState; ++column)
    others += list.columnWidth(column);
  // The narrowest width leaves the title its least.
  for (int width : {500, 1200, 700, 200}) {
    list.resize(width, 200);
    EXPECT_EQ(list.columnWidth(TTrackListView::colTitle), std::max(60, width - others - 30))
        << width;
  }
}

// Under a dark palette whose mid colour is the list's own, the grid and an
// unticked box still stand out from the rows.
TEST(TrackListView, GridAndEmptyCheckBoxesShowInLightAndDarkPalettes) {
  QPalette dark(QColor(53, 53, 53));
  dark.setColor(QPalette::Base, QColor(35, 35, 35));
  for (const QPalette& palette : {QPalette(Qt::white), dark}) {
    TTrackListView list(nullptr);
    list.setPalette(palette);
    auto* item = new QTreeWidgetItem(&list, {"Title"});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    list.resize(400, 100);
    list.show();
    const QImage image = list.viewport()->grab().toImage();
    const QRect row = list.visualItemRect(item);
    const QColor base = palette.color(QPalette::Base);
    const auto stands = [&](const QColor& c) {
      return std::abs(c.lightness() - base.lightness()) >= 40;
    };
    const int column0 = list.columnWidth(0);
    EXPECT_TRUE(stands(image.pixelColor(column0 - 1, row.center().y())))
        << base.name().toStdString();
    EXPECT_TRUE(stands(image.pixelColor(row.center().x(), row.bottom())));
    int outline = 0;
    for (int x = row.left(); x < row.left() + 30; ++x)
      for (int y = row.top() + 2; y < row.bottom() - 1; ++y)
        if (stands(image.pixelColor(x, y))) ++outline;
    EXPECT_GE(outline, 12) << "no visible box: " << base.name().toStdString();
  }
}
