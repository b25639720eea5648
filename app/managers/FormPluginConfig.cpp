#include "app/managers/FormPluginConfig.h"

#include <QCheckBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/managers/ManagerWidgets.h"
#include "engine/EngineTypes.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "plugins/PluginCtrl.h"

namespace app {

namespace {

void Tell(const std::string& text) {
  platform::ShowMessage(text, platform::kCaptionConfirm, platform::MsgIcon::Information);
}

void RunStdFunction(void* f) { (*static_cast<const std::function<void()>*>(f))(); }

}  // namespace

bool CallPluginGuarded(const std::function<void()>& call) {
  if (plugins::RunPluginGuarded(&RunStdFunction, const_cast<std::function<void()>*>(&call))) return true;
  platform::ShowMessage("Unknown error in plug-in.", platform::kCaptionError, platform::MsgIcon::Error);
  return false;
}

std::string TPluginConfigForm::ResultText(int code) {
  switch (code) {
    case plugins::plNotReady: return "Load denied : Output plug-in is not ready";
    case plugins::plAlreadyLoaded: return "Load denied : Already loaded before";
    case plugins::plTableFull: return "Load denied : Max. number of plug-ins loaded";
    case plugins::plLoadFailed: return "Load denied : Unknown Error";
    case plugins::plNotInputPlugin: return "Load denied : Not a valid Winamp input plug-in";
    case plugins::plFreeFailed: return "Cannot unload : Unknown Error";
    case plugins::plNotLoaded: return "Cannot unload : Plug-in is not loaded";
    case plugins::plInUse: return "Cannot unload : Plug-in is in use";
    default: return {};
  }
}

TPluginConfigForm::TPluginConfigForm(std::function<engine::TZOZUZivade*()> engine, QWidget* parent)
    : TLibraryGridForm({"PluginConfigForm", "Winamp Input plug-in Configuration", "Detected plug-ins",
                        "Loaded plug-ins", "PluginList", "PluginGrid"},
                       parent),
      engine_(std::move(engine)) {
  cbPluginFirst_ = BindCheck("cbPluginFirst.Caption",
                             "Plug-in First  ( if checked then Winamp plug-in is applied for the file types which can "
                             "be decoded by both BASS and Winamp plug-in )");
  Body()->addWidget(cbPluginFirst_);
  configure_ = BindButton("btnConfigure.Caption", "Configure");
  about_ = BindButton("btnAbout.Caption", "About");
  AddButton(configure_);
  AddButton(about_);

  QObject::connect(load_, &QPushButton::clicked, this, [this] { Load(); });
  QObject::connect(unload_, &QPushButton::clicked, this, [this] { Unload(); });
  QObject::connect(configure_, &QPushButton::clicked, this, [this] { Configure(); });
  QObject::connect(about_, &QPushButton::clicked, this, [this] { About(); });
  QObject::connect(cbPluginFirst_, &QCheckBox::toggled, this, [this](bool on) {
    if (quiet_) return;
    engine::TZOZUZivade* e = engine_ ? engine_() : nullptr;
    if (e && e->HiddenWindow()) platform::PostMessage(e->HiddenWindow(), engine::WM_PLUGIN_FIRST, 0, on ? 1 : 0);
  });
  // Plug-ins get this handle as the parent of their configuration and about boxes.
  hwnd_ = platform::CreateMessageWindow(
      [](platform::HWND h, platform::UINT m, platform::WPARAM w, platform::LPARAM l) {
        return platform::DefWindowProc(h, m, w, l);
      });
  setFixedSize(kWidth, kHeight);
}

TPluginConfigForm::~TPluginConfigForm() {
  if (hwnd_) platform::DestroyWindow(hwnd_);
}

void TPluginConfigForm::SetPluginFirst(bool on) {
  quiet_ = true;
  cbPluginFirst_->setChecked(on);
  quiet_ = false;
}

std::string TPluginConfigForm::Folder() const { return platform::ProgramFolder() + "plugins/"; }

bool TPluginConfigForm::Loaded(const std::string& file) const { return plugins::IsPluginLoaded(file); }

void TPluginConfigForm::RebuildGrid() {
  std::vector<std::vector<std::string>> rows;
  for (int slot = 0; slot < plugins::kMaxInputPlugins; ++slot) {
    if (!plugins::GetInputModule(slot)) continue;
    const plugins::TPluginInfo info = plugins::GetPluginInfo(slot);
    rows.push_back({info.Name, info.Description, info.FileExtensions});
  }
  grid_->SetRows(rows);
  grid_->SetInUseName(inUse_);
}

void TPluginConfigForm::SetPluginInUse(const std::string& name) {
  inUse_ = name;
  grid_->SetInUseName(name);
  GridSelected();
}

void TPluginConfigForm::Load() {
  const std::string name = list_->SelectedName();
  if (name.empty()) {
    Tell("Select plug-in to load first");
    return;
  }
  const int code = plugins::LoadInputPlugin(name);
  if (code != plugins::plLoaded) {
    Tell(ResultText(code));
    return;
  }
  const int slot = plugins::GetPluginIndex(name);
  const plugins::TPluginInfo info = plugins::GetPluginInfo(slot);
  grid_->AddRow({info.Name, info.Description, info.FileExtensions});
  grid_->Select(grid_->RowCount() - 1);
  RedrawList();
}

void TPluginConfigForm::Unload() {
  if (grid_->RowCount() == 0) {
    Tell("No plug-ins are loaded");
    return;
  }
  const int row = grid_->SelectedRow();
  const std::string name = grid_->SelectedName();
  if (row < 0 || name.empty()) {
    Tell("Select plug-in to unload first");
    return;
  }
  const int code = plugins::UnloadInputPlugin(name);
  if (code != plugins::plUnloaded) {
    Tell(ResultText(code));
    return;
  }
  RebuildGrid();
  grid_->Select(std::min(row, grid_->RowCount() - 1));
  GridSelected();
  RedrawList();
}

int TPluginConfigForm::SelectedModuleSlot(const char* noneLoaded, const char* noneSelected) {
  if (grid_->RowCount() == 0) {
    Tell(noneLoaded);
    return -1;
  }
  const std::string name = grid_->SelectedName();
  if (name.empty()) {
    Tell(noneSelected);
    return -1;
  }
  // A row whose plug-in went meanwhile calls nothing.
  return plugins::GetPluginIndex(name);
}

void TPluginConfigForm::Configure() {
  const int slot = SelectedModuleSlot("No plug-ins to configure are loaded", "Select plug-in to configure first");
  In_Module* m = slot >= 0 ? plugins::GetInputModule(slot) : nullptr;
  if (!m || !m->Config) return;
  CallPluginGuarded([m, this] { m->Config(reinterpret_cast<HWND>(hwnd_)); });
}

void TPluginConfigForm::About() {
  const int slot = SelectedModuleSlot("No plug-ins to query are loaded", "Select plug-in to query first");
  In_Module* m = slot >= 0 ? plugins::GetInputModule(slot) : nullptr;
  if (!m || !m->About) return;
  CallPluginGuarded([m, this] { m->About(reinterpret_cast<HWND>(hwnd_)); });
}

}  // namespace app
