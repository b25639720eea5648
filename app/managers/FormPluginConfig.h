// TPluginConfigForm: the input plug-in manager ("Winamp Input plug-in
// Configuration"). Lists plugins/in_*.so and the loaded input plug-ins, loads
// and unloads them through the plug-in host, calls a plug-in's Config and About
// (inside the host's fault guard, with this window's handle as the parent), and
// posts the "plug-in first" choice to the engine window. The engine shows it
// through its ShowPluginConfig.
//
// Threads: UI thread only.
#pragma once

#include <functional>
#include <string>

#include "app/managers/LibraryGridForm.h"
#include "platform/Messages.h"

class QPushButton;

namespace engine {
class TZOZUZivade;
}

namespace app {

class TDetectedList;
class TManagerGrid;

class TPluginConfigForm : public TLibraryGridForm {
 public:
  static constexpr int kWidth = 600, kHeight = 300;

  explicit TPluginConfigForm(std::function<engine::TZOZUZivade*()> engine, QWidget* parent = nullptr);
  ~TPluginConfigForm() override;

  // The name of the plug-in decoding the stream now (empty for none).
  void SetPluginInUse(const std::string& name);
  const std::string& PluginInUse() const { return inUse_; }
  // Sets the box without posting it (the engine's value when the window is shown).
  void SetPluginFirst(bool on);

  // The buttons' actions.
  void Load();
  void Unload();
  void Configure();
  void About();

  // The message of a load (1..5) or unload (6..8) result; empty for others.
  static std::string ResultText(int code);

  TDetectedList* PluginList() const { return list_; }
  TManagerGrid* PluginGrid() const { return grid_; }
  QCheckBox* cbPluginFirst() const { return cbPluginFirst_; }
  QPushButton* btnLoad() const { return load_; }
  QPushButton* btnUnload() const { return unload_; }
  platform::HWND Handle() const { return hwnd_; }

 private:
  std::string Folder() const override;
  const char* Prefix() const override { return "in_"; }
  bool Loaded(const std::string& file) const override;
  void RebuildGrid() override;
  // The slot of the selected grid row after the usual refusals, -1 when refused.
  int SelectedModuleSlot(const char* noneLoaded, const char* noneSelected);

  std::function<engine::TZOZUZivade*()> engine_;
  QCheckBox* cbPluginFirst_;
  QPushButton *configure_, *about_;
  std::string inUse_;
  platform::HWND hwnd_ = nullptr;
  bool quiet_ = false;
};

// Runs a plug-in's configuration or about entry under the host's fault guard; a
// fault shows "Unknown error in plug-in." (caption "Error"). False when it faulted.
bool CallPluginGuarded(const std::function<void()>& call);

}  // namespace app
