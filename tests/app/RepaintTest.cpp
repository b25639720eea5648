// The level display and skin images repaint only what changed.
#include <gtest/gtest.h>

#include <QBackingStore>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QWidget>

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

// Counts the paint events a widget gets.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// Draws a cyan square without telling Qt it is opaque.
struct Cover : QWidget {
  using QWidget::QWidget;
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(0, 200, 200)); }
};

// What the window's backing store holds at `at` (window coordinates).
QRgb Shown(QWidget* top, QPoint at) {
  auto* img = static_cast<QImage*>(top->backingStore()->paintDevice());
  return img->pixel(at) | 0xFF000000u;
}

TEST(AppRepaint, AnUncoveredImageOnScreenGoesStraightToTheWindow) {
  apptest::EnsureApplication();
  QWidget top;
  top.resize(60, 40);
  auto* panel = new QWidget(&top);
  panel->setGeometry(5, 5, 50, 30);
  auto* w = new app::TSkinImage(panel);
  w->SetStretch(false);
  w->setGeometry(10, 8, 10, 10);
  QImage src(10, 10, QImage::Format_RGB32);
  src.fill(qRgb(255, 0, 0));
  w->SetImage(src);
  top.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&top, 5000));
  QTest::qWait(50);
  const QPoint origin(15, 13);  // the image's top left in the window
  ASSERT_EQ(Shown(&top, origin + QPoint(5, 5)), qRgb(255, 0, 0));

  PaintCounter counter;
  w->installEventFilter(&counter);
  src.setPixel(5, 5, qRgb(0, 0, 255));
  src.setPixel(6, 5, qRgb(0, 255, 0));
  w->UpdateImage(src, QRect(5, 5, 2, 1));
  // In the window at once, without a paint event and without waiting for the loop.
  EXPECT_EQ(Shown(&top, origin + QPoint(5, 5)), qRgb(0, 0, 255));
  EXPECT_EQ(Shown(&top, origin + QPoint(6, 5)), qRgb(0, 255, 0));
  EXPECT_EQ(Shown(&top, origin + QPoint(4, 5)), qRgb(255, 0, 0));
  QTest::qWait(50);
  EXPECT_EQ(counter.paints, 0);
  EXPECT_EQ(Shown(&top, origin + QPoint(5, 5)), qRgb(0, 0, 255));

  // A widget laid over part of it (not opaque to Qt, as a label with a transparent background):
  // the image goes through the widget repaint, which leaves the cover on top.
  auto* cover = new Cover(panel);
  cover->setGeometry(14, 8, 4, 4);  // over image columns 4..7, rows 0..3
  cover->show();
  QTest::qWait(50);
  counter.paints = 0;
  src.setPixel(5, 2, qRgb(9, 9, 9));
  src.setPixel(5, 8, qRgb(7, 7, 7));
  w->UpdateImage(src, QRect(5, 2, 1, 7));
  EXPECT_EQ(Shown(&top, origin + QPoint(5, 2)), qRgb(0, 200, 200));  // nothing painted over the cover
  ASSERT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 2000));
  EXPECT_EQ(Shown(&top, origin + QPoint(5, 2)), qRgb(0, 200, 200));
  EXPECT_EQ(Shown(&top, origin + QPoint(5, 8)), qRgb(7, 7, 7));

  // Sticking out of its parent: what lies outside the parent is not drawn over.
  delete cover;
  w->move(45, 8);  // columns 5..9 lie outside the panel (50 wide)
  QTest::qWait(50);
  const QRgb outside = Shown(&top, QPoint(5 + 50 + 2, 13 + 5));
  src.setPixel(7, 5, qRgb(3, 3, 3));
  src.setPixel(2, 5, qRgb(4, 4, 4));
  w->UpdateImage(src, QRect(2, 5, 6, 1));
  EXPECT_EQ(Shown(&top, QPoint(5 + 50 + 2, 13 + 5)), outside);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(&top, QPoint(5 + 45 + 2, 13 + 5)) == qRgb(4, 4, 4); }, 2000));
  EXPECT_EQ(Shown(&top, QPoint(5 + 50 + 2, 13 + 5)), outside);
  w->move(10, 8);
  QTest::qWait(50);

  // A window grown just now, its store still of the old size until the next repaint: the image,
  // moved to where the old store ends, is not written past it and shows after the repaint.
  top.resize(130, 90);
  panel->setGeometry(5, 5, 120, 80);
  w->move(100, 60);  // the image's rows 0..9 at window rows 65..74, columns 105..114
  src.setPixel(8, 8, qRgb(5, 5, 5));
  w->UpdateImage(src, QRect(8, 8, 1, 1));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(&top, QPoint(5 + 100 + 8, 5 + 60 + 8)) == qRgb(5, 5, 5); }, 2000));
  top.resize(60, 40);
  panel->setGeometry(5, 5, 50, 30);
  w->move(10, 8);
  QTest::qWait(50);

  // Hidden: nothing is drawn now; it shows again with the new pixels.
  top.hide();
  src.setPixel(1, 1, qRgb(1, 1, 1));
  w->UpdateImage(src, QRect(1, 1, 1, 1));
  EXPECT_EQ(w->Image().pixel(1, 1), qRgb(1, 1, 1));
  top.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&top, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(&top, origin + QPoint(1, 1)) == qRgb(1, 1, 1); }, 2000));
}

}  // namespace
