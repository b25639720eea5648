// What the hidden host window, the engine window and the Winamp-like main
// window answer to plug-in queries, and the Wasabi service from a C++ plug-in's
// point of view.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "plugins/PluginCtrl.h"
#include "plugins/VisDrive2.h"
#include "plugins/sdk/winamp_wasabi.h"

using namespace engine;
using namespace enginetest;
using platform::LRESULT;

namespace {

constexpr platform::UINT kUser = platform::WM_USER;
constexpr platform::UINT kGetText = 0x000D, kGetTextLength = 0x000E;

LRESULT Query(platform::HWND w, platform::LPARAM code, platform::WPARAM wParam = 0) {
  return platform::SendMessage(w, kUser, wParam, code);
}
std::string Str(LRESULT r) { return r ? reinterpret_cast<const char*>(r) : "(null)"; }

struct ExtInfo {
  const char* filename;
  const char* metadata;
  char* ret;
  int32_t retlen;
};

}  // namespace

TEST(HostWindow, AnswersTheQueriesOfItsTable) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  platform::HWND host = plugins::HostWindow();
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(Query(host, 0), 8257);
  EXPECT_EQ(Query(eng.HiddenWindow(), 0), 20496);  // the engine window keeps the input plug-ins' answer
  EXPECT_EQ(Query(host, 104), 0);
  EXPECT_EQ(Query(host, 105, 0), -1);  // stopped
  EXPECT_EQ(Query(host, 124), 0);
  EXPECT_EQ(Query(host, 125), -1);
  EXPECT_EQ(Str(Query(host, 211, 0)), "");
  EXPECT_EQ(Query(host, 260, 1), reinterpret_cast<LRESULT>(host));
  EXPECT_EQ(Query(host, 260, 2), 0);  // no mini browser
  EXPECT_EQ(Query(host, 241), 0);
  EXPECT_EQ(Query(host, 505), 0);  // no drawer library: no drawer frames
  EXPECT_EQ(Query(host, 999), 0);
  EXPECT_EQ(Str(Query(host, 334)), dir.Path() + "/plugins/plugin.ini");
  EXPECT_NE(Query(host, 3025), 0);
  EXPECT_EQ(Query(host, 3025), Query(eng.HiddenWindow(), 3025));

  // Query 125 with a wParam that points nowhere is answered without reading it.
  plugins::SetPlaylistMirror(1, {"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"}, {"A", "Bee", "C"});
  EXPECT_EQ(Query(host, 125, 0x10), 1);
  EXPECT_EQ(Query(host, 124), 3);
  EXPECT_EQ(Str(Query(host, 211, 2)), "/m/c.mp3");
  EXPECT_EQ(Str(Query(host, 212, 1)), "Bee");
  EXPECT_EQ(Str(Query(host, 212, 3)), "");
  EXPECT_EQ(Str(Query(eng.HiddenWindow(), 211, 0)), "/m/a.mp3");

  std::string wav = SineWav(5.0, 440);
  ASSERT_TRUE(eng.Open(wav));
  eng.Play();
  ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() > 200; }, 5000));
  EXPECT_EQ(Query(host, 104), 1);
  LRESULT pos = Query(host, 105, 0);
  EXPECT_GT(pos, 100);
  EXPECT_LT(pos, 5000);
  EXPECT_EQ(Query(host, 105, 1), 5);
  EXPECT_EQ(Query(host, 105, 7), 0);
  EXPECT_EQ(Query(host, 126, 0), 44100);
  EXPECT_EQ(Query(host, 126, 2), 2);
  eng.Pause(true);
  EXPECT_EQ(Query(host, 104), 3);
  EXPECT_EQ(Query(host, 105, 0), -1);  // only while playing
  eng.Stop();

  // The window text: the title and " - Winamp", cut to the buffer.
  std::string title = eng.StreamInfo().Title;
  char buf[256];
  LRESULT n = platform::SendMessage(host, kGetText, sizeof buf, reinterpret_cast<platform::LPARAM>(buf));
  EXPECT_EQ(std::string(buf), title + " - Winamp");
  EXPECT_EQ(n, LRESULT(title.size() + 9));
  EXPECT_EQ(platform::SendMessage(host, kGetTextLength, 0, 0), n);
  char small[5];
  EXPECT_EQ(platform::SendMessage(host, kGetText, sizeof small, reinterpret_cast<platform::LPARAM>(small)), 4);
  EXPECT_EQ(std::string(small), (title + " - Winamp").substr(0, 4));
  plugins::SetPlaylistMirror(-1, {});
}

TEST(HostWindow, ExtendedFileInfoIsCopiedIntoTheCallersBuffer) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  platform::HWND host = plugins::HostWindow();
  plugins::SetPlaylistMirror(0, {"/m/a.mp3", "/m/b.mp3"}, {"Song A", "Song B"});
  char out[64] = "unchanged";
  ExtInfo e{"", "title", out, 0};
  EXPECT_EQ(Query(host, 290, reinterpret_cast<platform::WPARAM>(&e)), 1);
  EXPECT_STREQ(out, "unchanged");  // size 0: nothing written
  EXPECT_EQ(e.ret, out);
  e.retlen = sizeof out;
  Query(host, 290, reinterpret_cast<platform::WPARAM>(&e));
  EXPECT_STREQ(out, "Dirizevi Revivize");
  e.metadata = "artist";
  Query(host, 290, reinterpret_cast<platform::WPARAM>(&e));
  EXPECT_STREQ(out, "Velloran");
  e.filename = "/m/b.mp3";
  e.metadata = "title";
  Query(host, 290, reinterpret_cast<platform::WPARAM>(&e));
  EXPECT_STREQ(out, "Song B");
  EXPECT_EQ(e.ret, out);  // the caller's buffer, not one of ours
  e.retlen = 4;
  Query(host, 290, reinterpret_cast<platform::WPARAM>(&e));
  EXPECT_STREQ(out, "Son");
  e.retlen = sizeof out;
  e.filename = "/m/none.mp3";
  Query(host, 290, reinterpret_cast<platform::WPARAM>(&e));
  EXPECT_STREQ(out, "");
  e.metadata = "album";
  std::strcpy(out, "kept");
  Query(host, 290, reinterpret_cast<platform::WPARAM>(&e));
  EXPECT_STREQ(out, "kept");
  plugins::SetPlaylistMirror(-1, {});
}

TEST(HostWindow, TwoThreadsAskingForEntriesAtOnceEachGetTheirOwnAnswer) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  platform::HWND host = plugins::HostWindow();
  std::vector<std::string> files;
  for (int i = 0; i < 50; ++i) files.push_back("/music/track" + std::to_string(i) + ".mp3");
  plugins::SetPlaylistMirror(0, files);
  std::atomic<int> wrong{0}, done{0};
  auto asker = [&](int first) {
    for (int k = 0; k < 200; ++k) {
      int i = (first + k) % 50;
      const char* a = reinterpret_cast<const char*>(platform::SendMessage(host, kUser, i, 211));
      // Held across the other thread's queries: it must still be this entry's name.
      std::this_thread::yield();
      if (!a || files[size_t(i)] != a) ++wrong;
    }
    ++done;
  };
  std::thread t1(asker, 0), t2(asker, 25);
  EXPECT_TRUE(PumpUntil([&] { return done.load() == 2; }, 20000));
  t1.join();
  t2.join();
  EXPECT_EQ(wrong.load(), 0);
  plugins::SetPlaylistMirror(-1, {});
}

// A C++ plug-in's view of the service manager.
TEST(Wasabi, TheManagerHandsOutTheServiceByItsIdentifierOnly) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  auto* manager = reinterpret_cast<Dispatchable*>(Query(plugins::HostWindow(), 3025));
  ASSERT_NE(manager, nullptr);
  unsigned char guid[16];
  std::memcpy(guid, kWasabiLanguageServiceGuid, 16);
  void* params[2] = {guid, guid};
  Dispatchable* service = nullptr;
  EXPECT_EQ(manager->_dispatch(50, &service, params, 2), 0);  // two parameters
  EXPECT_EQ(service, nullptr);
  guid[15] ^= 1;
  EXPECT_EQ(manager->_dispatch(50, &service, params, 1), 0);  // another identifier
  guid[15] ^= 1;
  EXPECT_EQ(manager->_dispatch(51, &service, params, 1), 0);
  ASSERT_EQ(manager->_dispatch(50, &service, params, 1), 1);
  ASSERT_NE(service, nullptr);
  uint32_t constant = 0;
  int a = 0, b = 0;
  void* two[2] = {&a, &b};
  EXPECT_EQ(service->_dispatch(30, &constant, two, 2), 1);
  EXPECT_EQ(constant, 0xDEADC0DEu);
  EXPECT_EQ(service->_dispatch(30, &constant, two, 1), 0);  // wrong count
  Dispatchable* self = nullptr;
  EXPECT_EQ(service->_dispatch(300, &self, nullptr, 0), 1);
  EXPECT_EQ(self, service);
  void* five[5] = {&a, &a, &a, &a, &a};
  void* str = reinterpret_cast<void*>(1);
  EXPECT_EQ(service->_dispatch(10, &str, five, 5), 1);
  EXPECT_EQ(str, nullptr);  // no such string
  EXPECT_EQ(service->_dispatch(12345, &str, five, 5), 0);
}

// The main window while a module runs: the Winamp-like answers.
TEST(WinampLikeWindow, AnswersAsWinampsMainWindow) {
  ProgramDir dir;
  SilentOutput silent;
  platform::MessageRecorder msgs;
  TZOZUZivade eng;
  platform::HWND main = plugins::VisMainWindow();
  ASSERT_NE(main, nullptr);
  plugins::SetPlaylistMirror(2, {"/a.mp3", "/b.mp3", "/c.mp3"}, {"A", "B", "C"});
  plugins::SetStreamDuration(0);
  bool handled = false;
  auto ask = [&](platform::UINT msg, platform::WPARAM w, platform::LPARAM l) {
    return plugins::VisWinampAnswer(main, msg, w, l, &handled);
  };
  EXPECT_EQ(ask(kUser, 0, 0), 20496);
  EXPECT_EQ(ask(kUser, 0, 105), -1);
  EXPECT_EQ(ask(kUser, 1, 105), 0);
  EXPECT_EQ(ask(kUser, 0, 124), 3);
  EXPECT_EQ(ask(kUser, 0, 125), 2);
  EXPECT_EQ(Str(ask(kUser, 1, 212)), "B");
  EXPECT_EQ(Str(ask(kUser, 0, 334)), dir.Path() + "/plugins/plugin.ini");
  auto* u16 = reinterpret_cast<const char16_t*>(ask(kUser, 2, 213));
  EXPECT_EQ(std::u16string(u16), u"/c.mp3");
  EXPECT_NE(ask(kUser, 0, 505), 0);  // the service's address
  EXPECT_EQ(ask(kUser, 0, 3025), Query(plugins::HostWindow(), 3025));
  ask(kUser, 0, 77777);
  EXPECT_FALSE(handled);  // passed on to the main window's own procedure

  // The window text: short titles read as the engine's name; the length is the text's.
  char buf[64];
  LRESULT n = ask(kGetText, sizeof buf, reinterpret_cast<platform::LPARAM>(buf));
  EXPECT_STREQ(buf, "3. ZOZUZivade - Winamp");
  EXPECT_EQ(n, 22);
  EXPECT_EQ(ask(kGetTextLength, 0, 0), 22);
  plugins::TChannelAttrb attr;
  attr.Title = "Long Title";
  plugins::SetVisChannelAttrb(attr);
  EXPECT_EQ(ask(kGetTextLength, 0, 0), LRESULT(std::strlen("3. Long Title - Winamp")));
  char five[5];
  EXPECT_EQ(ask(kGetText, 5, reinterpret_cast<platform::LPARAM>(five)), 4);
  EXPECT_STREQ(five, "3. L");

  // Transport commands become requests to the engine.
  std::vector<uint32_t> requests;
  eng.OnPluginRequest = [&](TZOZUZivade*, uint32_t r) { requests.push_back(r); };
  EXPECT_EQ(ask(platform::WM_COMMAND, 40045, 0), 1);  // play while stopped
  ask(platform::WM_COMMAND, 40048, 0);                // next: more than one entry
  ask(platform::WM_COMMAND, 40058, 0);                // volume up
  ask(platform::WM_COMMAND, 40047, 0);                // stop: not playing, nothing
  PumpUntil([&] { return requests.size() >= 3; }, 2000);
  EXPECT_EQ(requests, (std::vector<uint32_t>{6, 5, 0}));
  plugins::SetPlaylistMirror(-1, {});
  plugins::SetVisChannelAttrb({});
}
