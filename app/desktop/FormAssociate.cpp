#include "app/desktop/FormAssociate.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "playlist/Extensions.h"

namespace app::desktop {

TFormAssociate::TFormAssociate(QWidget* parent) : TBaseForm("FormAssociate", "Associate Files", parent) {
  resize(260, 420);
  list_ = new QTreeWidget(this);
  list_->setObjectName("ListViewFiles");
  list_->setColumnCount(1);
  list_->setHeaderLabels({"File Ext"});
  list_->setRootIsDecorated(false);
  Bind("ListViewFiles.Column[0].Caption", [this] { return list_->headerItem()->text(0).toStdString(); },
       [this](const std::string& t) { list_->headerItem()->setText(0, QString::fromStdString(t)); });
  for (const char* ext : playlist::PlayableExtensions) {
    auto* item = new QTreeWidgetItem(list_, {QString::fromLatin1(ext)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Checked);
  }
  body_->layout()->addWidget(list_);
  auto* row = new QHBoxLayout;
  QPushButton* check = BindButton("ButtonCheck.Caption", "Check All");
  QPushButton* uncheck = BindButton("ButtonUncheck.Caption", "Uncheck all");
  QPushButton* associate = BindButton("ButtonAssociate.Caption", "Associate");
  row->addWidget(check);
  row->addWidget(uncheck);
  row->addWidget(associate);
  static_cast<QVBoxLayout*>(body_->layout())->addLayout(row);
  QObject::connect(check, &QPushButton::clicked, this, [this] { CheckAll(true); });
  QObject::connect(uncheck, &QPushButton::clicked, this, [this] { CheckAll(false); });
  QObject::connect(associate, &QPushButton::clicked, this, [this] { Associate(); });
  AddCloseButton("ButtonClose.Caption", "Close");
}

std::vector<std::pair<std::string, bool>> TFormAssociate::Items() const {
  std::vector<std::pair<std::string, bool>> items;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list_->topLevelItem(i);
    items.emplace_back(item->text(0).toStdString(), item->checkState(0) == Qt::Checked);
  }
  return items;
}

void TFormAssociate::CheckAll(bool on) {
  for (int i = 0; i < list_->topLevelItemCount(); ++i)
    list_->topLevelItem(i)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
}

void TFormAssociate::CheckFrom(const std::string& exts) {
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list_->topLevelItem(i);
    const bool on = exts.find(item->text(0).toStdString()) != std::string::npos;
    item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
  }
}

std::string TFormAssociate::TickedText() const {
  std::string text;
  for (const auto& [ext, on] : Items())
    if (on) text += ext + " ";
  return text;
}

void TFormAssociate::Associate() {
  if (onAssociate) onAssociate(Items());
}

}  // namespace app::desktop
