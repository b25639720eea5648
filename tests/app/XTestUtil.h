// Helpers of the tests that run on a real X server.
#pragma once

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <cstdlib>
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

// The folder the pictures go to (created) when the test runs on a real X server with the xcb
// platform and ORVELLA_X_ARTIFACTS set; nullptr otherwise.
inline const char* Artifacts() {
  const char* folder = std::getenv("ORVELLA_X_ARTIFACTS");
  if (!folder || qgetenv("QT_QPA_PLATFORM") != "xcb") return nullptr;
  QDir().mkpath(folder);
  return folder;
}

}  // namespace xtest

// Names the pictures' folder `var`, or skips the test away from a real X server.
#define XTEST_ARTIFACTS_OR_SKIP(var)   \
  const char* var = xtest::Artifacts(); \
  if (!var) GTEST_SKIP() << "run under Xvfb with QT_QPA_PLATFORM=xcb and ORVELLA_X_ARTIFACTS=<folder>"
