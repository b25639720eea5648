// Draws the default skin: every bitmap the main window, the equaliser and the
// playlist window read, as 24-bit BMP files. Run by the build:
//   orvella_draw_skin <output folder>
// The look: a dark graphite body, a recessed display with a cyan accent, and
// flat round-cornered buttons whose hover and pressed frames light up.
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <functional>
#include <string>

namespace {

const QColor kAccent(0x3d, 0xd6, 0xd0);
const QColor kAccentDeep(0x1b, 0x8f, 0xa8);
const QColor kBodyTop(0x2c, 0x2f, 0x36);
const QColor kBodyBottom(0x1d, 0x1f, 0x24);
const QColor kPanel(0x22, 0x24, 0x2a);        // flat area under the transport buttons
const QColor kDisplay(0x0f, 0x11, 0x14);      // recessed display
const QColor kIcon(0xc9, 0xce, 0xd6);
const QColor kIconHover(0xff, 0xff, 0xff);

QString g_out;
bool g_ok = true;

void Save(const QImage& img, const char* name) {
  // RGB888 makes Qt write a 24-bit bitmap.
  QImage rgb = img.convertToFormat(QImage::Format_RGB888);
  if (!rgb.save(g_out + "/" + name, "BMP")) {
    std::fprintf(stderr, "cannot write %s\n", name);
    g_ok = false;
  }
}

QImage Blank(int w, int h, const QColor& c) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(c);
  return img;
}

// Colour of the title bar at row y (0..30), so title-bar buttons blend in.
QColor TopBarAt(int y) {
  double t = y / 30.0;
  return QColor::fromRgbF(kBodyTop.redF() + (kBodyBottom.redF() - kBodyTop.redF()) * t * 0.5,
                          kBodyTop.greenF() + (kBodyBottom.greenF() - kBodyTop.greenF()) * t * 0.5,
                          kBodyTop.blueF() + (kBodyBottom.blueF() - kBodyTop.blueF()) * t * 0.5);
}

void DrawTop(int w, int h, const char* name) {
  QImage img = Blank(w, h, kBodyTop);
  QPainter p(&img);
  for (int y = 0; y < h; ++y) {
    p.setPen(TopBarAt(y * 30 / std::max(1, h - 1)));
    p.drawLine(0, y, w, y);
  }
  p.setPen(QColor(0x44, 0x48, 0x51));
  p.drawLine(0, 0, w, 0);
  p.setPen(QColor(0x14, 0x15, 0x18));
  p.drawLine(0, h - 1, w, h - 1);
  p.end();
  Save(img, name);
}

void DrawSide(int w, int h, bool left, const char* name) {
  QImage img = Blank(w, h, kBodyBottom);
  QPainter p(&img);
  QLinearGradient g(0, 0, w, 0);
  QColor outer(0x30, 0x33, 0x3a), inner(0x1a, 0x1c, 0x20);
  g.setColorAt(0, left ? outer : inner);
  g.setColorAt(1, left ? inner : outer);
  p.fillRect(img.rect(), g);
  p.end();
  Save(img, name);
}

void DrawBottomBar(int w, int h, const char* name) {
  QImage img = Blank(w, h, kBodyBottom);
  QPainter p(&img);
  QLinearGradient g(0, 0, 0, h);
  g.setColorAt(0, QColor(0x1c, 0x1e, 0x22));
  g.setColorAt(1, QColor(0x2a, 0x2d, 0x33));
  p.fillRect(img.rect(), g);
  p.end();
  Save(img, name);
}

void RoundedDisplay(QPainter& p, const QRectF& r, double radius) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, QColor(0x0b, 0x0d, 0x10));
  g.setColorAt(1, QColor(0x14, 0x17, 0x1b));
  p.setPen(QPen(QColor(0x3a, 0x3e, 0x46), 1));
  p.setBrush(g);
  p.drawRoundedRect(r, radius, radius);
  p.setPen(QPen(QColor(0, 0, 0, 160), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(r.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
}

// The audio control area: a recessed display (levels, labels, title strip),
// the progress groove and a flat band for the transport buttons.
void DrawControls() {
  const int w = 364, h = 162;
  QImage img = Blank(w, h, kPanel);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient body(0, 0, 0, h);
  body.setColorAt(0, QColor(0x26, 0x29, 0x2f));
  body.setColorAt(0.7, kPanel);
  body.setColorAt(1, kPanel);
  p.fillRect(img.rect(), body);
  RoundedDisplay(p, QRectF(8.5, 12.5, 347, 72), 6);
  // A faint accent glow along the display's lower edge.
  QLinearGradient glow(0, 78, 0, 84);
  glow.setColorAt(0, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 0));
  glow.setColorAt(1, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 40));
  p.fillRect(QRectF(14, 78, 336, 5), glow);
  // Separator above the transport band.
  p.setPen(QColor(0x16, 0x18, 0x1b));
  p.drawLine(QPointF(12, 118.5), QPointF(352, 118.5));
  p.setPen(QColor(0x34, 0x37, 0x3e));
  p.drawLine(QPointF(12, 119.5), QPointF(352, 119.5));
  // Flat band behind the transport buttons (top 127, 24 high): the button
  // strips are drawn on this same colour.
  p.fillRect(QRect(0, 121, w, h - 121), kPanel);
  p.end();
  Save(img, "bg_controls.bmp");
}

void DrawControlsVideo() {
  QImage img = Blank(364, 32, kPanel);
  QPainter p(&img);
  QLinearGradient g(0, 0, 0, 32);
  g.setColorAt(0, QColor(0x2a, 0x2d, 0x33));
  g.setColorAt(1, kPanel);
  p.fillRect(img.rect(), g);
  p.setPen(QColor(0x3a, 0x3e, 0x46));
  p.drawLine(0, 0, 364, 0);
  p.end();
  Save(img, "bg_controls_video.bmp");
}

void DrawProgress() {
  {
    QImage img = Blank(345, 8, kPanel);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x0a, 0x0b, 0x0d), 1));
    p.setBrush(QColor(0x12, 0x14, 0x17));
    p.drawRoundedRect(QRectF(0.5, 0.5, 344, 7), 3.5, 3.5);
    p.end();
    Save(img, "progress_max.bmp");
  }
  {
    QImage img = Blank(32, 8, kAccent);
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, 8);
    g.setColorAt(0, kAccent.lighter(120));
    g.setColorAt(1, kAccentDeep);
    p.fillRect(img.rect(), g);
    p.end();
    Save(img, "progress.bmp");
  }
  {
    QImage img = Blank(24, 10, kPanel);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 10);
    g.setColorAt(0, QColor(0xf2, 0xf4, 0xf7));
    g.setColorAt(1, QColor(0xa9, 0xb0, 0xba));
    p.setPen(QPen(QColor(0x10, 0x12, 0x14), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, 23, 9), 4.5, 4.5);
    p.setPen(QPen(kAccentDeep, 1.2));
    p.drawLine(QPointF(12, 3), QPointF(12, 7));
    p.end();
    Save(img, "progress_slider.bmp");
  }
}

using IconFn = std::function<void(QPainter&, const QRectF&, const QColor&)>;

// A strip of three frames: normal, under the pointer, pressed. `bgAt(y)` gives
// the colour behind the button so the rounded chip blends into the skin.
void DrawButtonStrip(const char* name, int size, const std::function<QColor(int)>& bgAt, const IconFn& icon,
                     bool round) {
  QImage img(size * 3, size, QImage::Format_ARGB32_Premultiplied);
  QPainter p(&img);
  for (int y = 0; y < size; ++y) {
    p.setPen(bgAt(y));
    p.drawLine(0, y, size * 3, y);
  }
  p.setRenderHint(QPainter::Antialiasing);
  for (int f = 0; f < 3; ++f) {
    QRectF r(f * size + 0.5, 0.5, size - 1, size - 1);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    QColor top, bottom, rim, ink;
    if (f == 0) {
      top = QColor(0x3a, 0x3e, 0x46); bottom = QColor(0x2a, 0x2d, 0x33); rim = QColor(0x15, 0x17, 0x1a); ink = kIcon;
    } else if (f == 1) {
      top = QColor(0x47, 0x4c, 0x56); bottom = QColor(0x33, 0x37, 0x3e); rim = kAccentDeep; ink = kIconHover;
    } else {
      top = QColor(0x17, 0x19, 0x1c); bottom = QColor(0x22, 0x25, 0x2a); rim = kAccent; ink = kAccent;
    }
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(rim, 1));
    p.setBrush(g);
    if (round) p.drawEllipse(r);
    else p.drawRoundedRect(r, size / 4.0, size / 4.0);
    icon(p, QRectF(f * size, 0, size, size), ink);
  }
  p.end();
  Save(img, name);
}

QPolygonF Tri(double x, double y, double w, double h, bool right) {
  QPolygonF t;
  if (right) t << QPointF(x, y) << QPointF(x + w, y + h / 2) << QPointF(x, y + h);
  else t << QPointF(x + w, y) << QPointF(x, y + h / 2) << QPointF(x + w, y + h);
  return t;
}

void Fill(QPainter& p, const QColor& c) {
  p.setPen(Qt::NoPen);
  p.setBrush(c);
}

void DrawButtons() {
  auto top = [](int y) { return TopBarAt(5 + y); };
  auto panel = [](int) { return kPanel; };
  const int S = 15, T = 24;
  DrawButtonStrip("button_close.bmp", S, top, [](QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap));
    QPointF m = r.center();
    p.drawLine(m + QPointF(-3, -3), m + QPointF(3, 3));
    p.drawLine(m + QPointF(3, -3), m + QPointF(-3, 3));
  }, true);
  DrawButtonStrip("button_minimize.bmp", S, top, [](QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap));
    QPointF m = r.center();
    p.drawLine(m + QPointF(-3.5, 2), m + QPointF(3.5, 2));
  }, true);
  DrawButtonStrip("button_menu.bmp", S, top, [](QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(QPen(c, 1.3, Qt::SolidLine, Qt::RoundCap));
    QPointF m = r.center();
    for (int i = -1; i <= 1; ++i) p.drawLine(m + QPointF(-3.5, i * 3), m + QPointF(3.5, i * 3));
  }, true);
  DrawButtonStrip("button_settings.bmp", S, top, [](QPainter& p, const QRectF& r, const QColor& c) {
    QPointF m = r.center();
    p.setPen(QPen(c, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(m, 2.0, 2.0);
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 8; ++i) {
      double a = i * 3.14159265 / 4;
      p.drawLine(m + QPointF(std::cos(a) * 3.4, std::sin(a) * 3.4), m + QPointF(std::cos(a) * 4.6, std::sin(a) * 4.6));
    }
  }, true);

  DrawButtonStrip("button_play.bmp", T, panel, [](QPainter& p, const QRectF& r, const QColor& c) {
    Fill(p, c);
    p.drawPolygon(Tri(r.x() + 9, r.y() + 6.5, 9, 11, true));
  }, true);
  DrawButtonStrip("button_pause.bmp", T, panel, [](QPainter& p, const QRectF& r, const QColor& c) {
    Fill(p, c);
    p.drawRoundedRect(QRectF(r.x() + 7.5, r.y() + 7, 3.2, 10), 1, 1);
    p.drawRoundedRect(QRectF(r.x() + 13.3, r.y() + 7, 3.2, 10), 1, 1);
  }, true);
  DrawButtonStrip("button_stop.bmp", T, panel, [](QPainter& p, const QRectF& r, const QColor& c) {
    Fill(p, c);
    p.drawRoundedRect(QRectF(r.x() + 7.5, r.y() + 7.5, 9, 9), 1.5, 1.5);
  }, true);
  DrawButtonStrip("button_previous.bmp", T, panel, [](QPainter& p, const QRectF& r, const QColor& c) {
    Fill(p, c);
    p.drawRect(QRectF(r.x() + 6.5, r.y() + 7, 2, 10));
    p.drawPolygon(Tri(r.x() + 9, r.y() + 7, 8, 10, false));
  }, true);
  DrawButtonStrip("button_next.bmp", T, panel, [](QPainter& p, const QRectF& r, const QColor& c) {
    Fill(p, c);
    p.drawPolygon(Tri(r.x() + 7, r.y() + 7, 8, 10, true));
    p.drawRect(QRectF(r.x() + 15.5, r.y() + 7, 2, 10));
  }, true);
  DrawButtonStrip("button_speed_down.bmp", T, panel, [](QPainter& p, const QRectF& r, const QColor& c) {
    Fill(p, c);
    p.drawPolygon(Tri(r.x() + 5, r.y() + 8, 7, 8, false));
    p.drawPolygon(Tri(r.x() + 11.5, r.y() + 8, 7, 8, false));
  }, true);
  DrawButtonStrip("button_speed_up.bmp", T, panel, [](QPainter& p, const QRectF& r, const QColor& c) {
    Fill(p, c);
    p.drawPolygon(Tri(r.x() + 5.5, r.y() + 8, 7, 8, true));
    p.drawPolygon(Tri(r.x() + 12, r.y() + 8, 7, 8, true));
  }, true);
  DrawButtonStrip("button_open.bmp", T, panel, [](QPainter& p, const QRectF& r, const QColor& c) {
    Fill(p, c);
    QPolygonF up;
    up << QPointF(r.x() + 12, r.y() + 6) << QPointF(r.x() + 17.5, r.y() + 12.5) << QPointF(r.x() + 6.5, r.y() + 12.5);
    p.drawPolygon(up);
    p.drawRoundedRect(QRectF(r.x() + 6.5, r.y() + 14.5, 11, 2.5), 0.8, 0.8);
  }, true);

  // Playlist window buttons (its bottom bar has the playlist bottom colour).
  auto plBottom = [](int) { return QColor(0x24, 0x27, 0x2c); };
  DrawButtonStrip("button_playlist_add.bmp", T, plBottom, [](QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap));
    QPointF m = r.center();
    p.drawLine(m + QPointF(-5, 0), m + QPointF(5, 0));
    p.drawLine(m + QPointF(0, -5), m + QPointF(0, 5));
  }, false);
  DrawButtonStrip("button_playlist_remove.bmp", T, plBottom, [](QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap));
    QPointF m = r.center();
    p.drawLine(m + QPointF(-5, 0), m + QPointF(5, 0));
  }, false);
  DrawButtonStrip("button_playlist_sort.bmp", T, plBottom, [](QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap));
    QPointF o = r.topLeft();
    p.drawLine(o + QPointF(6, 8), o + QPointF(18, 8));
    p.drawLine(o + QPointF(6, 12), o + QPointF(15, 12));
    p.drawLine(o + QPointF(6, 16), o + QPointF(11, 16));
  }, false);
  DrawButtonStrip("button_playlist_manage.bmp", T, plBottom, [](QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(QPen(c, 1.4));
    p.setBrush(Qt::NoBrush);
    QPointF o = r.topLeft();
    p.drawRoundedRect(QRectF(o.x() + 6.5, o.y() + 6.5, 11, 11), 1.5, 1.5);
    p.drawLine(o + QPointF(9, 10), o + QPointF(15, 10));
    p.drawLine(o + QPointF(9, 13.5), o + QPointF(15, 13.5));
  }, false);
}

void DrawEqualiser() {
  const int w = 331, h = 252;
  QImage img = Blank(w, h, kPanel);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient body(0, 0, 0, h);
  body.setColorAt(0, kBodyTop);
  body.setColorAt(1, kBodyBottom);
  p.fillRect(img.rect(), body);
  p.fillRect(QRect(0, 0, w, 31), kBodyTop);
  p.setPen(QColor(0x14, 0x15, 0x18));
  p.drawLine(0, 30, w, 30);
  // The bands' display: sliders from 64 to 161 (0 dB at their middle), the
  // band label below them; the effects under a thin rule.
  RoundedDisplay(p, QRectF(8.5, 60.5, w - 17, 122), 6);
  p.setPen(QPen(QColor(0x2a, 0x5c, 0x62), 1, Qt::DotLine));
  p.drawLine(QPointF(16, 112.5), QPointF(w - 16, 112.5));
  p.setPen(QColor(0x14, 0x15, 0x18));
  p.drawLine(QPointF(8, 186.5), QPointF(w - 8, 186.5));
  p.setPen(QColor(0x34, 0x37, 0x3e));
  p.drawLine(QPointF(8, 187.5), QPointF(w - 8, 187.5));
  p.end();
  Save(img, "bg_eq.bmp");
}

void DrawPlaylistBars() {
  DrawTop(372, 31, "bg_playlist_top.bmp");
  DrawSide(9, 585, true, "bg_playlist_left.bmp");
  DrawSide(9, 585, false, "bg_playlist_right.bmp");
  QImage img = Blank(372, 43, QColor(0x24, 0x27, 0x2c));
  QPainter p(&img);
  p.setPen(QColor(0x14, 0x15, 0x18));
  p.drawLine(0, 0, 372, 0);
  p.setPen(QColor(0x34, 0x37, 0x3e));
  p.drawLine(0, 1, 372, 1);
  p.end();
  Save(img, "bg_playlist_bottom.bmp");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  g_out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(g_out);

  DrawTop(380, 31, "bg_top.bmp");
  DrawSide(8, 461, true, "bg_left.bmp");
  DrawSide(8, 461, false, "bg_right.bmp");
  DrawBottomBar(380, 8, "bg_bottom.bmp");
  DrawControls();
  DrawControlsVideo();
  DrawProgress();
  DrawButtons();
  DrawEqualiser();
  DrawPlaylistBars();
  return g_ok ? 0 : 1;
}
