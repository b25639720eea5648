#include "app/FormInfo.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "platform/Paths.h"
#include "tags/GenreNames.h"

namespace app {

namespace {
std::string Std(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

const char* const kInfoNames[9] = {"Title", "Artist", "Album", "Genre", "Year", "Format", "Duration", "Quality", "Size"};
const char* const kFieldNames[6] = {"Title", "Artist", "Album", "Comment", "Year", "Track"};
}  // namespace

TFormInfo::TFormInfo(QWidget* parent) : TBaseForm("FormInfo", "File Information", parent) {
  resize(420, 360);
  auto* body = static_cast<QVBoxLayout*>(body_->layout());
  editFile_ = new QLineEdit(body_);
  editFile_->setObjectName("EditFile");
  editFile_->setReadOnly(true);
  body->addWidget(editFile_);
  pages_ = new QTabWidget(body_);
  pages_->setObjectName("PageControl1");
  body->addWidget(pages_, 1);

  // Info.
  auto* info = new QWidget(pages_);
  info->setObjectName("TabSheetInfo");
  auto* form = new QFormLayout(info);
  for (int i = 0; i < 9; ++i) {
    auto* value = new QLabel(info);
    value->setObjectName(QString("LabelInfo%1").arg(kInfoNames[i]));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    info_[i] = value;
    form->addRow(QString(kInfoNames[i]) + ":", value);
  }
  pages_->addTab(info, "Info");

  // The two tag pages.
  auto tagPage = [this](Page& page, const QString& title, const char* suffix, const char* copyTo, const char* copyFrom,
                        bool v1) {
    auto* w = new QWidget(pages_);
    w->setObjectName(QString("TabSheet") + title.trimmed());
    auto* outer = new QVBoxLayout(w);
    auto* group = new QGroupBox(title, w);
    auto* grid = new QGridLayout(group);
    int row = 0;
    for (int k = 0; k < 6; ++k) {
      const std::string name = kFieldNames[k];
      if (k == 4) {  // genre list before year
        QLabel* l = BindLabel("LabelGenre" + std::string(suffix) + ".Caption", "Genre");
        auto* combo = new QComboBox(group);
        combo->setObjectName(QString("ComboBoxGenre") + suffix);
        combo->setEditable(false);  // a pick list, no free text
        page.genre = combo;
        grid->addWidget(l, row, 0);
        grid->addWidget(combo, row++, 1);
      }
      QLabel* l = BindLabel("Label" + name + suffix + ".Caption", Q(name));
      auto* e = new QLineEdit(group);
      e->setObjectName(Q("Edit" + name + suffix));
      if (v1) {
        if (k < 3) e->setMaxLength(30);
        if (k == 3) e->setMaxLength(28);
      }
      if (k == 4) e->setMaxLength(4);
      page.edits[k] = e;
      grid->addWidget(l, row, 0);
      grid->addWidget(e, row++, 1);
    }
    outer->addWidget(group);
    auto* buttons = new QHBoxLayout;
    QPushButton* to = BindButton(std::string(copyTo) + ".Caption", "");
    QPushButton* from = BindButton(std::string(copyFrom) + ".Caption", "");
    buttons->addWidget(to);
    buttons->addWidget(from);
    outer->addLayout(buttons);
    pages_->addTab(w, title.trimmed());
    return std::pair{to, from};
  };
  auto [to2, from2] = tagPage(v1_, " ID3v1 ", "", "ButtonCopyToID3v2", "ButtonCopyFromID3v2", true);
  to2->setText("Copy to ID3v2");
  from2->setText("Copy from ID3v2");
  auto [to1, from1] = tagPage(v2_, " ID3v2 ", "2", "ButtonCopyToID3v1", "ButtonCopyFromID3v1", false);
  to1->setText("Copy to ID3v1");
  from1->setText("Copy from ID3v1");
  genre1_ = v1_.genre;
  genre2_ = v2_.genre;
  for (QComboBox* c : {genre1_, genre2_})
    for (const std::string& g : tags::GenreNames) c->addItem(Q(g));
  QObject::connect(to2, &QPushButton::clicked, this, [this] { CopyV1ToV2(); });
  QObject::connect(from1, &QPushButton::clicked, this, [this] { CopyV1ToV2(); });
  QObject::connect(from2, &QPushButton::clicked, this, [this] { CopyV2ToV1(); });
  QObject::connect(to1, &QPushButton::clicked, this, [this] { CopyV2ToV1(); });

  auto* row = new QHBoxLayout;
  row->addStretch(1);
  ok_ = new QPushButton("&OK", this);
  ok_->setObjectName("ButtonOK");
  ok_->setDefault(true);
  QPushButton* cancel = BindButton("bntCancel.Caption", "&Cancel");
  row->addWidget(ok_);
  row->addWidget(cancel);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);
  QObject::connect(cancel, &QPushButton::clicked, this, [this] { close(); });
  QObject::connect(ok_, &QPushButton::clicked, this, [this] {
    if (!SaveTagEdits || SaveTagEdits(FieldsV1(), FieldsV2())) close();
  });
}

QLabel* TFormInfo::InfoValue(const std::string& name) const {
  for (int i = 0; i < 9; ++i)
    if (name == kInfoNames[i]) return info_[i];
  return nullptr;
}

QLineEdit* TFormInfo::Edit(const std::string& name) const { return findChild<QLineEdit*>(Q(name)); }

void TFormInfo::FillPage(Page& page, const playlist::TTagFields& f, bool writable) {
  page.read = f;
  const std::string* texts[6] = {&f.title, &f.artist, &f.album, &f.comment, &f.year, &f.track};
  for (int k = 0; k < 6; ++k) {
    page.edits[k]->setText(Q(*texts[k]));
    page.edits[k]->setReadOnly(!writable);
    page.shown[k] = page.edits[k]->text();  // as the field holds it (a long text is cut to its length)
  }
  page.genre->setCurrentIndex(f.genre);
  page.genre->setEnabled(writable);
  page.shownGenre = page.genre->currentIndex();
}

void TFormInfo::Fill(const playlist::TTagEdit& edit) {
  editFile_->setText(Q(edit.EditFile()));
  FillPage(v1_, edit.V1(), edit.Writable());
  FillPage(v2_, edit.V2(), edit.Writable());
  ok_->setEnabled(true);
}

playlist::TTagFields TFormInfo::Fields(const Page& page) const {
  playlist::TTagFields f = page.read;
  std::string* texts[6] = {&f.title, &f.artist, &f.album, &f.comment, &f.year, &f.track};
  for (int k = 0; k < 6; ++k)
    if (page.edits[k]->text() != page.shown[k]) *texts[k] = Std(page.edits[k]->text());
  if (page.genre->currentIndex() != page.shownGenre) {
    f.genre = page.genre->currentIndex();
    f.genreText = f.genre < 0 ? std::string() : Std(page.genre->currentText());
  }
  return f;
}

playlist::TTagFields TFormInfo::FieldsV1() const { return Fields(v1_); }
playlist::TTagFields TFormInfo::FieldsV2() const { return Fields(v2_); }

void TFormInfo::Copy(const Page& from, Page& to) {
  for (int k = 0; k < 6; ++k) to.edits[k]->setText(from.edits[k]->text());
  to.genre->setCurrentIndex(from.genre->currentIndex());
}

void TFormInfo::CopyV1ToV2() { Copy(v1_, v2_); }
void TFormInfo::CopyV2ToV1() { Copy(v2_, v1_); }

std::string TFormInfo::QualityText(const engine::TStreamInfo& info) {
  std::string q = std::to_string(info.SampleRate / 1000) + " kHz, " + std::to_string(info.BitRate) + " kbps, ";
  if (info.Channels == 1) q += "Mono";
  else if (info.Channels == 2) q += "Stereo";
  else if (info.Channels > 2) q += std::to_string(info.Channels) + " Channels";
  return q;
}

std::string TFormInfo::DurationText(int32_t ms) {
  const int64_t total = ms > 0 ? ms / 1000 : 0;
  char buf[32];
  // From an hour up the hours are shown too.
  if (total >= 3600)
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(total / 3600),
                  static_cast<long long>(total / 60 % 60), static_cast<long long>(total % 60));
  else
    std::snprintf(buf, sizeof buf, "%02lld:%02lld", static_cast<long long>(total / 60), static_cast<long long>(total % 60));
  return buf;
}

std::string TFormInfo::SizeText(uint32_t bytes) { return std::to_string(bytes / 1024) + " Kb"; }

void TFormInfo::FillInfo() {
  engine::TStreamInfo info;
  const std::string file = Std(editFile_->text());
  if (file.empty() || !platform::FileExists(file) || !GetStreamInfo || !GetStreamInfo(file, info)) {
    // Nothing from another file stays on the page.
    for (QLabel* l : info_) l->clear();
    return;
  }
  const std::string values[9] = {info.Title,
                                 info.Artist,
                                 info.Album,
                                 info.Genre,
                                 info.Year,
                                 engine::FormatName(info.Format),
                                 DurationText(info.Duration),
                                 QualityText(info),
                                 SizeText(info.FileSize)};
  for (int i = 0; i < 9; ++i) info_[i]->setText(Q(values[i]));
}

void TFormInfo::showEvent(QShowEvent* e) {
  pages_->setCurrentIndex(0);
  FillInfo();
  TBaseForm::showEvent(e);
}

}  // namespace app
