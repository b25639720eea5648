#include "app/LevelDisplay.h"

#include <QPainter>
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
  image_ = background_.copy();
}

void TLevelDisplay::ClearPeaks() {
  peak_.fill(0);
  hold_.fill(0);
}

void TLevelDisplay::DrawLevelDisplay(const std::array<uint16_t, kBands>& levels) {
  QImage work = background_.copy();
  QPainter p(&work);
  for (int i = 0; i < kBands; ++i) {
    const int x = BandX(i);
    const int v = std::min<int>(levels[i], 32);
    // The bar shows the lower part of the gradient; only tall bars reach red.
    // Row 32 is the axis and the gradient has rows 0..31, so v rows are copied.
    if (v > 0) p.drawImage(QPoint(x, 32 - v), gradient_, QRect(0, 32 - v, 3, v));
    const int t = static_cast<int>(peak_[i]);
    if (t > v) {
      p.setPen(QColor(192, 192, 192));
      p.drawLine(x, 32 - t, x + 2, 32 - t);
      if (hold_[i] > 7) peak_[i] -= (hold_[i] - 8) * 0.3;
      if (peak_[i] >= 0) ++hold_[i];
      else peak_[i] = 0;
    } else {
      peak_[i] = v + 0.01;
      hold_[i] = 0;
    }
  }
  p.end();
  image_ = work;
}

void TLevelDisplay::DrawEmpty() { image_ = background_.copy(); }

}  // namespace app
