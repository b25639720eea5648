#include "app/managers/FormAddonConfig.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/managers/ManagerWidgets.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

namespace app {

namespace {

void Warn(const char* text) {
  platform::ShowMessage(text, platform::kCaptionConfirm, platform::MsgIcon::Warning);
}

}  // namespace

TAddonConfigForm::TAddonConfigForm(std::function<engine::TZOZUZivade*()> engine, QWidget* parent)
    : TBaseForm("AddonConfigForm", "BASS Add-on Configuration", parent), engine_(std::move(engine)) {
  setObjectName("AddonConfigForm");
  auto* grid = new QGridLayout;
  grid->addWidget(BindLabel("lbl_Detected.Caption", "Detected add-ons"), 0, 0);
  grid->addWidget(BindLabel("lbl_Loaded.Caption", "Loaded add-ons"), 0, 1);
  list_ = new TDetectedList(this);
  list_->setObjectName("AddonList");
  list_->setFixedWidth(130);
  grid_ = new TManagerGrid({{"Name", 84}, {"Decsription", 173}, {"Playable File Types", 151}}, this);
  grid_->setObjectName("AddonGrid");
  grid->addWidget(list_, 1, 0);
  grid->addWidget(grid_, 1, 1);
  grid->setColumnStretch(1, 1);
  static_cast<QVBoxLayout*>(body_->layout())->addLayout(grid, 1);
  body_->layout()->setContentsMargins(0, 0, 0, 0);

  load_ = BindButton("btnLoad.Caption", "Load");
  unload_ = BindButton("btnUnload.Caption", "Unload");
  QPushButton* close = BindButton("btnClose.Caption", "Close");
  auto* row = new QHBoxLayout;
  row->addWidget(load_);
  row->addWidget(unload_);
  row->addStretch(1);
  row->addWidget(close);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);

  QObject::connect(load_, &QPushButton::clicked, this, [this] { Load(); });
  QObject::connect(unload_, &QPushButton::clicked, this, [this] { Unload(); });
  QObject::connect(close, &QPushButton::clicked, this, [this] { this->close(); });
  QObject::connect(list_, &QListWidget::itemSelectionChanged, this, [this] { ListSelected(); });
  QObject::connect(grid_, &QTableWidget::itemSelectionChanged, this, [this] { GridSelected(); });
  setFixedSize(kWidth, kHeight);
  load_->setEnabled(false);
}

TAddonConfigForm::~TAddonConfigForm() = default;

std::vector<std::string> TAddonConfigForm::RowTexts(const engine::TBASSAddOnInfo& info) {
  std::string formats, exts;
  for (int i = 0; info.FormatP && i < info.NumFormat; ++i) {
    const BASS_PLUGINFORM& f = info.FormatP[i];
    if (i) {
      formats += ", ";
      exts += ";";
    }
    formats += f.name ? f.name : "";
    exts += f.exts ? f.exts : "";
  }
  const uint32_t v = info.Version;
  formats += " V" + std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." +
             std::to_string((v >> 8) & 0xFF) + "." + std::to_string(v & 0xFF);
  return {info.Name, formats, exts};
}

void TAddonConfigForm::showEvent(QShowEvent* e) {
  TBaseForm::showEvent(e);
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
  Fill();
}

void TAddonConfigForm::Fill() {
  list_->SetNames(ListLibraries(platform::ProgramFolder() + "plugins/bass/", "bass_"));
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

void TAddonConfigForm::RebuildGrid() {
  std::vector<std::vector<std::string>> rows;
  if (engine::TZOZUZivade* e = engine_ ? engine_() : nullptr) {
    for (const engine::TBASSAddOnInfo& slot : e->GetAddOnList())
      if (slot.Handle) rows.push_back(RowTexts(slot));
  }
  grid_->SetRows(rows);
  grid_->SetInUseName(inUse_);
}

void TAddonConfigForm::RedrawList() {
  list_->Grey([this](const std::string& name) {
    for (int r = 0; r < grid_->RowCount(); ++r)
      if (SameName(grid_->Cell(r, 0), name)) return true;
    return false;
  });
  ListSelected();
}

void TAddonConfigForm::ListSelected() {
  const int row = list_->SelectedIndex();
  if (list_->SelectedName().empty()) return;
  load_->setEnabled(!list_->IsGrey(row));
}

void TAddonConfigForm::GridSelected() {
  const int row = grid_->SelectedRow();
  if (row < 0) return;
  unload_->setEnabled(!grid_->RowInUse(row));
}

void TAddonConfigForm::SetAddOnInUse(const std::string& name) {
  inUse_ = name;
  grid_->SetInUseName(name);
  const std::string selected = grid_->SelectedName();
  unload_->setEnabled(selected.empty() || !SameName(selected, name));
}

void TAddonConfigForm::Load() {
  const std::string name = list_->SelectedName();
  if (name.empty()) {
    Warn("Select an add-on to unload first");
    return;
  }
  engine::TZOZUZivade* e = engine_ ? engine_() : nullptr;
  engine::TBASSAddOnInfo info;
  if (e) info = e->LoadAddOn(platform::ProgramFolder() + "plugins/bass/" + name);
  if (!info.Handle) {
    Warn("Not a valid add-on");
    return;
  }
  grid_->AddRow(RowTexts(info));
  grid_->Select(grid_->RowCount() - 1);
  unload_->setEnabled(!grid_->RowInUse(grid_->RowCount() - 1));
  RedrawList();
}

void TAddonConfigForm::Unload() {
  if (grid_->RowCount() == 0) {
    Warn("No add-ons are loaded");
    return;
  }
  const int row = grid_->SelectedRow();
  const std::string name = grid_->SelectedName();
  if (row < 0 || name.empty()) {
    Warn("Select an add-on to unload first");
    return;
  }
  engine::TZOZUZivade* e = engine_ ? engine_() : nullptr;
  HPLUGIN handle = 0;
  if (e) {
    for (const engine::TBASSAddOnInfo& slot : e->GetAddOnList())
      if (slot.Handle && SameName(slot.Name, name)) {
        handle = slot.Handle;
        break;
      }
  }
  if (!handle) {
    Warn("Cannot get the handle of add-on");
    return;
  }
  if (e->UnloadAddOn(handle) == 0) {
    Warn("Cannot unload : add-on is in use");
    return;
  }
  // The rows are built again from the engine's table, which no longer holds the add-on.
  RebuildGrid();
  const int keep = std::min(row, grid_->RowCount() - 1);
  grid_->Select(keep);
  if (keep >= 0) unload_->setEnabled(!grid_->RowInUse(keep));
  RedrawList();
}

}  // namespace app
