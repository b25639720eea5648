#include "app/desktop/FormUpdate.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/Main.h"
#include "app/Settings.h"
#include "platform/Paths.h"

namespace app::desktop {

namespace {
const char* kChecking = "StringCheckingForUpdates";
}

TFormUpdate::TFormUpdate(QWidget* parent) : TBaseForm("FormUpdate", "Software Update", parent) {
  resize(360, 150);
  BindStored(kChecking, "Checking for updates ...");
  labelText_ = new QLabel(this);
  labelText_->setObjectName("LabelText");
  labelText_->setAlignment(Qt::AlignHCenter);
  labelLink_ = new QLabel(this);
  labelLink_->setObjectName("LabelLink");
  labelLink_->setAlignment(Qt::AlignHCenter);
  QFont underlined = labelLink_->font();
  underlined.setUnderline(true);
  labelLink_->setFont(underlined);
  labelLink_->setCursor(Qt::PointingHandCursor);
  labelLink_->setStyleSheet("color: blue");
  labelLink_->installEventFilter(this);
  body_->layout()->addWidget(labelText_);
  body_->layout()->addWidget(labelLink_);
  QPushButton* check = BindButton("ButtonCheck.Caption", "Check");
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(check);
  static_cast<QVBoxLayout*>(body_->layout())->addLayout(row);
  QObject::connect(check, &QPushButton::clicked, this, [this] { Check(); });
  AddCloseButton("ButtonClose.Caption", "Close");
  check_ = std::make_unique<TUpdateCheck>();
}

TFormUpdate::~TFormUpdate() { check_.reset(); }

void TFormUpdate::showEvent(QShowEvent* e) {
  TBaseForm::showEvent(e);
  SetLink("");
  if (!check_->Running()) StartCheck();
}

void TFormUpdate::closeEvent(QCloseEvent* e) {
  // The window owns its check: closing it ends the transfer now.
  check_->Cancel();
  TBaseForm::closeEvent(e);
}

void TFormUpdate::Check() {
  if (check_->Running()) return;
  StartCheck();
}

void TFormUpdate::StartCheck() {
  labelText_->setText(QString::fromStdString(Text(kChecking)));
  TUpdateRequest request;
  request.address = CheckAddress(site);
  request.agent = kProductCaption;
  request.answerFile = answerFile.empty() ? StateFolder() + "version.txt" : answerFile;
  request.timeoutMs = timeoutMs;
  check_->Start(request, [this](const TUpdateAnswer& answer) { Finished(answer); });
}

void TFormUpdate::Finished(const TUpdateAnswer& answer) {
  auto text = [this](const char* key) { return mainText ? mainText(key) : std::string(); };
  switch (answer.verdict) {
    case TUpdateVerdict::CantConnect:
      labelText_->setText(QString::fromStdString(text("StringCantConnectToServer")));
      SetLink("");
      break;
    case TUpdateVerdict::LastVersion:
      labelText_->setText(QString::fromStdString(text("StringLastVersion")));
      SetLink("");
      break;
    case TUpdateVerdict::NewVersion:
      labelText_->setText(QString::fromStdString(text("StringNewVersionIsAvailable") + answer.version));
      SetLink(ProductPage(site));
      break;
  }
  const bool showWhenDone = answer.verdict == TUpdateVerdict::NewVersion && !isVisible();
  if (onCheckDone) onCheckDone();
  if (showWhenDone && showModal) showModal(this);
}

void TFormUpdate::SetLink(const std::string& link) { labelLink_->setText(QString::fromStdString(link)); }

bool TFormUpdate::eventFilter(QObject* watched, QEvent* e) {
  if (watched == labelLink_) {
    if (e->type() == QEvent::Enter) labelLink_->setStyleSheet("color: red");
    else if (e->type() == QEvent::Leave) labelLink_->setStyleSheet("color: blue");
    else if (e->type() == QEvent::MouseButtonRelease && !labelLink_->text().isEmpty())
      QDesktopServices::openUrl(QUrl(labelLink_->text()));
  }
  return TBaseForm::eventFilter(watched, e);
}

}  // namespace app::desktop
