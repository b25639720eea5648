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
#include <cctype>

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
  // Whatever names its scheme is an address already (a letter, then letters, digits, "+-.").
  const size_t colon = text.find("://");
  if (colon != std::string::npos && colon > 0 && std::isalpha(static_cast<unsigned char>(text[0])) &&
      std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon),
                  [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.'; }))
    return text;
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

}  // namespace app
