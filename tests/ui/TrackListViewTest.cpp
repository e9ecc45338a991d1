// The main window's track list on its own, offscreen.
#include <gtest/gtest.h>

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
