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

void TTitleStrip::ScrollTitle(int step) {
  QImage work = background_.copy();
  QPainter p(&work);
  p.setFont(font_);
  p.setPen(QColor(192, 192, 192));
  QFontMetrics fm(font_, &work);
  const int h = background_.width() / 2;
  const int tw = std::max(fm.horizontalAdvance(title_), h);
  const int baseline = 1 + fm.ascent();
  lastX_.clear();
  lastX_.push_back(-offset_);
  p.drawText(-offset_, baseline, title_);
  if (tw - offset_ < h) {
    lastX_.push_back(h + tw - offset_);
    p.drawText(h + tw - offset_, baseline, title_);
  }
  p.end();
  image_ = work;
  lastTw_ = tw;
  offset_ += step;
  if (offset_ >= h + tw) offset_ -= h + tw;
}

}  // namespace app
