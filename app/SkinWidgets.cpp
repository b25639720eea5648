#include "app/SkinWidgets.h"

#include <QBackingStore>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <algorithm>

#include "platform/Paths.h"

namespace app {

TSkinImage::TSkinImage(QWidget* parent, QColor designColour) : QWidget(parent), design_(designColour) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TSkinImage::SetImage(const QImage& image) {
  image_ = image;
  update();
}

void TSkinImage::UpdateImage(const QImage& image, const QRect& area) {
  if (image_.size() != image.size() || image_.format() != image.format() || image_.depth() != 32) {
    SetImage(image);
    return;
  }
  const QRect r = area & image.rect();
  if (r.isEmpty()) return;
  // Our own copy of the pixels: sharing the source would make its next change copy all of it.
  if (image_.constBits() == image.constBits()) image_.detach();
  for (int y = r.top(); y <= r.bottom(); ++y) {
    const auto* from = reinterpret_cast<const QRgb*>(image.constScanLine(y)) + r.left();
    std::copy(from, from + r.width(), reinterpret_cast<QRgb*>(image_.scanLine(y)) + r.left());
  }
  if (stretch_ && size() != image_.size()) update();
  else if (!PaintNow(r)) update(r);
}

bool TSkinImage::PaintNow(const QRect& area) {
  // The plain case only: shown at its own size in a window on screen at one device pixel per pixel,
  // with nothing of ours above it. Anything else goes through the widget repaint.
  if (area.isEmpty() || size() != image_.size() || !isVisible() || !updatesEnabled()) return false;
  QWidget* top = window();
  QWindow* win = top->windowHandle();
  QBackingStore* store = backingStore();
  if (!win || !store || !win->isExposed() || win->devicePixelRatio() != 1.0 || nativeParentWidget() != top) return false;
  const QRect r = area & rect();
  for (const QObject* o : children())
    if (o->isWidgetType() && static_cast<const QWidget*>(o)->isVisible()) return false;
  // Inside every parent, and no sibling above it: siblings created or raised after a widget lie
  // above it (at every level up to the window).
  const QRect onTop(mapTo(top, r.topLeft()), r.size());
  for (const QWidget* w = this; w != top; w = w->parentWidget()) {
    const QWidget* parent = w->parentWidget();
    const QPoint parentAt = parent->mapTo(top, QPoint(0, 0));
    if (!QRect(parentAt, parent->size()).contains(onTop)) return false;
    const QObjectList& kids = parent->children();
    for (auto it = kids.begin() + kids.indexOf(w) + 1; it != kids.end(); ++it) {
      if (!(*it)->isWidgetType()) continue;
      const auto* sib = static_cast<const QWidget*>(*it);
      if (sib->isVisible() && !sib->isWindow() && QRect(parentAt + sib->pos(), sib->size()).intersects(onTop))
        return false;
    }
  }
  QPaintDevice* device = store->paintDevice();
  // The store follows the window's size only at the next widget repaint: a window resized just now
  // may still have a smaller image.
  if (!device || device->devType() != QInternal::Image ||
      !static_cast<QImage*>(device)->rect().contains(onTop))
    return false;
  auto* shown = static_cast<QImage*>(device);
  const QImage::Format f = shown->format();
  const bool sameBytes =
      f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied || f == QImage::Format_ARGB32;
  // On X the part goes to the window in one request of its own; the store still gets the pixels so
  // that the window's next repaint from it shows them. Elsewhere the store is painted and flushed.
  const bool direct = sameBytes && xput_.Put(win, image_, r, onTop.topLeft());
  if (!direct) store->beginPaint(QRegion(onTop));
  if (sameBytes) {
    // Our pixels are opaque RGB32: the same bytes in all three formats.
    for (int y = 0; y < r.height(); ++y) {
      const auto* from = reinterpret_cast<const QRgb*>(image_.constScanLine(r.top() + y)) + r.left();
      std::copy(from, from + r.width(), reinterpret_cast<QRgb*>(shown->scanLine(onTop.top() + y)) + onTop.left());
    }
  } else {
    QPainter p(shown);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(onTop.topLeft(), image_, r);
  }
  if (direct) return true;
  store->endPaint();
  store->flush(QRegion(onTop), win);
  return true;
}

void TSkinImage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (image_.isNull()) {
    p.fillRect(rect(), design_);
    return;
  }
  if (stretch_) p.drawImage(rect(), image_);
  else p.drawImage(0, 0, image_);
}

void TSkinImage::mousePressEvent(QMouseEvent* e) {
  if (onPress) onPress(e);
}
void TSkinImage::mouseMoveEvent(QMouseEvent* e) {
  if (onMove) onMove(e);
}
void TSkinImage::mouseReleaseEvent(QMouseEvent* e) {
  if (onRelease) onRelease(e);
}

TImageButton::TImageButton(QWidget* parent, int width, int height)
    : QWidget(parent), picture_(width, height, QImage::Format_RGB32) {
  resize(width, height);
  picture_.fill(Qt::transparent);
  setMouseTracking(true);
  setCursor(Qt::PointingHandCursor);
}

void TImageButton::SetStrip(const QImage& strip) {
  strip_ = strip;
  PaintButtonState(0);
}

void TImageButton::PaintButtonState(int frame) {
  frame_ = frame;
  const int w = width(), h = height();
  if (!strip_.isNull()) {
    picture_ = strip_.copy(frame * w, 0, w, h);
  } else {
    picture_ = QImage();
  }
  update();
}

void TImageButton::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter p(this);
  p.drawImage(0, 0, picture_);
}

void TImageButton::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && onPress) onPress();
}

void TImageButton::mouseMoveEvent(QMouseEvent*) {
  if (onHover) onHover();
}

void TImageButton::enterEvent(QEnterEvent*) {
  if (onHover) onHover();
}

void TImageButton::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  // The click comes first and the release after it, so a release handler sees
  // what the click did (the menu button's menu has been shown and closed).
  if (rect().contains(e->position().toPoint()) && onClick) onClick();
  if (onRelease) onRelease();
}

QImage LoadSkinBitmap(const std::string& path) {
  if (!platform::FileExists(path)) return QImage();
  QImage img(QString::fromStdString(path));
  return img;
}

}  // namespace app
