// The level display and skin images repaint only what changed.
#include <gtest/gtest.h>

#include <QImage>

#include "AppTestUtil.h"
#include "app/LevelDisplay.h"
#include "app/SkinWidgets.h"

namespace {

using app::TLevelDisplay;

TEST(AppRepaint, TheLevelDisplayReportsTheColumnsOfTheBandsItRedrew) {
  TLevelDisplay d;
  std::array<uint16_t, TLevelDisplay::kBands> levels{};
  EXPECT_FALSE(d.DrawLevelDisplay(levels));
  EXPECT_TRUE(d.LastChanged().isEmpty());
  levels[3] = 10;
  ASSERT_TRUE(d.DrawLevelDisplay(levels));
  EXPECT_EQ(d.LastChanged(), QRect(TLevelDisplay::BandX(3), 0, 3, 32));
  // Band 3 falls (its peak mark stays) and band 9 rises: everything from 3 to 9.
  levels[3] = 0;
  levels[9] = 5;
  ASSERT_TRUE(d.DrawLevelDisplay(levels));
  EXPECT_EQ(d.LastChanged(), QRect(QPoint(TLevelDisplay::BandX(3), 0), QPoint(TLevelDisplay::BandX(9) + 2, 31)));
  // Every pixel outside the reported columns is as before the frame.
  const QImage before = d.Image().copy();
  levels[9] = 6;
  ASSERT_TRUE(d.DrawLevelDisplay(levels));
  const QRect changed = d.LastChanged();
  for (int y = 0; y < TLevelDisplay::kHeight; ++y) {
    for (int x = 0; x < TLevelDisplay::kWidth; ++x) {
      if (!changed.contains(x, y)) {
        ASSERT_EQ(d.Image().pixel(x, y), before.pixel(x, y)) << x << "," << y;
      }
    }
  }
  EXPECT_NE(d.Image(), before);
  d.DrawEmpty();
  EXPECT_EQ(d.LastChanged(), d.Image().rect());
}

TEST(AppRepaint, UpdateImageTakesOnlyTheAreaAndKeepsItsOwnPixels) {
  apptest::EnsureApplication();
  app::TSkinImage w(nullptr);
  w.SetStretch(false);
  w.resize(10, 10);
  QImage src(10, 10, QImage::Format_RGB32);
  src.fill(qRgb(255, 0, 0));
  w.SetImage(src);
  src.setPixel(5, 5, qRgb(0, 0, 255));
  src.setPixel(0, 0, qRgb(0, 255, 0));
  w.UpdateImage(src, QRect(5, 5, 1, 1));
  EXPECT_EQ(w.Image().pixel(5, 5), qRgb(0, 0, 255));
  EXPECT_EQ(w.Image().pixel(0, 0), qRgb(255, 0, 0));  // outside the area: not taken
  EXPECT_NE(w.Image().constBits(), src.constBits());
  // The source changes afterwards without touching what the widget shows.
  src.setPixel(5, 5, qRgb(9, 9, 9));
  EXPECT_EQ(w.Image().pixel(5, 5), qRgb(0, 0, 255));
  // Another size: the whole image is taken.
  QImage other(4, 4, QImage::Format_RGB32);
  other.fill(qRgb(1, 2, 3));
  w.UpdateImage(other, QRect(0, 0, 1, 1));
  EXPECT_EQ(w.Image().size(), QSize(4, 4));
  EXPECT_EQ(w.Image().pixel(3, 3), qRgb(1, 2, 3));
}

}  // namespace
