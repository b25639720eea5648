#include "app/VideoWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace app {

TVideoWidget::TVideoWidget(QWidget* parent) : QWidget(parent) {
  setObjectName("VideoWindow1");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
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
