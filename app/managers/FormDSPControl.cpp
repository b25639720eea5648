#include "app/managers/FormDSPControl.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QShowEvent>

#include "app/managers/FormPluginConfig.h"
#include "app/managers/ManagerWidgets.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "plugins/PluginCtrl.h"
#include "plugins/sdk/winamp_dsp.h"

namespace app {

namespace {

void InvalidPlugin() { platform::ShowMessage("Invalid plug-in.", platform::kCaptionError, platform::MsgIcon::Error); }

}  // namespace

TDSPControlForm::TDSPControlForm(std::function<engine::TZOZUZivade*()> engine, QWidget* parent)
    : TModuleControlForm("DSPControlForm", "Winamp DSP plug-in control", parent), engine_(std::move(engine)) {
  modules_ = new QListWidget(this);
  modules_->setObjectName("DSPModules");
  modules_->setSelectionMode(QAbstractItemView::SingleSelection);
  Lay(modules_, "lbl_Descripion.Caption");
  QObject::connect(list_, &QListWidget::currentRowChanged, this, [this](int r) { Select(r); });
  hwnd_ = platform::CreateMessageWindow(
      [](platform::HWND h, platform::UINT m, platform::WPARAM w, platform::LPARAM l) {
        return platform::DefWindowProc(h, m, w, l);
      });
  setFixedSize(kWidth, kHeight);
}

TDSPControlForm::~TDSPControlForm() {
  FreeListing();
  if (hwnd_) platform::DestroyWindow(hwnd_);
}

std::string TDSPControlForm::PathOf(const std::string& file) const {
  return platform::ProgramFolder() + "plugins/" + file;
}

void TDSPControlForm::showEvent(QShowEvent* e) {
  TBaseForm::showEvent(e);
  CenterOnScreen();
  {
    QSignalBlocker quiet(list_);
    list_->SetNames(ListLibraries(platform::ProgramFolder() + "plugins/", "dsp_"));
    list_->Select(list_->count() > 0 ? 0 : -1);
  }
  Select(list_->count() > 0 ? 0 : -1);
}

void TDSPControlForm::closeEvent(QCloseEvent* e) {
  TBaseForm::closeEvent(e);
  if (!e->isAccepted()) return;
  FreeListing();
  // A library the host keeps with no module running is of no use once the window is gone.
  if (!plugins::IsDSPActive() && plugins::DSPModuleCount() > 0) plugins::UnloadDSPPlugin();
}

void TDSPControlForm::FreeListing() {
  listed_.clear();
  modules_->clear();
  descript_->clear();
  listing_.Close();
}

void TDSPControlForm::Select(int row) {
  FreeListing();
  if (row < 0 || row >= list_->count()) return;
  const std::string path = PathOf(list_->Names()[size_t(row)]);
  winampDSPHeader* header = nullptr;
  if (!plugins::GetDSPLibraryName().empty() && SameName(path, plugins::GetDSPLibraryName())) {
    // The host's library: its header and modules, without loading it again.
    winampDSPModule* mods[plugins::kMaxDSPModules] = {};
    const int n = plugins::LoadDSPPlugin(path, &header, mods);
    listed_.assign(mods, mods + n);
  } else {
    if (!listing_.Open(path)) return;
    auto get = listing_.Function<winampDSPGetHeaderType>("winampDSPGetHeader2");
    header = get ? get() : nullptr;
    for (int i = 0; header && header->getModule && i < plugins::kMaxDSPModules; ++i) {
      winampDSPModule* m = header->getModule(i);
      if (!m) break;
      // A module the host never started gets this window as its parent. One the host did keeps the
      // host's window: the same records may be running under another path to the same file.
      if (!m->hwndParent) m->hwndParent = reinterpret_cast<HWND>(hwnd_);
      if (!m->hDllInstance) m->hDllInstance = listing_.Handle();
      listed_.push_back(m);
    }
    if (!header) listing_.Close();
  }
  if (header && header->description) descript_->setText(QString::fromUtf8(header->description));
  for (winampDSPModule* m : listed_)
    modules_->addItem(QString::fromUtf8(m->description ? m->description : ""));
  if (!listed_.empty()) modules_->setCurrentRow(0);
}

int TDSPControlForm::SelectedModule() const {
  const int r = modules_->currentRow();
  return r >= 0 && r < int(listed_.size()) ? r : 0;
}

void TDSPControlForm::Configure() {
  if (listed_.empty()) {
    InvalidPlugin();
    return;
  }
  winampDSPModule* m = listed_[size_t(SelectedModule())];
  if (!m->Config) return;
  CallPluginGuarded([m] { m->Config(m); });
}

void TDSPControlForm::Start() {
  if (listed_.empty()) {
    InvalidPlugin();
    return;
  }
  engine::TZOZUZivade* e = engine_ ? engine_() : nullptr;
  if (!e) return;
  const int row = list_->SelectedIndex();
  if (row < 0) return;
  const std::string path = PathOf(list_->Names()[size_t(row)]);
  const int module = SelectedModule();
  if (!startedPath_.empty()) {
    // The same module of the same library is left running; another module of it is switched to.
    if (SameName(path, startedPath_) && module == startedModule_ && plugins::IsDSPActive()) return;
    if (!SameName(path, startedPath_)) e->StopDSPPlugin();
  }
  if (e->StartDSPPlugin(path, module)) {
    startedPath_ = path;
    startedModule_ = module;
  } else {
    startedPath_.clear();
    startedModule_ = -1;
  }
  // Listed again from the host's records (or from the file when the start failed).
  Select(row);
  modules_->setCurrentRow(std::min(module, modules_->count() - 1));
}

void TDSPControlForm::Stop() {
  if (startedPath_.empty()) return;
  if (engine::TZOZUZivade* e = engine_ ? engine_() : nullptr) e->StopDSPPlugin();
  startedPath_.clear();
  startedModule_ = -1;
}

}  // namespace app
