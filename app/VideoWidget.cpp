#include "app/VideoWidget.h"

#include "app/XDirectPut.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <QMouseEvent>
#include <QPainter>

namespace app {

TVideoWidget::TVideoWidget(QWidget* parent) : QWidget(parent) {
  setObjectName("VideoWindow1");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
}


uint32_t TVideoWidget::NativeChild() {
  xcb_connection_t* c = XConnection();
  if (!c) return 0;
  const auto parent = static_cast<uint32_t>(winId());
  if (child_ && parent == parent_) return child_;
  DropNativeChild();
  const xcb_setup_t* setup = xcb_get_setup(c);
  xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
  child_ = xcb_generate_id(c);
  parent_ = parent;
  // Black behind the picture; no XCB_CW_EVENT_MASK: libVLC selects what it needs.
  const uint32_t values[] = {screen->black_pixel};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, child_, parent_, 0, 0, static_cast<uint16_t>(std::max(width(), 1)),
                    static_cast<uint16_t>(std::max(height(), 1)), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, values);
  xcb_map_window(c, child_);
  // libVLC's own connection looks the window up at once: it must exist on the server.
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  return child_;
}

void TVideoWidget::TakeNativeChild(TVideoWidget& from) {
  xcb_connection_t* c = XConnection();
  if (!c || !from.child_ || &from == this) return;
  DropNativeChild();
  child_ = from.child_;
  from.child_ = from.parent_ = 0;
  parent_ = static_cast<uint32_t>(winId());
  xcb_reparent_window(c, child_, parent_, 0, 0);
  const uint32_t size[] = {static_cast<uint32_t>(std::max(width(), 1)), static_cast<uint32_t>(std::max(height(), 1))};
  xcb_configure_window(c, child_, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
  xcb_map_window(c, child_);
  xcb_flush(c);
}

void TVideoWidget::DropNativeChild() {
  if (!child_) return;
  if (xcb_connection_t* c = XConnection()) {
    xcb_destroy_window(c, child_);
    xcb_flush(c);
  }
  child_ = parent_ = 0;
}

void TVideoWidget::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  if (!child_) return;
  if (xcb_connection_t* c = XConnection()) {
    const uint32_t size[] = {static_cast<uint32_t>(std::max(width(), 1)), static_cast<uint32_t>(std::max(height(), 1))};
    xcb_configure_window(c, child_, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    xcb_flush(c);
  }
}

bool TVideoWidget::event(QEvent* e) {
  // A new native window of the widget: the child moves into it, unless X took it along
  // with the old one.
  if (e->type() == QEvent::WinIdChange && child_) {
    if (xcb_connection_t* c = XConnection()) {
      xcb_get_window_attributes_reply_t* alive =
          xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, child_), nullptr);
      if (alive) {
        free(alive);
        const auto parent = static_cast<uint32_t>(winId());
        xcb_reparent_window(c, child_, parent, 0, 0);
        parent_ = parent;
        xcb_flush(c);
      } else {
        child_ = parent_ = 0;
      }
    }
  }
  return QWidget::event(e);
}

void TVideoWidget::SetPicture(const QImage& picture, double pixelAspect) {
  picture_ = picture;
  pixelAspect_ = pixelAspect > 0 ? pixelAspect : 1.0;
  update();
}

void TVideoWidget::ClearPicture() {
  picture_ = QImage();
  update();
}

void TVideoWidget::SetText(const QString& text) {
  text_ = text;
  update();
}

void TVideoWidget::SetOutputRect(const QRectF& r) {
  output_ = r.normalized();
  update();
}

void TVideoWidget::SetKeepAspect(bool keep) {
  keepAspect_ = keep;
  update();
}

QRect TVideoWidget::PictureRect() const {
  const QRectF area(output_.left() * width(), output_.top() * height(), output_.width() * width(),
                    output_.height() * height());
  if (picture_.isNull() || !keepAspect_) return area.toRect();
  // The shape the picture is meant to have: its pixels need not be square (DVDs).
  QSizeF s = QSizeF(picture_.width() * pixelAspect_, picture_.height()).scaled(area.size(), Qt::KeepAspectRatio);
  return QRectF(area.left() + (area.width() - s.width()) / 2, area.top() + (area.height() - s.height()) / 2,
                s.width(), s.height())
      .toRect();
}

void TVideoWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (!picture_.isNull()) {
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(PictureRect(), picture_);
  }
  if (!text_.isEmpty()) {
    QFont f("Arial");
    f.setPointSize(14);
    f.setBold(true);
    p.setFont(f);
    p.setOpacity(0.5);
    p.setPen(Qt::white);
    p.drawText(QPoint(5, 5 + p.fontMetrics().ascent()), text_);
  }
}

void TVideoWidget::mouseDoubleClickEvent(QMouseEvent*) {
  if (onDoubleClick) onDoubleClick();
}

void TVideoWidget::mouseMoveEvent(QMouseEvent* e) {
  if (onPointerMove) onPointerMove(e->position().toPoint());
}

void TVideoWidget::mouseReleaseEvent(QMouseEvent* e) {
  if (onRelease) onRelease(e->position().toPoint());
}

void TVideoWidget::keyPressEvent(QKeyEvent* e) {
  if (onKey) onKey(e->key());
  else QWidget::keyPressEvent(e);
}

}  // namespace app
