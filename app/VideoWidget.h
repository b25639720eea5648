// TVideoWidget: the picture of the video panel. It paints the controller's last
// picture (the output rectangle and "Keep Aspect Ratio" applied) on black and
// the on-video text over it, so the text is on screen and never in a snapshot.
// Works on every Qt platform (X11, Wayland, offscreen): nothing native.
//
// Threads: UI thread only.
#pragma once

#include <QImage>
#include <QRectF>
#include <QWidget>
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

 private:
  QImage picture_;
  double pixelAspect_ = 1.0;
  QString text_;
  QRectF output_{0, 0, 1, 1};
  bool keepAspect_ = true;
};

}  // namespace app
