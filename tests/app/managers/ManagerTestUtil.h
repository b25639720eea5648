// Helpers for the manager window tests: waits that run the event loop, files
// copied into the temporary program folder, and hostile library files.
#pragma once

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../AppTestUtil.h"
#include "app/Main.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"

namespace mgrtest {

inline bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  for (int waited = 0; !done(); waited += 10) {
    if (waited > timeoutMs) return false;
    QTest::qWait(10);
  }
  return true;
}

inline void Copy(const std::string& from, const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(to).parent_path());
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// The header of a 32-bit x86 shared object: the loader refuses it for its class.
inline std::string Elf32Header() {
  std::string h(52, '\0');
  const unsigned char ident[] = {0x7f, 'E', 'L', 'F', 1, 1, 1};
  for (size_t i = 0; i < sizeof ident; ++i) h[i] = char(ident[i]);
  h[16] = 3;   // ET_DYN
  h[18] = 3;   // EM_386
  h[20] = 1;   // EV_CURRENT
  h[40] = 52;  // e_ehsize
  h[42] = 32;  // e_phentsize
  h[46] = 40;  // e_shentsize
  return h;
}

// Texts of the boxes shown since the recorder was created (or cleared).
inline std::vector<std::string> Texts(const platform::MessageRecorder& rec) {
  std::vector<std::string> out;
  for (const auto& m : rec.Messages()) out.push_back(m.text);
  return out;
}

// A player started in a temporary program folder that holds the given files
// (source, path in the folder), and one of its manager windows. Files of a
// test's own go in before Start().
template <class Form>
struct ManagerRig {
  explicit ManagerRig(std::initializer_list<std::pair<std::string, std::string>> files) {
    dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
    for (const auto& [from, to] : files) Copy(from, dir.File(to));
  }
  // The plug-in host is the process's: the player goes first, so no library
  // of this folder stays behind for the next test.
  virtual ~ManagerRig() { player.reset(); }
  void Start(std::unique_ptr<Form> app::TApplicationWindows::*window) {
    player = std::make_unique<apptest::Player>();
    eng = player->form->Engine();
    form = ((*player->windows).*window).get();
  }
  void Show() {
    form->show();
    QApplication::processEvents();
  }
  apptest::ProgramDir dir;
  platform::MessageRecorder rec;
  std::unique_ptr<apptest::Player> player;
  engine::TZOZUZivade* eng = nullptr;
  Form* form = nullptr;
};

}  // namespace mgrtest
