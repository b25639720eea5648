// Skinned pieces of the main window: images drawn from skin bitmaps (stretched
// to the widget) and image buttons whose strip holds three frames side by side
// (0 normal, 1 under the pointer, 2 pressed). UI thread only.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

#include "app/XDirectPut.h"

class QMouseEvent;

namespace app {

class TSkinImage : public QWidget {
 public:
  explicit TSkinImage(QWidget* parent, QColor designColour = QColor(30, 32, 36));

  void SetImage(const QImage& image);
  // Takes the part `area` of `image` (same size and format as the shown one, else the whole image)
  // and repaints only that part: a display that changes a few columns neither copies nor repaints
  // the rest. When the widget is on screen unscaled and uncovered, the part goes straight to the
  // window at once (no paint event, no repaint of anything else); otherwise it is repainted later.
  void UpdateImage(const QImage& image, const QRect& area);
  const QImage& Image() const { return image_; }
  void SetStretch(bool stretch) { stretch_ = stretch; }

  // Mouse callbacks, positions relative to this widget.
  std::function<void(QMouseEvent*)> onPress, onMove, onRelease;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  // Copies `area` of the image into the window's backing store and flushes it; false (nothing done)
  // when the widget is not in the plain case this handles.
  bool PaintNow(const QRect& area);

  QImage image_;
  QColor design_;
  bool stretch_ = true;
  TXDirectPut xput_;
};

class TImageButton : public QWidget {
 public:
  TImageButton(QWidget* parent, int width, int height);

  // The three-frame strip (an empty image draws nothing, the button still works).
  void SetStrip(const QImage& strip);
  const QImage& Strip() const { return strip_; }
  // Copies frame `frame` of the strip onto the button's picture.
  void PaintButtonState(int frame);
  int Frame() const { return frame_; }
  const QImage& Picture() const { return picture_; }

  std::function<void()> onHover;    // pointer moved over the button
  std::function<void()> onPress;    // left button pressed
  std::function<void()> onRelease;  // button released (anywhere)
  std::function<void()> onClick;    // released over the button

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void enterEvent(QEnterEvent* e) override;

 private:
  QImage strip_;
  QImage picture_;
  int frame_ = 0;
};

// Reads a skin bitmap; an empty image when the file is missing or unreadable.
QImage LoadSkinBitmap(const std::string& path);

}  // namespace app
