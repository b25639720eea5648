// The frames visualisation modules draw in, as real windows of the main window:
// a tool window titled "Embed target" per frame. On X11 its client area is a
// native child window a module draws into with Xlib/XCB from its own thread;
// elsewhere (offscreen, Wayland) the window paints the frame's pixel surface
// each time the module gives it back.
//
// A frame closed by hand tells the driver, which stops the module. Widgets the
// program registers as embed targets can take a frame's drawing area in.
//
// Threads: frames are made, shown and destroyed on the UI thread; NativeWindow,
// LockSurface and UnlockSurface are called from the module's thread and only
// read the table under its lock (a repaint is queued to the UI thread).
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <map>
#include <mutex>
#include <set>

#include "plugins/Drawers.h"
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

// The frame's own window: closing it by hand ends the module.
class TFrameWindow : public QWidget {
 public:
  TFrameWindow(platform::HWND frame, QWidget* owner) : QWidget(owner, Qt::Tool), frame_(frame) {}

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->accept();
    plugins::VisFrameCloseRequested(frame_);
  }

 private:
  platform::HWND frame_;
};

class TQtVisFrames : public plugins::TVisFrameHost {
 public:
  explicit TQtVisFrames(QWidget* owner) : owner_(owner) {
    notify_ = platform::CreateMessageWindow(
        [this](platform::HWND w, platform::UINT m, platform::WPARAM wp, platform::LPARAM lp) -> platform::LRESULT {
          if (m != kRepaint) return platform::DefWindowProc(w, m, wp, lp);
          Repaint(reinterpret_cast<platform::HWND>(lp));
          return 0;
        });
  }
  void SetOwner(QWidget* owner) { owner_ = owner; }

  platform::HWND CreateFrame(int width, int height, const std::string& title) override {
    platform::HWND h = plugins::BuiltInVisFrameHost()->CreateFrame(width, height, title);
    if (!h) return nullptr;
    auto* frame = new TFrameWindow(h, owner_);
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

  platform::HWND AdoptWindow(unsigned long xid, const std::string& title) override {
    if (QGuiApplication::platformName() != "xcb" || xid == 0) return nullptr;
    QWindow* foreign = QWindow::fromWinId(WId(xid));
    if (!foreign) return nullptr;
    QRect r = foreign->geometry();
    platform::HWND h = plugins::BuiltInVisFrameHost()->CreateFrame(std::max(1, r.width()), std::max(1, r.height()), title);
    if (!h) {
      delete foreign;
      return nullptr;
    }
    auto* frame = new TFrameWindow(h, owner_);
    frame->setWindowTitle(QString::fromStdString(title));
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    QWidget* view = QWidget::createWindowContainer(foreign, frame);
    layout->addWidget(view);
    frame->resize(r.width() > 0 ? r.width() : 320, r.height() > 0 ? r.height() : 240);
    if (owner_ && owner_->isVisible()) frame->move(owner_->x(), std::max(0, owner_->y() - frame->height() - 34));
    std::lock_guard lock(mutex_);
    frames_[h] = Entry{frame, view, static_cast<unsigned long>(xid), foreign};
    return h;
  }

  void DestroyFrame(platform::HWND h) override {
    QPointer<QWidget> frame;
    QPointer<QWindow> foreign;
    {
      std::lock_guard lock(mutex_);
      auto it = frames_.find(h);
      if (it != frames_.end()) {
        frame = it->second.frame;
        foreign = it->second.foreign;
        frames_.erase(it);
      }
    }
    // A module's own window is handed back to the screen, never destroyed by us.
    if (foreign) {
      foreign->setParent(nullptr);
      foreign->hide();
      delete foreign.data();
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

  bool AttachFrame(platform::HWND h, platform::HWND target) override {
    QPointer<QWidget> frame, view, into;
    {
      std::lock_guard lock(mutex_);
      auto it = frames_.find(h);
      if (it == frames_.end()) return false;
      frame = it->second.frame;
      view = it->second.view;
      if (target) {
        auto t = targets_.find(target);
        if (t == targets_.end()) return false;
        into = t->second;
      }
    }
    if (!frame || !view || (target && !into)) return false;
    // The same view moves, so a native window id a module holds stays valid.
    QWidget* parent = target ? into.data() : frame.data();
    view->setParent(parent);
    if (parent->layout()) parent->layout()->addWidget(view);
    else view->setGeometry(parent->rect());
    view->show();
    return true;
  }

  platform::HWND RegisterTarget(QWidget* widget) {
    platform::HWND h = platform::CreateMessageWindow(
        [](platform::HWND w, platform::UINT m, platform::WPARAM wp, platform::LPARAM lp) {
          return platform::DefWindowProc(w, m, wp, lp);
        });
    if (!h) return nullptr;
    std::lock_guard lock(mutex_);
    targets_[h] = widget;
    return h;
  }

  void UnregisterTarget(platform::HWND h) {
    {
      std::lock_guard lock(mutex_);
      targets_.erase(h);
    }
    platform::DestroyWindow(h);
  }

  plugins::TMainGeometry Geometry() const {
    plugins::TMainGeometry g;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      g.screenWidth = screen->geometry().width();
      g.screenHeight = screen->geometry().height();
    }
    if (!owner_) return g;
    g.exists = true;
    g.visible = owner_->isVisible();
    QRect r = owner_->frameGeometry();
    g.x = r.x();
    g.y = r.y();
    g.width = r.width();
    g.height = r.height();
    return g;
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
    // Repainted on the UI thread, one request at a time per frame. The request goes
    // through the message layer: no Qt object is touched on the module's thread.
    {
      std::lock_guard lock(mutex_);
      if (!frames_.count(h) || !repaintPending_.insert(h).second) return;
    }
    if (!platform::PostMessage(notify_, kRepaint, 0, reinterpret_cast<platform::LPARAM>(h))) {
      std::lock_guard lock(mutex_);
      repaintPending_.erase(h);
    }
  }

 private:
  static constexpr platform::UINT kRepaint = platform::WM_APP + 60;

  void Repaint(platform::HWND h) {
    QPointer<QWidget> view;
    {
      std::lock_guard lock(mutex_);
      repaintPending_.erase(h);
      auto it = frames_.find(h);
      if (it != frames_.end()) view = it->second.view;
    }
    if (view) view->update();
  }

  struct Entry {
    QPointer<QWidget> frame, view;
    unsigned long xid = 0;
    QPointer<QWindow> foreign;  // a module's own window in an adopted frame
  };
  QPointer<QWidget> owner_;  // UI thread
  std::mutex mutex_;
  std::map<platform::HWND, Entry> frames_;
  std::map<platform::HWND, QPointer<QWidget>> targets_;  // embed targets
  std::set<platform::HWND> repaintPending_;               // guarded by mutex_
  platform::HWND notify_ = nullptr;                       // UI thread's window for repaint requests
};

TQtVisFrames*& Host() {
  static TQtVisFrames* host = nullptr;  // lives for the run: module threads may still ask it
  return host;
}

}  // namespace

// Called by the main window's construction: modules' frames become its tool windows.
void InstallVisFrameHost(QWidget* owner) {
  TQtVisFrames*& host = Host();
  if (!host) host = new TQtVisFrames(owner);
  host->SetOwner(owner);
  plugins::SetVisFrameHost(host);
  // Drawers are placed beside the main window (asked on the UI thread only).
  plugins::SetMainGeometrySource([h = host] { return h->Geometry(); });
}

// A widget a module's frame may be moved into (ReattachVis); the handle to give the engine.
platform::HWND RegisterVisEmbedTarget(QWidget* target) {
  return Host() && target ? Host()->RegisterTarget(target) : nullptr;
}

void UnregisterVisEmbedTarget(platform::HWND target) {
  if (Host() && target) Host()->UnregisterTarget(target);
}

}  // namespace app
