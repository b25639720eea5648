// Helpers for the main-window tests: one QApplication per test process, a
// program folder of its own in a temporary folder (the staged audio library,
// add-ons, language files and skin linked in), and the windows built against it.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/AppWindows.h"

class QWidget;

namespace apptest {

// Creates the QApplication (offscreen) and binds the UI queue once.
void EnsureApplication();

struct ProgramOptions {
  bool withLibrary = true;                 // bass.so
  std::set<std::string> leaveOutAddOns;    // e.g. "basswma", "bass_aac"
  bool withLanguages = true;               // copies of the shipped language files
  bool withSkin = true;                    // the default skin
  bool withSoundfont = false;
};

// A program folder removed with its contents; the platform's program folder
// points at it while it exists.
class ProgramDir {
 public:
  explicit ProgramDir(const ProgramOptions& options = {});
  ~ProgramDir();
  const std::string& Path() const { return path_; }  // with trailing '/'
  std::string File(const std::string& name) const { return path_ + name; }
  std::string SettingsFile() const { return File("OrvellaPlayer.ini"); }
  void Write(const std::string& name, const std::string& text) const;
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

// Builds the windows and shows the main window (its first show runs the
// start-up sequence). Modal windows are recorded instead of run.
struct Player {
  explicit Player(std::vector<std::string> args = {}, bool show = true);
  ~Player();
  void Close();
  std::unique_ptr<app::TApplicationWindows> windows;
  app::TForm1* form = nullptr;
  std::vector<std::string> modalShown;      // objectName of each window shown modally
  std::vector<std::string> registeredExts;  // first-run registrations
  bool closed = false;
};

std::string ReadFile(const std::string& path);

}  // namespace apptest
