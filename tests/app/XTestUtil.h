// Helpers of the tests that run on a real X server.
#pragma once

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <functional>

namespace xtest {

// Lets the event loop run until `ok` holds or `ms` have passed; the last answer of `ok`.
inline bool WaitFor(const std::function<bool()>& ok, int ms) {
  for (int waited = 0; waited < ms; waited += 20) {
    if (ok()) return true;
    QTest::qWait(20);
  }
  return ok();
}

// The whole screen as 32-bit RGB.
inline QImage Screen() {
  return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace xtest
