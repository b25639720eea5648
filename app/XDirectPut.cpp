#include "app/XDirectPut.h"

#include <QGuiApplication>
#include <QWindow>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace app {

xcb_connection_t* XConnection() {
  if (!qApp || QGuiApplication::platformName() != "xcb") return nullptr;
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->connection() : nullptr;
}

TXDirectPut::~TXDirectPut() { Drop(); }

void TXDirectPut::Drop() {
  if (gc_) {
    if (xcb_connection_t* c = XConnection()) xcb_free_gc(c, gc_);
  }
  gc_ = 0;
  window_ = 0;
  usable_ = false;
}

bool TXDirectPut::Ready(QWindow* win) {
  if (!win) return false;
  const auto id = static_cast<uint32_t>(win->winId());
  if (id == window_ && id) return usable_;
  Drop();
  xcb_connection_t* c = XConnection();
  if (!c) return false;
  conn_ = c;
  window_ = id;
  // Once per window: its depth (one round trip), and whether the server lays out pixels of that
  // depth as QImage's RGB32 does.
  xcb_get_geometry_reply_t* geo = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
  if (!geo) return false;
  depth_ = geo->depth;
  std::free(geo);
  const xcb_setup_t* setup = xcb_get_setup(c);
  if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
  bool layout = false;
  for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
    if (it.data->depth == depth_) layout = it.data->bits_per_pixel == 32 && it.data->scanline_pad == 32;
  if (!layout || (depth_ != 24 && depth_ != 32)) return false;
  maxBytes_ = xcb_get_maximum_request_length(c) * 4u;
  gc_ = xcb_generate_id(c);
  xcb_create_gc(c, gc_, id, 0, nullptr);
  usable_ = true;
  return true;
}

bool TXDirectPut::Put(QWindow* win, const QImage& image, const QRect& area, QPoint to) {
  const QRect r = area & image.rect();
  if (r.isEmpty() || image.depth() != 32 || !Ready(win)) return false;
  const size_t count = size_t(r.width()) * size_t(r.height());
  // 24 bytes of request header; a part too big for one request goes the usual way.
  if (count * 4 + 24 > maxBytes_) return false;
  rows_.resize(count);
  for (int y = 0; y < r.height(); ++y) {
    const auto* from = reinterpret_cast<const uint32_t*>(image.constScanLine(r.top() + y)) + r.left();
    std::copy(from, from + r.width(), rows_.data() + size_t(y) * size_t(r.width()));
  }
  auto* c = static_cast<xcb_connection_t*>(conn_);
  xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_, uint16_t(r.width()), uint16_t(r.height()),
                int16_t(to.x()), int16_t(to.y()), 0, depth_, uint32_t(count * 4),
                reinterpret_cast<const uint8_t*>(rows_.data()));
  xcb_flush(c);
  return true;
}

}  // namespace app
