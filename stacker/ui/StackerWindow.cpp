#include "stacker/ui/StackerWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

#include "stacker/Texts.h"
#include "stacker/ui/StackerDialogs.h"

namespace pilvo {

extern const unsigned char kSkinPng[];
extern const size_t kSkinPngSize;

namespace {

MessageSink& Sink() {
  static MessageSink sink;
  return sink;
}

constexpr int kRowTop = 22, kRowHeight = 13, kListLeft = 11, kListRight = 255;

struct TButtonPlace {
  int x, y, w, h, pressedX;
};
constexpr TButtonPlace kPlaces[] = {
    {11, 86, 23, 18, 19},  {34, 86, 23, 18, 42},   {57, 86, 23, 18, 65},   {80, 86, 23, 18, 88},
    {103, 86, 23, 18, 111}, {208, 86, 23, 18, 134}, {231, 86, 23, 18, 157}, {143, 86, 47, 15, 180},
    {264, 3, 9, 9, 1},
};

// The host's main window: the program's first visible top-level window.
QWidget* FindHost(QWidget* self) {
  QWidget* best = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w == self || !w->isWindow() || w->windowType() == Qt::ToolTip || w->windowType() == Qt::Popup) continue;
    if (w->objectName() == "Form1" || w->objectName() == "TForm1") return w;
    if (!best && w->isVisible()) best = w;
  }
  return best;
}

}  // namespace

const QImage& Skin() {
  static const QImage skin = QImage::fromData(kSkinPng, int(kSkinPngSize), "PNG").convertToFormat(QImage::Format_RGB32);
  return skin;
}

void SetMessageSink(MessageSink sink) { Sink() = std::move(sink); }

void ShowStackerMessage(QMessageBox::Icon icon, const QString& text) {
  QString caption = QString::fromUtf8(kProductTitle);
  if (Sink()) {
    Sink()(icon, caption, text);
    return;
  }
  QMessageBox box(icon, caption, text, QMessageBox::Ok);
  box.exec();
}

TStackerWindow::TStackerWindow(TStacker* stacker, TDescriptionCache* cache, QWidget* host)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint), stacker_(stacker), cache_(cache) {
  setWindowTitle(QString::fromUtf8(kProductTitle));
  setObjectName("Pilvo2Class");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setFixedSize(kWidth, kFullHeight);
  setCursor(Qt::ArrowCursor);
  host_ = host ? host : FindHost(this);
  if (host_) {
    // Owned by the host's window: it stays above it and goes with it.
    setParent(host_, windowFlags());
    hostPos_ = host_->pos();
    host_->installEventFilter(this);
  }
  stacker_->OnChanged = [this] { update(); };
  chooseChainFile = [this](bool save) {
    QFileDialog dialog(this, QString(), QString::fromStdString(stacker_->Opts().PluginFolder),
                       QStringLiteral("Pilvo2settings (*.plv)"));
    dialog.setDefaultSuffix(QStringLiteral("plv"));
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (save) {
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
    } else {
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
  };
}

TStackerWindow::~TStackerWindow() {
  if (host_) host_->removeEventFilter(this);
  stacker_->OnChanged = nullptr;
}

void TStackerWindow::ApplySettings(TWindowSettings s) {
  QRect desk(0, 0, 1024, 768);
  if (QScreen* screen = QGuiApplication::primaryScreen()) desk = screen->availableGeometry();
  if (!s.HasPosition) {
    // No saved place: centred on the desktop.
    s.Left = desk.left() + (desk.width() - kWidth) / 2;
    s.Top = desk.top() + (desk.height() - kFullHeight) / 2;
  }
  ClampToDesktop(s, TRect{desk.left(), desk.top(), desk.right() + 1, desk.bottom() + 1});
  move(s.Left, s.Top);
  docked_ = s.Docked;
  if (s.Shade == 1) SetShade(true);
}

TWindowSettings TStackerWindow::CurrentSettings() const {
  TWindowSettings s;
  s.HasPosition = true;
  s.Left = pos().x();
  s.Top = pos().y();
  s.Shade = shade_ ? 1 : 0;
  s.Docked = docked_;
  return s;
}

void TStackerWindow::SaveAndUnload() {
  if (saved_) return;
  saved_ = true;
  TWindowSettings s = CurrentSettings();
  std::string text = FormatChainText(stacker_->UnloadAll());
  WriteSettings(SettingsPath(stacker_->Opts().PluginFolder), &s, text);
}

void TStackerWindow::closeEvent(QCloseEvent* e) {
  SaveAndUnload();
  e->accept();
}

void TStackerWindow::SetShade(bool shade) {
  if (shade == shade_) return;
  shade_ = shade;
  // Docked above the host, the bottom edge stays on the host.
  if (docked_ == 1) move(x(), y() + (shade ? 102 : -102));
  setFixedSize(kWidth, shade ? kShadeHeight : kFullHeight);
  update();
}

QRect TStackerWindow::ButtonRect(Button b) const {
  const TButtonPlace& p = kPlaces[b];
  return QRect(p.x, p.y, p.w, p.h);
}

TStackerWindow::Button TStackerWindow::ButtonAt(QPoint p) const {
  if (shade_) return ButtonRect(kShade).contains(p) ? kShade : kNone;
  for (int b = 0; b < kButtons; ++b)
    if (ButtonRect(Button(b)).contains(p)) return Button(b);
  return kNone;
}

void TStackerWindow::Perform(Button b) {
  switch (b) {
    case kAdd: ShowAddDialog(); break;
    case kRemove: stacker_->RemoveChainEntry(); break;
    case kConfigure: stacker_->ConfigureEntry(); break;
    case kDown: stacker_->MoveEntryDown(); break;
    case kUp: stacker_->MoveEntryUp(); break;
    case kLoad: LoadChainFile(); break;
    case kSave: SaveChainFile(); break;
    case kAbout: ShowAboutDialog(); break;
    case kShade: SetShade(!shade_); break;
    default: break;
  }
  update();
}

void TStackerWindow::ShowAddDialog() {
  TAddDialog dialog(stacker_, cache_, this);
  dialog.exec();
}

void TStackerWindow::ShowAboutDialog() {
  TAboutDialog dialog(this);
  dialog.exec();
}

void TStackerWindow::LoadChainFile() {
  QString path = chooseChainFile ? chooseChainFile(false) : QString();
  if (path.isEmpty()) return;
  stacker_->UnloadAll();
  stacker_->LoadChainText(ReadChainFile(path.toStdString()));
}

void TStackerWindow::SaveChainFile() {
  QString path = chooseChainFile ? chooseChainFile(true) : QString();
  if (path.isEmpty()) return;
  WriteChainFile(ChainFileName(path.toStdString()), FormatChainText(stacker_->Pieces()));
}

void TStackerWindow::paintEvent(QPaintEvent*) {
  const QImage& skin = Skin();
  QPainter p(this);
  bool focused = isActiveWindow();
  if (shade_) {
    p.drawImage(QPoint(0, 0), skin, QRect(0, focused ? 128 : 142, kWidth, kShadeHeight));
    if (held_ == kShade && heldInside_) p.drawImage(QPoint(264, 3), skin, QRect(10, 156, 9, 9));
    return;
  }
  // The list area is composed off-screen, then copied.
  QImage area(kWidth, kFullHeight - 12, QImage::Format_RGB32);
  {
    QPainter a(&area);
    a.drawImage(QPoint(0, 0), skin, QRect(0, 12, kWidth, kFullHeight - 12));
    const QColor row = skin.pixelColor(13, 21), selected = skin.pixelColor(270, 156), text = skin.pixelColor(266, 156);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    a.setFont(font);
    for (int r = 0; r < TStacker::kRows; ++r) {
      int index = stacker_->FirstVisible() + r;
      QRect rowRect(kListLeft, kRowTop + r * kRowHeight - 12, kListRight - kListLeft + 1, kRowHeight);
      const TChainEntry* e = stacker_->Entry(index);
      a.fillRect(rowRect, e && index == stacker_->Selected() ? selected : row);
      if (!e) continue;
      a.drawImage(QPoint(16, rowRect.top() + 1), skin, QRect(e->Enabled.load() ? 255 : 243, 156, 11, 11));
      a.setPen(text);
      a.setClipRect(rowRect.adjusted(32 - kListLeft, 0, 0, 0));
      a.drawText(QRect(32, rowRect.top(), kListRight - 32, kRowHeight), Qt::AlignVCenter | Qt::AlignLeft,
                 QString::fromUtf8(e->Description()));
      a.setClipping(false);
    }
    a.drawImage(QPoint(260, 18 - 12), skin, QRect(275, 18, 8, 61));
    a.drawImage(QPoint(260, 20 + stacker_->ThumbOffset() - 12), skin, QRect(thumbDrag_ ? 235 : 227, 156, 8, 18));
    if (held_ != kNone && held_ != kShade && heldInside_) {
      const TButtonPlace& b = kPlaces[held_];
      a.drawImage(QPoint(b.x, b.y - 12), skin, QRect(b.pressedX, 156, b.w, b.h));
    }
  }
  p.drawImage(QPoint(0, 0), skin, QRect(0, focused ? 0 : 116, kWidth, 12));
  if (held_ == kShade && heldInside_) p.drawImage(QPoint(264, 3), skin, QRect(1, 156, 9, 9));
  p.drawImage(QPoint(0, 12), area);
}

void TStackerWindow::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  QPoint pt = e->position().toPoint();
  Button b = ButtonAt(pt);
  if (b != kNone) {
    held_ = b;
    heldInside_ = true;
    update();
    return;
  }
  if (pt.y() <= 14 || shade_) {
    dragging_ = true;
    dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
    return;
  }
  if (pt.x() >= 11 && pt.x() <= 255 && pt.y() >= 22 && pt.y() <= 74) {
    int row = stacker_->FirstVisible() + (std::clamp(pt.y(), 22, 73) - kRowTop) / kRowHeight;
    if (stacker_->Count() == 0) return;
    stacker_->SelectRow(row);
    if (pt.x() >= 16 && pt.x() <= 27 && row < stacker_->Count()) stacker_->ToggleEntry();
    listDrag_ = true;
    return;
  }
  if (pt.x() >= 260 && pt.x() <= 268 && pt.y() >= 20 && pt.y() <= 77) {
    thumbDrag_ = true;
    stacker_->ScrollToThumb(pt.y());
    return;
  }
  if (pt.x() >= 258 && pt.x() <= 270 && pt.y() >= 79 && pt.y() < 85) stacker_->ScrollUp();
  else if (pt.x() >= 258 && pt.x() <= 270 && pt.y() >= 85 && pt.y() <= 91) stacker_->ScrollDown();
}

void TStackerWindow::mouseMoveEvent(QMouseEvent* e) {
  QPoint pt = e->position().toPoint();
  if (held_ != kNone) {
    bool inside = ButtonRect(held_).contains(pt);
    if (inside != heldInside_) {
      heldInside_ = inside;
      update();
    }
    return;
  }
  if (dragging_) {
    QPoint to = e->globalPosition().toPoint() - dragOffset_;
    move(to);
    if (host_) {
      QPoint docked;
      docked_ = DockSide(frameGeometry(), host_->frameGeometry(), &docked);
      if (docked_) move(docked);
      hostPos_ = host_->pos();
    }
    return;
  }
  if (listDrag_) {
    stacker_->SelectRow(stacker_->FirstVisible() + (std::clamp(pt.y(), 22, 73) - kRowTop) / kRowHeight);
    return;
  }
  if (thumbDrag_) stacker_->ScrollToThumb(pt.y());
}

void TStackerWindow::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  Button b = held_;
  bool inside = heldInside_ && ButtonRect(b).contains(e->position().toPoint());
  held_ = kNone;
  heldInside_ = false;
  dragging_ = listDrag_ = false;
  bool wasThumb = thumbDrag_;
  thumbDrag_ = false;
  if (b != kNone && inside) Perform(b);
  if (b != kNone || wasThumb) update();
}

void TStackerWindow::mouseDoubleClickEvent(QMouseEvent* e) {
  QPoint pt = e->position().toPoint();
  if (pt.y() <= 14 && pt.x() <= 263) {
    SetShade(!shade_);
    return;
  }
  if (shade_ || !(pt.x() >= 11 && pt.x() <= 255 && pt.y() >= 22 && pt.y() <= 74) || stacker_->Count() == 0) return;
  int row = stacker_->FirstVisible() + (std::clamp(pt.y(), 22, 73) - kRowTop) / kRowHeight;
  if (row >= stacker_->Count()) {
    stacker_->SelectRow(row);  // below the last entry: selects it, nothing else
    return;
  }
  stacker_->SelectRow(row);
  if (pt.x() >= 16 && pt.x() <= 27) stacker_->ToggleEntry();
  else stacker_->ConfigureEntry();
}

void TStackerWindow::keyPressEvent(QKeyEvent* e) {
  const bool ctrl = e->modifiers() & Qt::ControlModifier, alt = e->modifiers() & Qt::AltModifier;
  switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Insert: ShowAddDialog(); break;
    case Qt::Key_Minus:
    case Qt::Key_Delete: stacker_->RemoveChainEntry(); break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_C: stacker_->ConfigureEntry(); break;
    case Qt::Key_Space: stacker_->ToggleEntry(); break;
    case Qt::Key_L: LoadChainFile(); break;
    case Qt::Key_S: SaveChainFile(); break;
    case Qt::Key_R: stacker_->ReloadEntry(); break;
    case Qt::Key_F1:
    case Qt::Key_Question: ShowAboutDialog(); break;
    case Qt::Key_Up:
      if (alt) stacker_->MoveEntryUp();
      else if (ctrl) stacker_->ScrollUp();
      else stacker_->SelectPrevious();
      break;
    case Qt::Key_Down:
      if (alt) stacker_->MoveEntryDown();
      else if (ctrl) stacker_->ScrollDown();
      else stacker_->SelectNext();
      break;
    case Qt::Key_Home: stacker_->SelectFirst(); break;
    case Qt::Key_End: stacker_->SelectLast(); break;
    case Qt::Key_PageUp: stacker_->PageUp(); break;
    case Qt::Key_PageDown: stacker_->PageDown(); break;
    default: QWidget::keyPressEvent(e); return;
  }
  update();
}

void TStackerWindow::changeEvent(QEvent* e) {
  if (e->type() == QEvent::ActivationChange) update();
  QWidget::changeEvent(e);
}

int TStackerWindow::DockSide(const QRect& w, const QRect& h, QPoint* docked) {
  // Edges as coordinates: right and bottom one past the last pixel.
  const int wl = w.left(), wt = w.top(), wr = w.left() + w.width(), wb = w.top() + w.height();
  const int hl = h.left(), ht = h.top(), hr = h.left() + h.width(), hb = h.top() + h.height();
  QPoint at = w.topLeft();
  int side = 0;
  if (std::abs(wt - hb) <= 10) {
    side = 3;
    at = QPoint(hl, hb);
  } else if (std::abs(wb - ht) <= 10) {
    side = 1;
    at = QPoint(hl, ht - w.height());
  } else if (std::abs(wr - hl) <= 10) {
    side = 4;
    at = QPoint(hl - w.width(), ht);
  } else if (std::abs(wl - hr) <= 10) {
    side = 2;
    at = QPoint(hr, ht);
  }
  if (docked) *docked = at;
  return side;
}

void TStackerWindow::PlaceAgainstHost() {
  if (!host_ || !docked_) return;
  QRect h = host_->frameGeometry();
  switch (docked_) {
    case 1: move(h.left(), h.top() - height()); break;
    case 2: move(h.left() + h.width(), h.top()); break;
    case 3: move(h.left(), h.top() + h.height()); break;
    case 4: move(h.left() - width(), h.top()); break;
  }
}

bool TStackerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == host_) {
    if (event->type() == QEvent::Move) {
      QPoint now = host_->pos();
      if (docked_) move(pos() + (now - hostPos_));
      hostPos_ = now;
    } else if (event->type() == QEvent::Resize) {
      PlaceAgainstHost();
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace pilvo
