#include "app/TitleStrip.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace app {

TTitleStrip::TTitleStrip(int width, int height, int dpi)
    : background_(width, height, QImage::Format_RGB32), image_(width, height, QImage::Format_RGB32) {
  background_.fill(QColor(43, 43, 43));
  image_ = background_.copy();
  font_ = QFont("Arial");
  font_.setBold(true);
  font_.setPointSize(dpi < 97 ? 9 : 8);
}

namespace {
// Room for glyphs that reach past their advance (bold overhang, italic slant).
constexpr int kPad = 8;
}  // namespace

void TTitleStrip::RenderText() {
  QFontMetrics fm(font_, &background_);
  textWidth_ = fm.horizontalAdvance(title_);
  text_ = QImage(textWidth_ + 2 * kPad, background_.height(), QImage::Format_RGB32);
  text_.fill(background_.pixel(0, 0));
  QPainter p(&text_);
  p.setFont(font_);
  p.setPen(QColor(192, 192, 192));
  p.drawText(kPad, 1 + fm.ascent(), title_);
  p.end();
  textTitle_ = title_;
  textReady_ = true;
}

void TTitleStrip::ScrollTitle(int step) {
  if (!textReady_ || textTitle_ != title_) RenderText();
  const int h = background_.width() / 2;
  const int tw = std::max(textWidth_, h);
  lastX_.clear();
  lastX_.push_back(-offset_);
  if (tw - offset_ < h) lastX_.push_back(h + tw - offset_);
  // Whole-pixel moves of the drawn title (opaque pixels copied row by row into the frame): the same
  // pixels as drawing the text at each place, without a painter or a new image per frame.
  const int w = image_.width();
  for (int y = 0; y < image_.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
    const auto* back = reinterpret_cast<const QRgb*>(background_.constScanLine(y));
    std::copy(back, back + w, row);
    if (y >= text_.height()) continue;
    const auto* text = reinterpret_cast<const QRgb*>(text_.constScanLine(y));
    for (int x : lastX_) {
      const int from = std::max(0, x - kPad), to = std::min(w, x - kPad + text_.width());
      if (from < to) std::copy(text + (from - (x - kPad)), text + (to - (x - kPad)), row + from);
    }
  }
  lastTw_ = tw;
  offset_ += step;
  if (offset_ >= h + tw) offset_ -= h + tw;
}

}  // namespace app
