#include "app/LevelDisplay.h"

#include <algorithm>
#include <cmath>

namespace app {

TLevelDisplay::TLevelDisplay()
    : background_(kWidth, kHeight, QImage::Format_RGB32), gradient_(3, 32, QImage::Format_RGB32) {
  background_.fill(Qt::black);
  // Dotted blue axis: left edge and bottom row, every other pixel.
  const QRgb blue = qRgb(0, 0, 255);
  for (int y = 0; y < kHeight; y += 2) background_.setPixel(0, y, blue);
  for (int x = 0; x < kWidth; x += 2) background_.setPixel(x, 32, blue);
  int r = 255, g = 0;
  for (int i = 0; i < 32; ++i) {
    if (i <= 16) g = std::min(255, g + 24);
    else r = std::max(0, r - 8);
    for (int x = 0; x < 3; ++x) gradient_.setPixel(x, i, qRgb(r, g, 0));
  }
  DrawEmpty();
}

void TLevelDisplay::ClearPeaks() {
  peak_.fill(0);
  hold_.fill(0);
}

void TLevelDisplay::PaintBand(int band, int bar, int mark) {
  const int x = BandX(band);
  // Row 32 is the axis and the gradient has rows 0..31: a bar of v rows shows the gradient's lowest
  // v rows, so only tall bars reach red.
  for (int y = 0; y < 32; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image_.scanLine(y)) + x;
    const auto* from = y >= 32 - bar ? reinterpret_cast<const QRgb*>(gradient_.constScanLine(y))
                                     : reinterpret_cast<const QRgb*>(background_.constScanLine(y)) + x;
    std::copy(from, from + 3, row);
  }
  if (mark >= 0) {
    auto* row = reinterpret_cast<QRgb*>(image_.scanLine(32 - mark)) + x;
    std::fill(row, row + 3, qRgb(192, 192, 192));
  }
  shownBar_[band] = bar;
  shownMark_[band] = mark;
}

bool TLevelDisplay::DrawLevelDisplay(const std::array<uint16_t, kBands>& levels) {
  int first = -1, last = -1;
  for (int i = 0; i < kBands; ++i) {
    const int v = std::min<int>(levels[i], 32);
    const int t = static_cast<int>(peak_[i]);
    int mark = -1;
    if (t > v) {
      mark = t;
      if (hold_[i] > 7) peak_[i] -= (hold_[i] - 8) * 0.3;
      if (peak_[i] >= 0) ++hold_[i];
      else peak_[i] = 0;
    } else {
      peak_[i] = v + 0.01;
      hold_[i] = 0;
    }
    if (v != shownBar_[i] || mark != shownMark_[i]) {
      PaintBand(i, v, mark);
      if (first < 0) first = i;
      last = i;
    }
  }
  lastChanged_ = first < 0 ? QRect() : QRect(QPoint(BandX(first), 0), QPoint(BandX(last) + 2, 31));
  return first >= 0;
}

void TLevelDisplay::DrawEmpty() {
  image_ = background_.copy();
  lastChanged_ = image_.rect();
  shownBar_.fill(0);
  shownMark_.fill(-1);
}

}  // namespace app
