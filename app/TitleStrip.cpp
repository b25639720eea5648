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
  // Whole-pixel moves of the drawn title: the same pixels as drawing the text at each place.
  QImage work = background_.copy();
  QPainter p(&work);
  for (int x : lastX_) p.drawImage(x - kPad, 0, text_);
  p.end();
  image_ = work;
  lastTw_ = tw;
  offset_ += step;
  if (offset_ >= h + tw) offset_ -= h + tw;
}

}  // namespace app
