// TDSPControlForm: the DSP control window ("Winamp DSP plug-in control").
// Lists plugins/dsp_*.so, shows the selected library's description and
// modules, calls a module's Config (inside the host's fault guard), and starts
// and stops a module in the running player through the engine.
//
// The window loads only the library whose modules it shows, and frees it when
// another is selected and when the window closes. A library the host holds with
// no module running is freed when the window closes as well.
//
// Threads: UI thread only.
#pragma once

#include <functional>
#include <string>

#include "app/managers/ModuleControlForm.h"
#include "platform/DynamicLibrary.h"
#include "platform/Messages.h"

class QLineEdit;
class QListWidget;
class QPushButton;
struct winampDSPModule;

namespace engine {
class TZOZUZivade;
}

namespace app {

class TDetectedList;

class TDSPControlForm : public TModuleControlForm {
 public:
  static constexpr int kWidth = 460, kHeight = 300;

  explicit TDSPControlForm(std::function<engine::TZOZUZivade*()> engine, QWidget* parent = nullptr);
  ~TDSPControlForm() override;

  // The buttons' actions; Select lists the library at `row` of the detected list.
  void Select(int row);
  void Configure() override;
  void Start() override;
  void Stop() override;

  QListWidget* DSPModules() const { return modules_; }
  // The path of the library started from this window (empty when none) and its module.
  const std::string& StartedPath() const { return startedPath_; }
  int StartedModule() const { return startedModule_; }
  // True while the window itself holds a library open for its listing.
  bool ListingLoaded() const { return listing_.IsOpen(); }
  platform::HWND Handle() const { return hwnd_; }

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void FreeListing();
  std::string PathOf(const std::string& file) const;
  int SelectedModule() const;

  std::function<engine::TZOZUZivade*()> engine_;
  QListWidget* modules_;
  platform::DynamicLibrary listing_;
  std::vector<winampDSPModule*> listed_;  // modules of the library shown (the window's or the host's)
  std::string startedPath_;
  int startedModule_ = -1;
  platform::HWND hwnd_ = nullptr;
};

}  // namespace app
