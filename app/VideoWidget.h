// TVideoWidget: the picture of the video panel. It paints the controller's last
// picture (the output rectangle and "Keep Aspect Ratio" applied) on black and
// the on-video text over it, so the text is on screen and never in a snapshot.
// Works on every Qt platform (X11, Wayland, offscreen). On X11 it can also hold
// a native child window of its own for libVLC's DVD output (see NativeChild).
//
// Threads: UI thread only.
#pragma once

#include <QImage>
#include <QRectF>
#include <QWidget>
#include <cstdint>
#include <functional>

namespace app {

class TVideoWidget : public QWidget {
 public:
  explicit TVideoWidget(QWidget* parent = nullptr);

  // The picture to paint (a copy is kept); `pixelAspect` is a pixel's width over its height.
  void SetPicture(const QImage& picture, double pixelAspect = 1.0);
  const QImage& Picture() const { return picture_; }
  void ClearPicture();
  // The on-video text; empty removes it.
  void SetText(const QString& text);
  const QString& Text() const { return text_; }
  // Output rectangle as fractions of the widget (left, top, right, bottom).
  void SetOutputRect(const QRectF& r);
  void SetKeepAspect(bool keep);
  bool KeepAspect() const { return keepAspect_; }
  // Where the picture is painted, in widget pixels.
  QRect PictureRect() const;

  // X11 only: a child window covering the widget, made with no event mask, for
  // libVLC to draw a DVD into and to take the pointer on (a window of Qt's selects
  // button presses itself, and X gives those to one client only). Made on first
  // use; 0 on other platforms. DropNativeChild removes it (the widget paints again).
  uint32_t NativeChild();
  void DropNativeChild();
  uint32_t NativeChildId() const { return child_; }
  // Moves `from`'s native child (and the picture libVLC draws in it) into this widget,
  // sized to it: both windows stay alive, so libVLC keeps drawing.
  void TakeNativeChild(TVideoWidget& from);

  // Pointer and keys on the video.
  std::function<void()> onDoubleClick;
  std::function<void(int key)> onKey;
  std::function<void(QPoint pos)> onPointerMove;
  std::function<void(QPoint pos)> onRelease;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  bool event(QEvent* e) override;

 private:
  QImage picture_;
  double pixelAspect_ = 1.0;
  QString text_;
  QRectF output_{0, 0, 1, 1};
  bool keepAspect_ = true;
  uint32_t child_ = 0;   // the X11 child window
  uint32_t parent_ = 0;  // the native window it was made in
};

}  // namespace app
