// The rip health picture: the columns it paints for known sector statuses in
// light and dark palettes, its hover text and the PNG it saves.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include "common/TestUtil.h"
#include "ui/HealthStrip.h"

namespace {

QPalette Palette(bool dark) {
  QPalette palette;
  palette.setColor(QPalette::Window, dark ? QColor(0x20, 0x20, 0x20) : QColor(0xf0, 0xf0, 0xf0));
  palette.setColor(QPalette::Base, dark ? QColor(0x10, 0x10, 0x10) : Qt::white);
  palette.setColor(QPalette::WindowText, dark ? Qt::white : Qt::black);
  return palette;
}

struct THealthStripTest : ::testing::Test {
  THealthStripTest() {
    // Track 1: 1800 sectors (24 s), corrected 300-329, lost 900-929, read up
    // to 1499 so far. Track 2: 900 sectors, re-read 450-459, read through.
    TTrackHealth first{1, std::vector<uint8_t>(1800, skClean), false};
    std::fill_n(first.Status.begin() + 300, 30, skCorrected);
    std::fill_n(first.Status.begin() + 900, 30, skLost);
    std::fill(first.Status.begin() + 1500, first.Status.end(), skUnread);
    TTrackHealth second{2, std::vector<uint8_t>(900, skClean), true};
    std::fill_n(second.Status.begin() + 450, 10, skReread);
    Strip.ShowTrack(second);
    Strip.ShowTrack(first);
    Strip.resize(608, Strip.sizeHint().height());
  }
  // The x of the column whose sectors hold this one.
  int X(int track, int sector) const {
    const QRect rect = Strip.TrackRect(track);
    const int sectors = track == 1 ? 1800 : 900;
    return rect.left() + ((sector + 1) * rect.width() + sectors - 1) / sectors - 1;
  }
  QColor Pixel(const QImage& image, int track, int sector) const {
    return image.pixelColor(X(track, sector), Strip.TrackRect(track).center().y());
  }

  THealthStrip Strip;
};

TEST_F(THealthStripTest, EachColumnShowsItsWorstEventInLightAndDarkPalettes) {
  EXPECT_FALSE(Strip.isHidden()) << "shown once it has a track";
  const QRect first = Strip.TrackRect(1), second = Strip.TrackRect(2);
  EXPECT_LT(first.bottom(), second.top()) << "one strip per track, in track order";
  EXPECT_NEAR(second.width() * 2, first.width(), 2) << "as wide as the track is long";
  QColor cleanOfPalette[2];
  for (bool dark : {false, true}) {
    Strip.setPalette(Palette(dark));
    const QImage image = Strip.grab().toImage();
    const QPalette& palette = Strip.palette();
    auto colour = [&](TSectorKind kind) { return THealthStrip::KindColour(kind, palette); };
    const auto context = testing::Message() << (dark ? "dark" : "light");
    // Hatched and marked: every pixel of a lost column is the fill or the mark,
    // and both appear.
    bool fill = false, mark = false;
    for (int x = X(1, 900); x < X(1, 930); ++x) {
      for (int y = first.top(); y <= first.bottom(); ++y) {
        const QColor pixel = image.pixelColor(x, y);
        fill |= pixel == colour(skLost);
        mark |= pixel == THealthStrip::LostMarkColour();
        EXPECT_TRUE(pixel == colour(skLost) || pixel == THealthStrip::LostMarkColour())
            << context << " at " << x << "," << y;
      }
    }
    EXPECT_TRUE(fill && mark) << context;
    EXPECT_EQ(Pixel(image, 1, 100), colour(skClean)) << context;
    EXPECT_EQ(Pixel(image, 1, 315), colour(skCorrected)) << context;
    EXPECT_EQ(Pixel(image, 1, 1700), palette.color(QPalette::Base)) << context << " not read yet";
    EXPECT_EQ(Pixel(image, 2, 455), colour(skReread)) << context;
    EXPECT_EQ(Pixel(image, 2, 800), colour(skClean)) << context;
    cleanOfPalette[dark] = colour(skClean);
  }
  EXPECT_NE(cleanOfPalette[0], cleanOfPalette[1]) << "colours follow the palette";

  // A finished read replaces the picture so far.
  Strip.ShowTrack({1, std::vector<uint8_t>(1800, skClean), true});
  EXPECT_EQ(Pixel(Strip.grab().toImage(), 1, 910),
            THealthStrip::KindColour(skClean, Strip.palette()));
  Strip.Clear();
  EXPECT_TRUE(Strip.isHidden());
  EXPECT_TRUE(Strip.TrackRect(1).isEmpty());
}

TEST_F(THealthStripTest, HoverNamesTheTimeTheEventAndTheCounts) {
  const int y = Strip.TrackRect(1).center().y();
  EXPECT_EQ(Strip.ToolTipAt({X(1, 915), y}),
            "Track 01 at 00:12: lost (silence)\n"
            "1440 clean, 30 corrected, 0 re-read, 30 lost, 300 unread");
  EXPECT_TRUE(Strip.ToolTipAt({X(2, 455), Strip.TrackRect(2).center().y()})
                  .startsWith("Track 02 at 00:06: re-read\n"));
  EXPECT_TRUE(Strip.ToolTipAt({2, Strip.height() - 2}).isEmpty()) << "the legend";
}

TEST_F(THealthStripTest, SaveImageWritesAReadablePngOrSaysWhyNot) {
  testutil::TTempFolder folder;
  const QString path = folder.File("map.png");
  QString reason;
  ASSERT_TRUE(Strip.SaveImage(path, &reason)) << reason.toStdString();
  QImage saved;
  ASSERT_TRUE(saved.load(path, "PNG"));
  EXPECT_EQ(saved.size(), Strip.size());
  EXPECT_EQ(saved.pixelColor(X(2, 455), Strip.TrackRect(2).center().y()),
            THealthStrip::KindColour(skReread, Strip.palette()));

  EXPECT_FALSE(Strip.SaveImage(folder.File("missing/map.png"), &reason));
  EXPECT_FALSE(reason.isEmpty());
  EXPECT_FALSE(QFile::exists(folder.File("missing/map.png")));
}

}  // namespace
