// TAddonConfigForm: the add-on manager ("BASS Add-on Configuration"). Lists the
// add-on files of plugins/bass/ (bass_*.so), the attached add-ons with their
// formats, versions and extensions, and attaches and detaches them through the
// engine. The add-on decoding the stream now playing is drawn red and cannot be
// detached.
//
// Threads: UI thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/managers/LibraryGridForm.h"

class QPushButton;

namespace engine {
class TZOZUZivade;
struct TBASSAddOnInfo;
}  // namespace engine

namespace app {

class TDetectedList;
class TManagerGrid;

class TAddonConfigForm : public TLibraryGridForm {
 public:
  static constexpr int kWidth = 591, kHeight = 228;

  // `engine` answers the engine of the moment (null once it is gone).
  explicit TAddonConfigForm(std::function<engine::TZOZUZivade*()> engine, QWidget* parent = nullptr);
  ~TAddonConfigForm() override;

  // The decoder name of the stream now playing when it is an add-on, else empty.
  void SetAddOnInUse(const std::string& name);
  const std::string& AddOnInUse() const { return inUse_; }

  // The buttons' actions.
  void Load();
  void Unload();

  // Grid texts of an attached add-on: name; format names joined by ", " then " V" and the
  // version's four bytes, highest first, joined by "."; extension lists joined by ";".
  static std::vector<std::string> RowTexts(const engine::TBASSAddOnInfo& info);

  TDetectedList* AddonList() const { return list_; }
  TManagerGrid* AddonGrid() const { return grid_; }
  QPushButton* btnLoad() const { return load_; }
  QPushButton* btnUnload() const { return unload_; }

 private:
  std::string Folder() const override;
  const char* Prefix() const override { return "bass_"; }
  bool Loaded(const std::string& file) const override;
  void RebuildGrid() override;

  std::function<engine::TZOZUZivade*()> engine_;
  std::string inUse_;
};

}  // namespace app
