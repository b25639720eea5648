#include "AppTestUtil.h"

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/Main.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "platform/qt/QtMessageLoop.h"

namespace fs = std::filesystem;

namespace apptest {

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  if (!QApplication::instance()) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The engine plays into a silent real-time output, not the sound device.
    ::setenv("ORVELLA_BASS_OUTPUT", "silent", 1);
    new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    platform::GetCurrentThreadId();
    platform::AttachQueueToQtLoop();
  }
}

ProgramDir::ProgramDir(const ProgramOptions& o) {
  std::string tmpl = (fs::temp_directory_path() / "orvella-app-XXXXXX").string();
  path_ = ::mkdtemp(tmpl.data()) ? tmpl + "/" : std::string();
  const std::string stage = ORVELLA_STAGE_DIR;
  if (o.withLibrary) fs::create_symlink(stage + "/bass.so", File("bass.so"));
  fs::create_directories(File("plugins/bass"));
  for (const auto& entry : fs::directory_iterator(stage + "/plugins/bass")) {
    std::string base = entry.path().stem().string();
    if (o.leaveOutAddOns.count(base)) continue;
    fs::create_symlink(entry.path(), File("plugins/bass/" + entry.path().filename().string()));
  }
  if (o.withSoundfont && fs::exists(stage + "/plugins/CT4MGM.SF2"))
    fs::create_symlink(fs::canonical(stage + "/plugins/CT4MGM.SF2"), File("plugins/CT4MGM.SF2"));
  fs::create_directories(File("language"));
  if (o.withLanguages) {
    for (const char* lang : {"English", "Russian", "Kazakh"})
      fs::copy_file(std::string(ORVELLA_SOURCE_DIR) + "/assets/language/" + lang + ".ini",
                    File(std::string("language/") + lang + ".ini"));
  }
  fs::create_directories(File("skins"));
  if (o.withSkin) fs::create_symlink(stage + "/skins/default", File("skins/default"));
  fs::create_directories(File("data"));
  platform::SetProgramFolder(path_);
}

ProgramDir::~ProgramDir() {
  platform::SetProgramFolder(std::string(ORVELLA_STAGE_DIR));
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void ProgramDir::Write(const std::string& name, const std::string& text) const {
  fs::create_directories(fs::path(File(name)).parent_path());
  std::ofstream(File(name), std::ios::binary) << text;
}

std::string ProgramDir::Read(const std::string& name) const { return ReadFile(File(name)); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Player::Player(std::vector<std::string> args, bool show) {
  EnsureApplication();
  windows = app::CreateApplicationWindows(std::move(args));
  form = windows->Form1.get();
  form->ShowModal = [this](QWidget* w) { modalShown.push_back(w->objectName().toStdString()); };
  form->RegisterFileTypes = [this](const std::string& exts) { registeredExts.push_back(exts); };
  form->onClosed = [this] { closed = true; };
  if (show) form->show();
}

void Player::Close() {
  if (form && form->isVisible()) form->close();
}

Player::~Player() { windows.reset(); }

}  // namespace apptest
