// The equaliser window: skinned like the main window and the playlist (no
// system frame, rounded corners, its own background and close button).
#include <QBitmap>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>

#include "app/Forms.h"
#include "app/SkinWidgets.h"

namespace app {

namespace {

std::string Std(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

// Positions on the window, matching the drawing of "bg_eq.bmp".
constexpr int kTopBar = 31;
constexpr int kBandsLeft = 14, kBandsWidth = 303;
constexpr int kSliderTop = 64, kSliderHeight = 97, kSliderWidth = 20;
constexpr int kBandLabelTop = 164;
constexpr int kEffectsTop = 188;

const char* const kEqStyle = R"(
QCheckBox { color: #c9ced6; background: transparent; font: 10px; spacing: 4px; }
QCheckBox:disabled { color: #5a5f68; }
QCheckBox::indicator { width: 11px; height: 11px; border: 1px solid #15171a; border-radius: 3px; background: #2c2f36; }
QCheckBox::indicator:checked { background: #3dd6d0; }
QPushButton { color: #c9ced6; background: #2c2f36; border: 1px solid #15171a; border-radius: 4px; font: bold 9px; padding: 0 4px; }
QPushButton:hover { background: #383c44; border-color: #1b8fa8; }
QPushButton:pressed { background: #17191c; }
QPushButton:disabled { color: #5a5f68; }
QSlider { background: transparent; }
QSlider::groove:vertical { width: 4px; background: #101215; border: 1px solid #0a0b0d; border-radius: 2px; }
QSlider::handle:vertical { height: 8px; margin: 0 -6px; background: #d6dbe2; border: 1px solid #101214; border-radius: 3px; }
QSlider::handle:vertical:disabled { background: #5a5f68; }
QSlider::groove:horizontal { height: 4px; background: #101215; border: 1px solid #0a0b0d; border-radius: 2px; }
QSlider::sub-page:horizontal { background: #1b8fa8; border-radius: 2px; }
QSlider::sub-page:horizontal:disabled { background: #3a3f48; }
QSlider::handle:horizontal { width: 8px; margin: -4px 0; background: #d6dbe2; border: 1px solid #101214; border-radius: 4px; }
QSlider::handle:horizontal:disabled { background: #5a5f68; }
QLabel#LabelTitle { color: #c9ced6; background: transparent; }
QLabel#LabelBands { color: #8d96a3; background: transparent; }
QLabel#LabelEffects { color: #8d96a3; background: transparent; font: 9px; }
)";

}  // namespace

TFormEq::TFormEq(QWidget* parent) : TBaseForm("FormEq", "Equalizer", parent) {
  // Placed by hand over the skin: the base window's layout has no use here.
  delete layout();
  body_->hide();
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setFixedSize(kWidth, kHeight);
  setStyleSheet(kEqStyle);

  background_ = new TSkinImage(this, QColor(36, 38, 44));
  background_->setObjectName("ImageBG");
  background_->SetStretch(false);
  background_->setGeometry(0, 0, kWidth, kHeight);
  background_->setMouseTracking(true);
  background_->onPress = [this](QMouseEvent* e) { DragPress(e); };
  background_->onMove = [this](QMouseEvent* e) {
    if (dragging_) DragMove(e);
    else if (!(e->buttons() & Qt::LeftButton)) close_->PaintButtonState(0);
  };
  background_->onRelease = [this](QMouseEvent*) { dragging_ = false; };

  labelTitle_ = BindLabel("LabelTitle.Caption", "EQUALIZER");
  QFont tf("Tahoma");
  tf.setBold(true);
  tf.setPixelSize(13);
  labelTitle_->setFont(tf);
  labelTitle_->adjustSize();
  labelTitle_->move((kWidth - labelTitle_->width()) / 2, (kTopBar - labelTitle_->height()) / 2);
  labelTitle_->installEventFilter(this);

  close_ = new TImageButton(this, 15, 15);
  close_->setObjectName("ImageClose");
  close_->move(kWidth - 6 - 15, 8);
  close_->setToolTip("Close");
  Bind("ImageClose.Hint", [this] { return Std(close_->toolTip()); },
       [this](const std::string& t) { close_->setToolTip(Q(t)); });
  close_->onHover = [this] { close_->PaintButtonState(1); };
  close_->onPress = [this] { close_->PaintButtonState(2); };
  close_->onRelease = [this] { close_->PaintButtonState(0); };
  close_->onClick = [this] { close(); };

  cbEq_ = BindCheck("cbEq.Caption", "Enable");
  cbEq_->setGeometry(14, 38, 90, 16);
  int right = kWidth - 10;
  const std::pair<const char*, int> buttons[] = {
      {"ButtonReset.Caption", 46}, {"ButtonRandom.Caption", 52}, {"ButtonMin.Caption", 40}, {"ButtonMax.Caption", 40}};
  int x = right - (46 + 52 + 40 + 40 + 3 * 4);
  for (auto [path, w] : buttons) {
    QPushButton* b = BindButton(path, QString(path).section('.', 0, 0).mid(6));
    b->setGeometry(x, 36, w, 19);
    b->setFocusPolicy(Qt::NoFocus);
    bandButtons_.push_back(b);
    x += w + 4;
  }
  QObject::connect(bandButtons_[0], &QPushButton::clicked, this, [this] { SetAllBands(0); });
  QObject::connect(bandButtons_[1], &QPushButton::clicked, this, [this] { RandomBands(); });
  QObject::connect(bandButtons_[2], &QPushButton::clicked, this, [this] { SetAllBands(15); });
  QObject::connect(bandButtons_[3], &QPushButton::clicked, this, [this] { SetAllBands(-15); });

  for (int i = 0; i < 10; ++i) {
    auto* s = new QSlider(Qt::Vertical, this);
    s->setObjectName(QString("TrackBar%1").arg(i + 1));
    s->setRange(-15, 15);
    s->setInvertedAppearance(true);  // -15 at the top: up is louder
    s->setInvertedControls(true);
    s->setPageStep(3);
    sliders_[i] = s;
    QObject::connect(s, &QSlider::valueChanged, this, [this, i](int v) {
      if (onBandChange) onBandChange(i, v);
    });
  }
  labelBands_ = new QLabel(kBandText, this);
  labelBands_->setObjectName("LabelBands");
  PlaceBands();

  auto* effects = new QLabel("Effects", this);
  effects->setObjectName("LabelEffects");
  effects->move(14, kEffectsTop - 2);
  effects->adjustSize();
  Bind("gbEffects.Caption", [effects] { return Std(effects->text()); },
       [effects](const std::string& t) {
         effects->setText(Q(t));
         effects->adjustSize();
       });
  auto level = [this](int lo, int hi, int start) {
    auto* t = new QSlider(Qt::Horizontal, this);
    t->setRange(lo, hi);
    t->setValue(start);
    t->setFocusPolicy(Qt::NoFocus);
    return t;
  };
  trackFlanger_ = level(0, 32, 16);
  trackFlanger_->setObjectName("TrackBarFlanger");
  trackEcho_ = level(0, 32, 16);
  trackEcho_->setObjectName("TrackBarEcho");
  trackReverb_ = level(0, 32, 16);
  trackReverb_->setObjectName("TrackBarReverb");
  trackSpeed_ = level(100, 100000, 44100);
  trackSpeed_->setObjectName("TrackBarSpeed");
  trackSpeed_->setPageStep(1000);
  const char* names[] = {"cbFlanger.Caption", "cbEcho.Caption", "cbReverb.Caption", "cbRotate.Caption",
                         "cbSpeed.Caption"};
  const uint32_t bits[] = {kFlanger, kEcho, kReverb, kRotate, kSpeed};
  QSlider* tracks[] = {trackFlanger_, trackEcho_, trackReverb_, nullptr, trackSpeed_};
  // Two columns: flanger, echo and reverb on the left; rotate and speed on the right.
  const QPoint places[] = {{14, kEffectsTop + 12}, {14, kEffectsTop + 28}, {14, kEffectsTop + 44},
                           {172, kEffectsTop + 12}, {172, kEffectsTop + 28}};
  for (int k = 0; k < 5; ++k) {
    fxBoxes_[k] = BindCheck(names[k], QString(names[k]).section('.', 0, 0).mid(2));
    fxBoxes_[k]->setGeometry(places[k].x(), places[k].y(), 70, 15);
    if (tracks[k]) tracks[k]->setGeometry(places[k].x() + 72, places[k].y(), 72, 15);
    uint32_t bit = bits[k];
    QObject::connect(fxBoxes_[k], &QCheckBox::toggled, this, [this, bit](bool on) {
      UpdateEnabled();
      if (!quiet_ && onSwitch) onSwitch(bit, on);
    });
    if (tracks[k])
      QObject::connect(tracks[k], &QSlider::valueChanged, this, [this, bit](int v) {
        if (!quiet_ && onLevel) onLevel(bit, v);
      });
  }
  QObject::connect(cbEq_, &QCheckBox::toggled, this, [this](bool on) {
    UpdateEnabled();
    if (!quiet_ && onSwitch) onSwitch(kEqualiser, on);
  });
  UpdateEnabled();
  ApplyShape();
}

// The band label sets the sliders' places: each slider stands over its
// frequency, whatever font the desktop gives the label.
void TFormEq::PlaceBands() {
  QFont f("DejaVu Sans");
  int px = 10;
  f.setPixelSize(px);
  const QString text = QString::fromLatin1(kBandText);
  while (px > 6 && QFontMetrics(f).horizontalAdvance(text) > kBandsWidth) f.setPixelSize(--px);
  labelBands_->setFont(f);
  labelBands_->adjustSize();
  const QFontMetrics fm(f);
  const int left = kBandsLeft + std::max(0, (kBandsWidth - fm.horizontalAdvance(text)) / 2);
  labelBands_->move(left, kBandLabelTop);
  int band = 0;
  for (int i = 0; i < text.size() && band < 10;) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    int j = i;
    while (j < text.size() && text[j] != ' ') ++j;
    const int centre = left + fm.horizontalAdvance(text.left(i)) + fm.horizontalAdvance(text.mid(i, j - i)) / 2;
    sliders_[band++]->setGeometry(centre - kSliderWidth / 2, kSliderTop, kSliderWidth, kSliderHeight);
    i = j;
  }
}

void TFormEq::ApplyShape() {
  QBitmap mask(size());
  mask.fill(Qt::color0);
  QPainter p(&mask);
  p.setBrush(Qt::color1);
  p.setPen(Qt::color1);
  p.drawRoundedRect(QRect(0, 0, width() - 1, height() - 1), 6, 6);  // 12 x 12 corners
  p.end();
  setMask(mask);
}

void TFormEq::LoadSkin(const std::string& skinFolder) {
  skinFolder_ = skinFolder;
  if (skinFolder_.empty()) return;
  if (!skinFolder_.ends_with('/')) skinFolder_ += '/';
  QImage bg = LoadSkinBitmap(skinFolder_ + "bg_eq.bmp");
  if (!bg.isNull()) background_->SetImage(bg);
  QImage strip = LoadSkinBitmap(skinFolder_ + "button_close.bmp");
  if (!strip.isNull()) close_->SetStrip(strip);
}

void TFormEq::showEvent(QShowEvent* e) {
  TBaseForm::showEvent(e);
  ApplyShape();
  // A skin replaced while the program runs shows at the next showing.
  if (!skinFolder_.empty()) LoadSkin(skinFolder_);
  close_->PaintButtonState(0);
}

void TFormEq::resizeEvent(QResizeEvent* e) {
  TBaseForm::resizeEvent(e);
  background_->setGeometry(0, 0, width(), height());
  ApplyShape();
}

void TFormEq::DragPress(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  dragging_ = true;
  dragOffset_ = e->globalPosition().toPoint() - pos();
}

void TFormEq::DragMove(QMouseEvent* e) {
  if (!(e->buttons() & Qt::LeftButton)) {
    dragging_ = false;
    return;
  }
  move(e->globalPosition().toPoint() - dragOffset_);
}

bool TFormEq::eventFilter(QObject* watched, QEvent* e) {
  // The title drags the window like the background.
  if (watched == labelTitle_) {
    if (e->type() == QEvent::MouseButtonPress) DragPress(static_cast<QMouseEvent*>(e));
    else if (e->type() == QEvent::MouseMove && dragging_) DragMove(static_cast<QMouseEvent*>(e));
    else if (e->type() == QEvent::MouseButtonRelease) dragging_ = false;
  }
  return TBaseForm::eventFilter(watched, e);
}

void TFormEq::UpdateEnabled() {
  bool eq = cbEq_->isChecked();
  for (QSlider* s : sliders_) s->setEnabled(eq);
  for (QPushButton* b : bandButtons_) b->setEnabled(eq);
  trackFlanger_->setEnabled(fxBoxes_[0]->isChecked());
  trackEcho_->setEnabled(fxBoxes_[1]->isChecked());
  trackReverb_->setEnabled(fxBoxes_[2]->isChecked());
  trackSpeed_->setEnabled(fxBoxes_[4]->isChecked());
}

void TFormEq::SetSwitches(uint32_t switches) {
  quiet_ = true;
  cbEq_->setChecked(switches & kEqualiser);
  const uint32_t bits[] = {kFlanger, kEcho, kReverb, kRotate, kSpeed};
  for (int k = 0; k < 5; ++k) fxBoxes_[k]->setChecked(switches & bits[k]);
  quiet_ = false;
  UpdateEnabled();
}

uint32_t TFormEq::Switches() const {
  uint32_t out = cbEq_->isChecked() ? uint32_t(kEqualiser) : 0u;
  const uint32_t bits[] = {kFlanger, kEcho, kReverb, kRotate, kSpeed};
  for (int k = 0; k < 5; ++k)
    if (fxBoxes_[k]->isChecked()) out |= bits[k];
  return out;
}

QSlider* TFormEq::LevelSlider(uint32_t which) const {
  switch (which) {
    case kFlanger: return trackFlanger_;
    case kEcho: return trackEcho_;
    case kReverb: return trackReverb_;
    case kSpeed: return trackSpeed_;
    default: return nullptr;
  }
}

void TFormEq::ApplyAllBands() {
  if (!onBandChange) return;
  for (int i = 0; i < 10; ++i) onBandChange(i, sliders_[i]->value());
}

void TFormEq::SetAllBands(int position) {
  quiet_ = true;
  for (QSlider* s : sliders_) {
    QSignalBlocker block(s);
    s->setValue(position);
  }
  quiet_ = false;
  ApplyAllBands();
}

void TFormEq::RandomBands() {
  for (QSlider* s : sliders_) {
    QSignalBlocker block(s);
    s->setValue(QRandomGenerator::global()->bounded(30) - 15);
  }
  ApplyAllBands();
}

int TFormEq::SetBand(int band, int value) {
  sliders_[band]->setValue(value);
  return sliders_[band]->value();
}

int TFormEq::Band(int band) const { return sliders_[band]->value(); }

}  // namespace app
