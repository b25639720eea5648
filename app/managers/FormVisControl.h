// TVisControlForm: the visualisation control window ("Winamp Visualization
// plug-in control"). Lists plugins/vis_*.so with the selected library's
// description and modules, calls a module's Config (inside the host's fault
// guard; the window cannot close meanwhile), starts and stops a module through
// the engine, and sets the engine's drawer option and spectrum scale. The
// running library and module are drawn red.
//
// Threads: UI thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/managers/ModuleControlForm.h"

class QLineEdit;
class QSlider;
struct winampVisModule;

namespace engine {
class TZOZUZivade;
}
namespace plugins {
struct TVisPluginInfo;
}

namespace app {

class TDetectedList;
class TManagerGrid;

class TVisControlForm : public TModuleControlForm {
 public:
  static constexpr int kWidth = 530, kHeight = 340;

  // `engine` answers the engine of the moment (null once it is gone; then the window lists only).
  explicit TVisControlForm(std::function<engine::TZOZUZivade*()> engine = {}, QWidget* parent = nullptr);
  ~TVisControlForm() override;

  // The running module's record, as the engine's OnVisWindowShow gives it (ThreadId 0: none runs).
  void SetVisPluginInfo(const plugins::TVisPluginInfo& info);
  // The running library's path ("" when none) and module.
  const std::string& RunningPath() const { return runningPath_; }
  int RunningModule() const { return runningModule_; }
  bool Configuring() const { return configuring_; }

  // The actions.
  void Select(int row);
  void Configure() override;
  void Start() override;
  void Stop() override;

  TManagerGrid* VisModules() const { return modules_; }
  QCheckBox* cbUseWinampLook() const { return cbUseWinampLook_; }
  QSlider* VisScaleBar() const { return scale_; }

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  std::string PathOf(int row) const;
  void MarkRunning();
  int SelectedModule() const;
  engine::TZOZUZivade* Engine() const { return engine_ ? engine_() : nullptr; }

  std::function<engine::TZOZUZivade*()> engine_;
  TManagerGrid* modules_;
  QCheckBox* cbUseWinampLook_;
  QSlider* scale_;
  std::vector<winampVisModule*> listed_;
  std::string listedPath_;  // the library loaded for listing ("" once it is closed)
  std::string shownPath_;   // the library whose modules the grid shows
  std::string runningPath_;
  int runningModule_ = -1;
  bool configuring_ = false;
  bool quiet_ = false;
};

}  // namespace app
