#include "app/Forms.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "app/PlayableExtensions.h"

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

TFormPL::TFormPL(QWidget* parent) : TBaseForm("FormPL", "Playlist Editor", parent) {
  resize(372, 659);
  labelTitle_ = BindLabel("LabelTitle.Caption", "PLAYLIST");
  labelTitle_->setParent(this);
  list_ = new QListWidget(body_);
  body_->layout()->addWidget(list_);
  labelFiles_ = new QLabel(body_);
  body_->layout()->addWidget(labelFiles_);
  StoreTexts({"ListView1.Column[0].Caption", "ListView1.Column[1].Caption", "ImageClose.Hint", "ImageAdd.Hint",
              "ImageRemove.Hint", "ImageSort.Hint", "ImagePlaylist.Hint", "PMPlay.Caption", "PMRemove.Caption",
              "PMFileInfo.Caption", "PMAddFiles.Caption", "PMAddFolder.Caption", "PMAddUrl.Caption",
              "PMRemoveSelected.Caption", "PMRemoveAll.Caption", "PMSortTitle.Caption", "PMSortFilename.Caption",
              "PMSortPath.Caption", "PMOpenPlaylist.Caption", "PMSavePlaylist.Caption", "PMImportPlaylist.Caption",
              "OpenDialog1.Filter", "SaveDialog1.Filter", "OpenDialogImport.Filter", "StringNotFound",
              "StringFiles"});
  UpdateCounters();
}

void TFormPL::AddFile(const std::string& file) {
  if (!IsPlayableFile(file) && !IsStreamAddress(file)) return;
  std::string title = file;
  if (!IsStreamAddress(file)) {
    size_t slash = title.find_last_of('/');
    if (slash != std::string::npos) title = title.substr(slash + 1);
    size_t dot = title.find_last_of('.');
    if (dot != std::string::npos && dot > 0) title = title.substr(0, dot);
  }
  entries_.push_back({title, file, ""});
  Refill();
}

bool TFormPL::LoadPlaylist(const std::string& path) {
  loaded_.push_back(path);
  QFile f(Q(path));
  if (!f.open(QIODevice::ReadOnly)) return false;
  entries_.clear();
  while (!f.atEnd()) {
    QString line = QString::fromUtf8(f.readLine()).trimmed();
    if (line.isEmpty()) continue;  // an empty line gives nothing to play
    QStringList fields = line.split('|');
    Entry e;
    e.title = Std(fields.value(0));
    e.file = Std(fields.value(1));
    e.time = Std(fields.value(2));
    if (!e.file.empty()) entries_.push_back(e);
  }
  Refill();
  return true;
}

void TFormPL::Refill() {
  list_->clear();
  int n = 1;
  for (const auto& e : entries_) list_->addItem(QString("%1. %2").arg(n++).arg(Q(e.title)));
  UpdateCounters();
}

void TFormPL::UpdateCounters() {
  labelFiles_->setText(Q(Text("StringFiles")) + QString::number(entries_.size()));
}

// ---------------------------------------------------------------------------

TFormEq::TFormEq(QWidget* parent) : TBaseForm("FormEq", "Equalizer", parent) {
  resize(331, 252);
  StoreTexts({"ImageClose.Hint"});
  labelTitle_ = BindLabel("LabelTitle.Caption", "EQUALIZER");
  labelTitle_->setParent(this);
  auto* top = new QHBoxLayout;
  top->addWidget(BindCheck("cbEq.Caption", "Enable"));
  top->addStretch(1);
  for (const char* b : {"ButtonReset.Caption", "ButtonRandom.Caption", "ButtonMin.Caption", "ButtonMax.Caption"})
    top->addWidget(BindButton(b, QString(b).section('.', 0, 0).mid(6)));
  static_cast<QVBoxLayout*>(body_->layout())->addLayout(top);
  auto* bands = new QHBoxLayout;
  for (int i = 0; i < 10; ++i) {
    auto* s = new QSlider(Qt::Vertical, body_);
    s->setRange(-15, 15);
    s->setInvertedAppearance(false);
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
  auto* fx = new QHBoxLayout(effects);
  for (const char* c : {"cbFlanger.Caption", "cbEcho.Caption", "cbReverb.Caption", "cbRotate.Caption",
                        "cbSpeed.Caption"})
    fx->addWidget(BindCheck(c, QString(c).section('.', 0, 0).mid(2)));
  body_->layout()->addWidget(effects);
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
