#include "app/managers/FormAddonConfig.h"

#include <QPushButton>

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
    : TLibraryGridForm({"AddonConfigForm", "BASS Add-on Configuration", "Detected add-ons", "Loaded add-ons",
                        "AddonList", "AddonGrid"},
                       parent),
      engine_(std::move(engine)) {
  setObjectName("AddonConfigForm");
  QObject::connect(load_, &QPushButton::clicked, this, [this] { Load(); });
  QObject::connect(unload_, &QPushButton::clicked, this, [this] { Unload(); });
  setFixedSize(kWidth, kHeight);
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

std::string TAddonConfigForm::Folder() const { return platform::ProgramFolder() + "plugins/bass/"; }

bool TAddonConfigForm::Loaded(const std::string& file) const {
  for (int r = 0; r < grid_->RowCount(); ++r)
    if (SameName(grid_->Cell(r, 0), file)) return true;
  return false;
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
