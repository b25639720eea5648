#include "app/managers/ModuleControlForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/managers/ManagerWidgets.h"

namespace app {

TModuleControlForm::TModuleControlForm(const char* form, const char* caption, QWidget* parent)
    : TBaseForm(form, caption, parent) {
  list_ = new TDetectedList(this);
  list_->setObjectName("PluginList");
  list_->setFixedWidth(150);
  descript_ = new QLineEdit(this);
  descript_->setObjectName("Descript");
  descript_->setReadOnly(true);
}

QVBoxLayout* TModuleControlForm::Body() const { return static_cast<QVBoxLayout*>(body_->layout()); }

void TModuleControlForm::Lay(QWidget* modules, const char* descriptionPath) {
  auto* grid = new QGridLayout;
  grid->addWidget(BindLabel("lbl_Detected.Caption", "Detected Plug-ins"), 0, 0);
  grid->addWidget(list_, 1, 0, 3, 1);
  grid->addWidget(BindLabel(descriptionPath, "Description of library "), 0, 1);
  grid->addWidget(descript_, 1, 1);
  grid->addWidget(BindLabel("lbl_Modules.Caption", "Available modules "), 2, 1);
  grid->addWidget(modules, 3, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(3, 1);
  Body()->setContentsMargins(0, 0, 0, 0);
  Body()->addLayout(grid, 1);

  QPushButton* configure = BindButton("btnConfigure.Caption", "Configure");
  QPushButton* start = BindButton("btnStart.Caption", "Start");
  QPushButton* stop = BindButton("btnStop.Caption", "Stop");
  QPushButton* close = BindButton("btnClose.Caption", "Close");
  auto* row = new QHBoxLayout;
  for (QPushButton* b : {configure, start, stop}) row->addWidget(b);
  row->addStretch(1);
  row->addWidget(close);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);

  QObject::connect(configure, &QPushButton::clicked, this, [this] { Configure(); });
  QObject::connect(start, &QPushButton::clicked, this, [this] { Start(); });
  QObject::connect(stop, &QPushButton::clicked, this, [this] { Stop(); });
  QObject::connect(close, &QPushButton::clicked, this, [this] { this->close(); });
}

void TModuleControlForm::CenterOnScreen() {
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

}  // namespace app
