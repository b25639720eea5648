// The frames visualisation modules draw in, as real windows of the main window:
// a tool window titled "Embed target" per frame. On X11 its client area is a
// native child window a module draws into with Xlib/XCB from its own thread;
// elsewhere (offscreen, Wayland) the window paints the frame's pixel surface
// each time the module gives it back.
//
// Threads: frames are made, shown and destroyed on the UI thread; NativeWindow,
// LockSurface and UnlockSurface are called from the module's thread and only
// read the table under its lock (a repaint is queued to the UI thread).
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>

#include <map>
#include <mutex>

#include "plugins/VisDrive2.h"

namespace app {

namespace {

// Paints the frame's surface (no native child).
class TSurfaceView : public QWidget {
 public:
  TSurfaceView(platform::HWND frame, QWidget* parent) : QWidget(parent), frame_(frame) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    std::vector<uint32_t> px;
    int w = 0, h = 0;
    QPainter p(this);
    if (!plugins::CopyVisFrameSurface(frame_, px, w, h) || w <= 0 || h <= 0) {
      p.fillRect(rect(), Qt::black);
      return;
    }
    QImage img(reinterpret_cast<const uchar*>(px.data()), w, h, w * 4, QImage::Format_ARGB32);
    p.drawImage(rect(), img);
  }

 private:
  platform::HWND frame_;
};

// The module draws here itself: Qt must not paint over it.
class TNativeView : public QWidget {
 public:
  explicit TNativeView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }
  QPaintEngine* paintEngine() const override { return nullptr; }

 protected:
  void paintEvent(QPaintEvent*) override {}
};

class TQtVisFrames : public plugins::TVisFrameHost {
 public:
  explicit TQtVisFrames(QWidget* owner) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  platform::HWND CreateFrame(int width, int height, const std::string& title) override {
    platform::HWND h = plugins::BuiltInVisFrameHost()->CreateFrame(width, height, title);
    if (!h) return nullptr;
    auto* frame = new QWidget(owner_, Qt::Tool);
    frame->setWindowTitle(QString::fromStdString(title));
    frame->setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    QWidget* view;
    unsigned long xid = 0;
    if (QGuiApplication::platformName() == "xcb") {
      view = new TNativeView(frame);
      xid = static_cast<unsigned long>(view->winId());
    } else {
      view = new TSurfaceView(h, frame);
    }
    layout->addWidget(view);
    frame->resize(width, height);
    // Above the main window, as Winamp's own frames sit.
    if (owner_ && owner_->isVisible()) frame->move(owner_->x(), std::max(0, owner_->y() - height - 34));
    std::lock_guard lock(mutex_);
    frames_[h] = Entry{frame, view, xid};
    return h;
  }

  void DestroyFrame(platform::HWND h) override {
    QPointer<QWidget> frame;
    {
      std::lock_guard lock(mutex_);
      auto it = frames_.find(h);
      if (it != frames_.end()) {
        frame = it->second.frame;
        frames_.erase(it);
      }
    }
    delete frame.data();
    plugins::BuiltInVisFrameHost()->DestroyFrame(h);
  }

  void ShowFrame(platform::HWND h, bool show) override {
    QPointer<QWidget> frame;
    {
      std::lock_guard lock(mutex_);
      auto it = frames_.find(h);
      if (it != frames_.end()) frame = it->second.frame;
    }
    if (frame) frame->setVisible(show);
  }

  unsigned long NativeWindow(platform::HWND h) override {
    std::lock_guard lock(mutex_);
    auto it = frames_.find(h);
    return it == frames_.end() ? 0 : it->second.xid;
  }

  bool LockSurface(platform::HWND h, OrvellaVisSurface* s) override {
    return plugins::BuiltInVisFrameHost()->LockSurface(h, s);
  }

  void UnlockSurface(platform::HWND h) override {
    plugins::BuiltInVisFrameHost()->UnlockSurface(h);
    QPointer<QWidget> view;
    {
      std::lock_guard lock(mutex_);
      auto it = frames_.find(h);
      if (it != frames_.end()) view = it->second.view;
    }
    // Repainted on the UI thread, at most once per event-loop turn.
    if (view) QMetaObject::invokeMethod(view.data(), [view] { if (view) view->update(); }, Qt::QueuedConnection);
  }

 private:
  struct Entry {
    QPointer<QWidget> frame, view;
    unsigned long xid = 0;
  };
  QPointer<QWidget> owner_;  // UI thread
  std::mutex mutex_;
  std::map<platform::HWND, Entry> frames_;
};

}  // namespace

// Called by the main window's construction: modules' frames become its tool windows.
void InstallVisFrameHost(QWidget* owner) {
  static TQtVisFrames* host = nullptr;  // lives for the run: module threads may still ask it
  if (!host) host = new TQtVisFrames(owner);
  host->SetOwner(owner);
  plugins::SetVisFrameHost(host);
}

}  // namespace app
