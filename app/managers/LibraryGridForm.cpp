#include "app/managers/LibraryGridForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/managers/ManagerWidgets.h"

namespace app {

TLibraryGridForm::TLibraryGridForm(const TNames& names, QWidget* parent)
    : TBaseForm(names.form, names.caption, parent) {
  auto* grid = new QGridLayout;
  grid->addWidget(BindLabel("lbl_Detected.Caption", names.detected), 0, 0);
  grid->addWidget(BindLabel("lbl_Loaded.Caption", names.loaded), 0, 1);
  list_ = new TDetectedList(this);
  list_->setObjectName(names.list);
  list_->setFixedWidth(130);
  grid_ = new TManagerGrid({{"Name", 84}, {"Decsription", 173}, {"Playable File Types", 151}}, this);
  grid_->setObjectName(names.grid);
  grid->addWidget(list_, 1, 0);
  grid->addWidget(grid_, 1, 1);
  grid->setColumnStretch(1, 1);
  Body()->setContentsMargins(0, 0, 0, 0);
  Body()->addLayout(grid, 1);

  load_ = BindButton("btnLoad.Caption", "Load");
  unload_ = BindButton("btnUnload.Caption", "Unload");
  QPushButton* close = BindButton("btnClose.Caption", "Close");
  buttons_ = new QHBoxLayout;
  buttons_->addWidget(load_);
  buttons_->addWidget(unload_);
  buttons_->addStretch(1);
  buttons_->addWidget(close);
  static_cast<QVBoxLayout*>(layout())->addLayout(buttons_);

  QObject::connect(close, &QPushButton::clicked, this, [this] { this->close(); });
  QObject::connect(list_, &QListWidget::itemSelectionChanged, this, [this] { ListSelected(); });
  QObject::connect(grid_, &QTableWidget::itemSelectionChanged, this, [this] { GridSelected(); });
  load_->setEnabled(false);
}

QVBoxLayout* TLibraryGridForm::Body() const { return static_cast<QVBoxLayout*>(body_->layout()); }

void TLibraryGridForm::AddButton(QPushButton* b) { buttons_->insertWidget(2 + extraButtons_++, b); }

void TLibraryGridForm::showEvent(QShowEvent* e) {
  TBaseForm::showEvent(e);
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
  Fill();
}

void TLibraryGridForm::Fill() {
  list_->SetNames(ListLibraries(Folder(), Prefix()));
  load_->setEnabled(false);
  RebuildGrid();
  const bool any = list_->count() > 0;
  list_->setEnabled(any);
  grid_->setEnabled(any);
  RedrawList();
  if (any) list_->Select(0);
  if (grid_->RowCount() > 0) grid_->Select(0);
  GridSelected();
}

void TLibraryGridForm::RedrawList() {
  list_->Grey([this](const std::string& name) { return Loaded(name); });
  ListSelected();
}

void TLibraryGridForm::ListSelected() {
  if (list_->SelectedName().empty()) return;
  load_->setEnabled(!list_->IsGrey(list_->SelectedIndex()));
}

void TLibraryGridForm::GridSelected() {
  const int row = grid_->SelectedRow();
  if (row < 0) return;
  unload_->setEnabled(!grid_->RowInUse(row));
}

}  // namespace app
