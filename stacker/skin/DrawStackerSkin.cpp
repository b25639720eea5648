// Draws the stacker's skin bitmap at build time and writes it twice: as a PNG
// (to look at) and as a C++ source holding the PNG's bytes, compiled into the
// library so it needs no file beside it.
//   pilvo3_draw_skin <skin.png> <skin.cpp>
// Layout (all in the bitmap): the full window 275x116 at (0,0) with the title
// strip; the unfocused title strip (0,116); the shade strips, focused (0,128)
// and unfocused (0,142); on row 156 the pressed shade button (1 full, 10 shaded),
// the pressed buttons (19, 42, 65, 88, 111, 134, 157, and About at 180), the
// scroll thumb (227 normal, 235 dragged), the checkboxes (243 off, 255 on) and
// the text and selected-row colour pixels (266, 270); the scroll track (275,18).
#include <QColor>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

const QColor kBodyTop(0x2c, 0x2f, 0x36), kBodyBottom(0x1d, 0x1f, 0x24);
const QColor kAccent(0x3d, 0xd6, 0xd0);
const QColor kList(0x0f, 0x11, 0x14);      // row colour, read back from (13, 21)
const QColor kSelected(0x1b, 0x4f, 0x5c);  // selected row, (270, 156)
const QColor kText(0xd8, 0xf4, 0xf2);      // text, (266, 156)
const QColor kIcon(0xc9, 0xce, 0xd6);

void Bevel(QPainter& p, QRect r, bool pressed) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, pressed ? QColor(0x17, 0x19, 0x1d) : QColor(0x3a, 0x3e, 0x47));
  g.setColorAt(1, pressed ? QColor(0x24, 0x27, 0x2d) : QColor(0x26, 0x29, 0x2f));
  p.setPen(pressed ? kAccent : QColor(0x14, 0x15, 0x18));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
}

// Glyphs of the seven small buttons: add, remove, configure, down, up, load, save.
void Glyph(QPainter& p, QRect r, int which, bool pressed) {
  QColor c = pressed ? kAccent : kIcon;
  p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  QPointF m = QRectF(r).center();
  switch (which) {
    case 0:
      p.drawLine(QPointF(m.x() - 4, m.y()), QPointF(m.x() + 4, m.y()));
      p.drawLine(QPointF(m.x(), m.y() - 4), QPointF(m.x(), m.y() + 4));
      break;
    case 1: p.drawLine(QPointF(m.x() - 4, m.y()), QPointF(m.x() + 4, m.y())); break;
    case 2:
      p.drawEllipse(m, 3.5, 3.5);
      for (int i = 0; i < 4; ++i) {
        QPointF d = i == 0 ? QPointF(0, 5.5) : i == 1 ? QPointF(5.5, 0) : i == 2 ? QPointF(0, -5.5) : QPointF(-5.5, 0);
        p.drawPoint(m + d);
      }
      break;
    case 3:
      p.drawLine(QPointF(m.x(), m.y() - 4), QPointF(m.x(), m.y() + 4));
      p.drawPolyline(QPolygonF({QPointF(m.x() - 3.5, m.y() + 0.5), QPointF(m.x(), m.y() + 4), QPointF(m.x() + 3.5, m.y() + 0.5)}));
      break;
    case 4:
      p.drawLine(QPointF(m.x(), m.y() - 4), QPointF(m.x(), m.y() + 4));
      p.drawPolyline(QPolygonF({QPointF(m.x() - 3.5, m.y() - 0.5), QPointF(m.x(), m.y() - 4), QPointF(m.x() + 3.5, m.y() - 0.5)}));
      break;
    case 5:  // an open folder
      p.setPen(QPen(c, 1.4));
      p.drawPolygon(QPolygonF({QPointF(m.x() - 6, m.y() - 4), QPointF(m.x() - 2, m.y() - 4), QPointF(m.x() - 1, m.y() - 3),
                               QPointF(m.x() + 5, m.y() - 3), QPointF(m.x() + 5, m.y() + 4), QPointF(m.x() - 6, m.y() + 4)}));
      break;
    case 6:  // a disk
      p.setPen(QPen(c, 1.4));
      p.drawRect(QRectF(m.x() - 5, m.y() - 5, 10, 10));
      p.fillRect(QRectF(m.x() - 2.5, m.y() - 5, 5, 3.5), c);
      break;
  }
}

void TitleStrip(QPainter& p, int y, int h, bool focused, bool shade) {
  QLinearGradient g(0, y, 0, y + h);
  g.setColorAt(0, focused ? QColor(0x34, 0x38, 0x41) : QColor(0x2a, 0x2c, 0x31));
  g.setColorAt(1, focused ? QColor(0x25, 0x28, 0x2e) : QColor(0x22, 0x24, 0x28));
  p.fillRect(QRect(0, y, 275, h), g);
  p.setPen(focused ? kAccent : QColor(0x55, 0x5a, 0x63));
  QFont f("Sans");
  f.setPixelSize(9);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(6, y, 200, h), Qt::AlignVCenter | Qt::AlignLeft, shade ? "PILVO3 DSP STACKER  (shaded)" : "PILVO3 DSP STACKER");
  // grip lines between the title and the shade button
  p.setPen(focused ? QColor(0x47, 0x4c, 0x56) : QColor(0x33, 0x36, 0x3c));
  for (int i = 0; i < 3; ++i) p.drawLine(150, y + h / 2 - 2 + 2 * i, 258, y + h / 2 - 2 + 2 * i);
  // the shade button, normal look, at (264, 3) of the strip
  QRect b(264, y + 3, 9, 9);
  p.setPen(QColor(0x14, 0x15, 0x18));
  p.setBrush(QColor(0x3a, 0x3e, 0x47));
  p.drawRect(b.adjusted(0, 0, -1, -1));
  p.setPen(kIcon);
  if (shade) p.drawRect(QRect(b.left() + 2, b.top() + 2, 4, 4));
  else p.drawLine(b.left() + 2, b.top() + 6, b.left() + 6, b.top() + 6);
}

void ShadeButtonPressed(QPainter& p, int x, int y, bool shade) {
  QRect b(x, y, 9, 9);
  p.setPen(kAccent);
  p.setBrush(QColor(0x17, 0x19, 0x1d));
  p.drawRect(b.adjusted(0, 0, -1, -1));
  p.setPen(kAccent);
  if (shade) p.drawRect(QRect(b.left() + 2, b.top() + 2, 4, 4));
  else p.drawLine(b.left() + 2, b.top() + 6, b.left() + 6, b.top() + 6);
}

void AboutButton(QPainter& p, QRect r, bool pressed) {
  Bevel(p, r, pressed);
  QFont f("Sans");
  f.setPixelSize(9);
  f.setBold(true);
  p.setFont(f);
  p.setPen(pressed ? kAccent : kIcon);
  p.drawText(r, Qt::AlignCenter, "ABOUT");
}

void Checkbox(QPainter& p, int x, int y, bool on) {
  p.setPen(QColor(0x55, 0x5a, 0x63));
  p.setBrush(QColor(0x1a, 0x1c, 0x20));
  p.drawRect(QRect(x, y, 10, 10));
  if (on) {
    p.setPen(QPen(kAccent, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(x + 2.5, y + 5.5), QPointF(x + 4.5, y + 7.5), QPointF(x + 8, y + 3)}));
  }
}

void Thumb(QPainter& p, int x, int y, bool dragged) {
  QLinearGradient g(x, 0, x + 8, 0);
  g.setColorAt(0, dragged ? kAccent : QColor(0x5a, 0x60, 0x6b));
  g.setColorAt(1, dragged ? QColor(0x1b, 0x8f, 0xa8) : QColor(0x3a, 0x3e, 0x47));
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawRoundedRect(QRectF(x + 0.5, y + 0.5, 7, 17), 2, 2);
}

QImage Draw() {
  QImage img(283, 174, QImage::Format_RGB32);
  img.fill(QColor(0x1d, 0x1f, 0x24));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  // Body of the full window.
  QLinearGradient body(0, 12, 0, 116);
  body.setColorAt(0, kBodyTop);
  body.setColorAt(1, kBodyBottom);
  p.fillRect(QRect(0, 12, 275, 104), body);
  p.setPen(QColor(0x44, 0x48, 0x51));
  p.drawRect(QRectF(0.5, 0.5, 274, 115));
  TitleStrip(p, 0, 12, true, false);
  // The recessed list: rows 22..74, x 11..255, with a frame around it.
  p.setPen(QColor(0x0a, 0x0b, 0x0d));
  p.setBrush(kList);
  p.drawRect(QRect(9, 20, 248, 56));
  p.fillRect(QRect(11, 22, 245, 52), kList);
  // The small scroll arrows at 258..270 x 79..91.
  p.setPen(QPen(kIcon, 1.2));
  p.drawPolyline(QPolygonF({QPointF(261, 84), QPointF(264, 80.5), QPointF(267, 84)}));
  p.drawPolyline(QPolygonF({QPointF(261, 86.5), QPointF(264, 90), QPointF(267, 86.5)}));
  // The track's place in the window.
  p.fillRect(QRect(260, 18, 8, 61), QColor(0x14, 0x15, 0x18));
  // Buttons at rest.
  const int xs[7] = {11, 34, 57, 80, 103, 208, 231};
  for (int i = 0; i < 7; ++i) {
    QRect r(xs[i], 86, 23, 18);
    Bevel(p, r, false);
    Glyph(p, r, i, false);
  }
  AboutButton(p, QRect(143, 86, 47, 15), false);
  // Unfocused title, shade strips.
  TitleStrip(p, 116, 12, false, false);
  TitleStrip(p, 128, 14, true, true);
  TitleStrip(p, 142, 14, false, true);
  // Row 156: pressed images, thumb, checkboxes, colour pixels.
  p.fillRect(QRect(0, 156, 283, 18), QColor(0x1d, 0x1f, 0x24));
  ShadeButtonPressed(p, 1, 156, false);
  ShadeButtonPressed(p, 10, 156, true);
  const int pressedAt[7] = {19, 42, 65, 88, 111, 134, 157};
  for (int i = 0; i < 7; ++i) {
    QRect r(pressedAt[i], 156, 23, 18);
    Bevel(p, r, true);
    Glyph(p, r, i, true);
  }
  AboutButton(p, QRect(180, 156, 47, 15), true);
  Thumb(p, 227, 156, false);
  Thumb(p, 235, 156, true);
  Checkbox(p, 243, 156, false);
  Checkbox(p, 255, 156, true);
  // The scroll track itself.
  QLinearGradient track(275, 0, 283, 0);
  track.setColorAt(0, QColor(0x12, 0x13, 0x16));
  track.setColorAt(1, QColor(0x1c, 0x1e, 0x22));
  p.fillRect(QRect(275, 18, 8, 61), track);
  p.end();
  // Colour pixels last, exact (no antialiasing).
  for (int dy = 0; dy < 4; ++dy)
    for (int dx = 0; dx < 4; ++dx) {
      img.setPixelColor(266 + dx, 156 + dy, kText);
      img.setPixelColor(270 + dx, 156 + dy, kSelected);
    }
  img.setPixelColor(13, 21, kList);
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pilvo3_draw_skin <skin.png> <skin.cpp>\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  QImage img = Draw();
  if (!img.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  QFile png(QString::fromLocal8Bit(argv[1]));
  if (!png.open(QIODevice::ReadOnly)) return 1;
  QByteArray bytes = png.readAll();
  FILE* out = std::fopen(argv[2], "w");
  if (!out) return 1;
  std::fprintf(out, "// Generated by pilvo3_draw_skin: the stacker's skin as PNG bytes.\n");
  std::fprintf(out, "#include <cstddef>\nnamespace pilvo {\nextern const unsigned char kSkinPng[];\n");
  std::fprintf(out, "extern const size_t kSkinPngSize;\nconst unsigned char kSkinPng[] = {");
  for (int i = 0; i < bytes.size(); ++i)
    std::fprintf(out, "%s%u,", i % 24 == 0 ? "\n" : "", unsigned(static_cast<unsigned char>(bytes[i])));
  std::fprintf(out, "\n};\nconst size_t kSkinPngSize = sizeof kSkinPng;\n}  // namespace pilvo\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
