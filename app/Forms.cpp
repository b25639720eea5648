#include "app/Forms.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QLineEdit>
#include <QShowEvent>
#include <QCloseEvent>
#include <QGroupBox>
#include <QSignalBlocker>
#include <QRandomGenerator>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>

#include "playlist/Extensions.h"


namespace app {

namespace {
std::string Std(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

TBaseForm::TBaseForm(std::string name, const QString& caption, QWidget* parent)
    : QWidget(parent, Qt::Window), name_(std::move(name)) {
  setWindowTitle(caption);
  setObjectName(Q(name_));
  Bind("Caption", [this] { return Std(windowTitle()); }, [this](const std::string& t) { setWindowTitle(Q(t)); });
  auto* layout = new QVBoxLayout(this);
  body_ = new QWidget(this);
  body_->setLayout(new QVBoxLayout);
  layout->addWidget(body_, 1);
}

QPushButton* TBaseForm::BindButton(const std::string& path, const QString& caption) {
  auto* b = new QPushButton(caption, this);
  b->setObjectName(Q(path.substr(0, path.find('.'))));
  Bind(path, [b] { return Std(b->text()); }, [b](const std::string& t) { b->setText(Q(t)); });
  return b;
}

QLabel* TBaseForm::BindLabel(const std::string& path, const QString& caption) {
  auto* l = new QLabel(caption, this);
  l->setObjectName(Q(path.substr(0, path.find('.'))));
  Bind(path, [l] { return Std(l->text()); }, [l](const std::string& t) { l->setText(Q(t)); });
  return l;
}

QCheckBox* TBaseForm::BindCheck(const std::string& path, const QString& caption) {
  auto* c = new QCheckBox(caption, this);
  c->setObjectName(Q(path.substr(0, path.find('.'))));
  Bind(path, [c] { return Std(c->text()); }, [c](const std::string& t) { c->setText(Q(t)); });
  return c;
}

QPushButton* TBaseForm::AddCloseButton(const std::string& path, const QString& caption) {
  QPushButton* b = BindButton(path, caption);
  QObject::connect(b, &QPushButton::clicked, this, [this] { close(); });
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(b);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);
  return b;
}

void TBaseForm::StoreTexts(const std::vector<std::string>& paths) {
  for (const auto& p : paths) BindStored(p);
}

void TBaseForm::closeEvent(QCloseEvent* e) {
  QWidget::closeEvent(e);
  if (e->isAccepted() && onClosed) onClosed();
}

// ---------------------------------------------------------------------------

TFormEq::TFormEq(QWidget* parent) : TBaseForm("FormEq", "Equalizer", parent) {
  resize(331, 252);
  StoreTexts({"ImageClose.Hint"});
  labelTitle_ = BindLabel("LabelTitle.Caption", "EQUALIZER");
  labelTitle_->setParent(this);
  auto* top = new QHBoxLayout;
  cbEq_ = BindCheck("cbEq.Caption", "Enable");
  top->addWidget(cbEq_);
  top->addStretch(1);
  for (const char* b : {"ButtonReset.Caption", "ButtonRandom.Caption", "ButtonMin.Caption", "ButtonMax.Caption"}) {
    QPushButton* button = BindButton(b, QString(b).section('.', 0, 0).mid(6));
    bandButtons_.push_back(button);
    top->addWidget(button);
  }
  QObject::connect(bandButtons_[0], &QPushButton::clicked, this, [this] { SetAllBands(0); });
  QObject::connect(bandButtons_[1], &QPushButton::clicked, this, [this] { RandomBands(); });
  QObject::connect(bandButtons_[2], &QPushButton::clicked, this, [this] { SetAllBands(15); });
  QObject::connect(bandButtons_[3], &QPushButton::clicked, this, [this] { SetAllBands(-15); });
  static_cast<QVBoxLayout*>(body_->layout())->addLayout(top);
  auto* bands = new QHBoxLayout;
  for (int i = 0; i < 10; ++i) {
    auto* s = new QSlider(Qt::Vertical, body_);
    s->setRange(-15, 15);
    s->setInvertedAppearance(true);  // -15 at the top: up is louder
    sliders_[i] = s;
    bands->addWidget(s);
    QObject::connect(s, &QSlider::valueChanged, this, [this, i](int v) {
      if (onBandChange) onBandChange(i, v);
    });
  }
  static_cast<QVBoxLayout*>(body_->layout())->addLayout(bands);
  auto* effects = new QGroupBox("Effects", body_);
  Bind("gbEffects.Caption", [effects] { return Std(effects->title()); },
       [effects](const std::string& t) { effects->setTitle(Q(t)); });
  auto* fx = new QGridLayout(effects);
  auto level = [this, effects](int lo, int hi, int start) {
    auto* t = new QSlider(Qt::Horizontal, effects);
    t->setRange(lo, hi);
    t->setValue(start);
    return t;
  };
  trackFlanger_ = level(0, 32, 16);
  trackEcho_ = level(0, 32, 16);
  trackReverb_ = level(0, 32, 16);
  trackSpeed_ = level(100, 100000, 44100);
  const char* names[] = {"cbFlanger.Caption", "cbEcho.Caption", "cbReverb.Caption", "cbRotate.Caption",
                         "cbSpeed.Caption"};
  const uint32_t bits[] = {kFlanger, kEcho, kReverb, kRotate, kSpeed};
  QSlider* tracks[] = {trackFlanger_, trackEcho_, trackReverb_, nullptr, trackSpeed_};
  for (int k = 0; k < 5; ++k) {
    fxBoxes_[k] = BindCheck(names[k], QString(names[k]).section('.', 0, 0).mid(2));
    fx->addWidget(fxBoxes_[k], k, 0);
    if (tracks[k]) fx->addWidget(tracks[k], k, 1);
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
  body_->layout()->addWidget(effects);
  UpdateEnabled();
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

// ---------------------------------------------------------------------------

TFormStatus::TFormStatus(QWidget* parent) : TBaseForm("FormStatus", "Status Information", parent) {
  resize(420, 360);
  memo_ = new QPlainTextEdit(body_);
  memo_->setReadOnly(true);
  body_->layout()->addWidget(memo_);
  AddCloseButton("ButtonClose.Caption", "Close");
}

void TFormStatus::AddLine(const std::string& line) {
  lines_.push_back(line);
  memo_->appendPlainText(Q(line));
}

TFormUrl::TFormUrl(QWidget* parent) : TBaseForm("FormUrl", "Input URL", parent) {
  combo_ = new QComboBox(body_);
  combo_->setObjectName("ComboBox1");
  combo_->setEditable(true);
  combo_->setFixedWidth(355);
  QFont font("Arial");
  font.setPixelSize(12);
  combo_->setFont(font);
  body_->layout()->addWidget(combo_);
  QPushButton* open = AddCloseButton("ButtonOpen.Caption", "Open");
  // Confirm before the button's close: the window is closed in every case.
  QObject::disconnect(open, &QPushButton::clicked, this, nullptr);
  QObject::connect(open, &QPushButton::clicked, this, [this] {
    Confirm();
    close();
  });
  QObject::connect(combo_->lineEdit(), &QLineEdit::returnPressed, open, &QPushButton::click);
}

void TFormUrl::showEvent(QShowEvent* e) {
  Reset();
  TBaseForm::showEvent(e);
}

void TFormUrl::Reset() { confirmed_ = false; }

std::string TFormUrl::Address() const { return MakeAddress(Std(combo_->currentText().trimmed())); }

void TFormUrl::Confirm() {
  std::string text = Std(combo_->currentText().trimmed());
  if (text.empty()) return;
  confirmed_ = true;
  // Keep the address at hand for the next prompt.
  QString address = Q(MakeAddress(text));
  if (combo_->findText(address) < 0) combo_->insertItem(0, address);
}

std::string TFormUrl::MakeAddress(const std::string& text) {
  if (text.empty() || playlist::IsStreamAddress(text)) return text;
  if (text.size() >= 2 && text[0] == '/' && text[1] == '/') return "http:" + text;
  if (text[0] == '/') return "http:/" + text;
  return "http://" + text;
}

void TFormStatus::AppendToLast(const std::string& text) {
  if (lines_.empty()) {
    AddLine(text);
    return;
  }
  lines_.back() += text;
  memo_->moveCursor(QTextCursor::End);
  memo_->insertPlainText(Q(text));
}

void TFormStatus::Clear() {
  lines_.clear();
  memo_->clear();
}

std::vector<std::string> TFormStatus::Lines() const { return lines_; }

// ---------------------------------------------------------------------------

TVisControlForm::TVisControlForm(QWidget* parent)
    : TBaseForm("VisControlForm", "Winamp Visualization plug-in control", parent) {
  StoreTexts({"lbl_Detected.Caption", "lbl_Description.Caption", "lbl_Modules.Caption", "lbl_VisScale.Caption",
              "btnConfigure.Caption", "btnStart.Caption", "btnStop.Caption"});
  cbUseWinampLook_ =
      BindCheck("cbUseWinampLook.Caption", "Use Winamp-like visualization window (effective for Winamp 5 plug-in only)");
  body_->layout()->addWidget(cbUseWinampLook_);
  AddCloseButton("btnClose.Caption", "Close");
}

}  // namespace app
