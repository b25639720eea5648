// Puts a part of an image straight into a window on the X server with one PutImage request: no
// shared-memory segment to wait for, no round trip. For small displays redrawn many times a second
// (a flush through the backing store waits for the server to finish reading the previous one).
// UI thread only.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <vector>

class QWindow;
struct xcb_connection_t;

namespace app {

// The application's X connection; null when it does not run on X.
xcb_connection_t* XConnection();

class TXDirectPut {
 public:
  TXDirectPut() = default;
  TXDirectPut(const TXDirectPut&) = delete;
  TXDirectPut& operator=(const TXDirectPut&) = delete;
  ~TXDirectPut();

  // Sends `area` of `image` (RGB32) to `win` at `to` and flushes the connection. False, with
  // nothing sent, when `win` is not an X window or its pixels are not 32 bits, least significant
  // byte first (then draw the usual way).
  bool Put(QWindow* win, const QImage& image, const QRect& area, QPoint to);

 private:
  bool Ready(QWindow* win);
  void Drop();

  void* conn_ = nullptr;  // the application's X connection, for the window below
  uint32_t window_ = 0;   // the X window the checks below were made for
  uint32_t gc_ = 0;
  uint8_t depth_ = 0;
  bool usable_ = false;
  uint32_t maxBytes_ = 0;  // the largest request the server takes, in bytes
  std::vector<uint32_t> rows_;
};

}  // namespace app
