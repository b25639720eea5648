// Radio titles split into artist and title, the general-purpose plug-in window
// slots, the lyrics plug-in's presence, and what a refresh hands on.
#include <gtest/gtest.h>

#include <QTest>

#include "AppTestUtil.h"
#include "app/Lyrics.h"
#include "app/Main.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"

namespace {

platform::HWND Handle(uintptr_t v) { return reinterpret_cast<platform::HWND>(v); }

}  // namespace

TEST(AppLyrics, SplitStreamTitleCases) {
  struct Case {
    const char* text;
    const char* artist;
    const char* title;
  };
  const Case cases[] = {
      {"Artist - Song", "Artist", "Song"},
      {"  Artist  -  Song  ", "Artist", "Song"},
      {"[Radio One] Artist - Song", "Artist", "Song"},      // the bracketed tag goes
      {"[Live]Artist - Song - Remix", "Artist", "Song - Remix"},  // the first " - " splits
      {"Just a station jingle", "", "Just a station jingle"},  // no " - ": all title
      {"", "", ""},
      {"   ", "", ""},
      {"Artist-Song", "", "Artist-Song"},                  // a dash without blanks does not split
      {"] odd [ - Song", "] odd [", "Song"},               // "]" before "[": the artist stays
      {"[unclosed - Song", "[unclosed", "Song"},
      {" - Song", "", "- Song"},      // trimmed first: no " - " is left
      {"Artist - ", "", "Artist -"},
      {"A [x] B - Song", "B", "Song"},
  };
  for (const Case& c : cases) {
    const auto [artist, title] = app::SplitStreamTitle(c.text);
    EXPECT_EQ(artist, c.artist) << '"' << c.text << '"';
    EXPECT_EQ(title, c.title) << '"' << c.text << '"';
  }
}

TEST(AppLyrics, WindowSlotsAreBoundsCheckedAndTheLyricsPluginIsRecognised) {
  app::TLyrics l;
  EXPECT_FALSE(l.GenWindowShow(8, 5, "/p/gen_other.so", Handle(1)));
  EXPECT_FALSE(l.GenWindowShow(-1, 5, "/p/gen_other.so", Handle(1)));
  for (platform::HWND h : l.PluginWindowSlots()) EXPECT_EQ(h, nullptr);
  EXPECT_TRUE(l.GenWindowShow(7, 5, "/p/gen_other.so", Handle(0x7000000000001234)));
  EXPECT_EQ(l.PluginWindowSlots()[7], Handle(0x7000000000001234));  // a whole pointer, not 32 bits of it
  EXPECT_FALSE(l.LyricsPresent());
  EXPECT_TRUE(l.GenWindowShow(0, 5, "C:\\Winamp\\Plugins\\gen_LeosLyrics.dll", Handle(42)));
  EXPECT_TRUE(l.LyricsPresent());
  EXPECT_EQ(l.LyricsWindow().window, Handle(42));
  EXPECT_EQ(l.LyricsWindow().display, nullptr);  // its controls are not found here
  // Another plug-in's event leaves the lyrics plug-in as it is; its own other kind marks it absent.
  l.GenWindowShow(1, 0, "/p/gen_other.so", Handle(3));
  EXPECT_TRUE(l.LyricsPresent());
  l.GenWindowShow(0, 0, "/x/GEN_LEOSLYRICS.DLL", nullptr);
  EXPECT_FALSE(l.LyricsPresent());
}

TEST(AppLyrics, RefreshHandsArtistAndTitleToTheBrowserAndNeverDrivesAnUnlocatedPlugin) {
  app::TLyrics l;
  std::vector<std::pair<std::string, std::string>> browser, queries;
  bool shown = false;
  l.BrowserShown = [&] { return shown; };
  l.BrowserLyrics = [&](const std::string& a, const std::string& t) { browser.emplace_back(a, t); };
  l.SendLyricsQuery = [&](const app::TLyricsWindowRecord&, const std::string& a, const std::string& t) {
    queries.emplace_back(a, t);
  };
  l.ForceRefreshLyrics({false, "Song", "Artist"});
  EXPECT_EQ(l.LastQuery(), std::make_pair(std::string("Artist"), std::string("Song")));
  EXPECT_TRUE(browser.empty());  // the browser window is not shown
  shown = true;
  l.ForceRefreshLyrics({true, "[FM] Band - Tune", "ignored"});
  ASSERT_EQ(browser.size(), 1u);
  EXPECT_EQ(browser[0], std::make_pair(std::string("Band"), std::string("Tune")));
  l.ForceRefreshLyrics({false, std::string(300, 't'), "a"});
  EXPECT_EQ(browser.back().second.size(), 255u);
  l.GenWindowShow(0, 5, "/p/GEN_LEOSLYRICS.DLL", Handle(9));
  l.ForceRefreshLyrics({false, "Song", "Artist"});
  EXPECT_TRUE(queries.empty());  // layout not found: not driven
  EXPECT_EQ(l.Refreshes(), 4);
}

TEST(AppLyrics, TheWindowNoticeRecordIsReadWholeAndANullOneIsRefused) {
  app::TLyrics l;
  EXPECT_FALSE(l.GenWindowShow(uintptr_t(0)));
  app::TGenWindowNotice bad{9, 5, "/p/gen_other.so", Handle(1)};
  EXPECT_FALSE(l.GenWindowShow(reinterpret_cast<uintptr_t>(&bad)));
  app::TGenWindowNotice shown{3, 5, "/p/gen_leoslyrics.dll", Handle(0x7000000000004321)};
  EXPECT_TRUE(l.GenWindowShow(reinterpret_cast<uintptr_t>(&shown)));
  EXPECT_EQ(l.PluginWindowSlots()[3], Handle(0x7000000000004321));
  EXPECT_TRUE(l.LyricsPresent());
  app::TGenWindowNotice noName{4, 5, nullptr, Handle(2)};
  EXPECT_TRUE(l.GenWindowShow(reinterpret_cast<uintptr_t>(&noName)));
  EXPECT_EQ(l.PluginWindowSlots()[4], Handle(2));
}

// The drawer library's notices reach the main window through the engine's window.
TEST(AppLyrics, TheEnginesWindowNoticesReachTheMainWindow) {
  apptest::ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  apptest::Player p;
  engine::TZOZUZivade* eng = p.form->Engine();
  ASSERT_NE(eng, nullptr);
  const platform::UINT data = platform::RegisterWindowMessage("WM_BASSSendingData");
  app::TLyrics& lyrics = p.form->Lyrics();
  ASSERT_TRUE(lyrics.BrowserShown);
  EXPECT_FALSE(lyrics.BrowserShown());
  app::TGenWindowNotice notice{6, 5, "/usr/lib/player/plugins/GEN_LEOSLYRICS.DLL", Handle(0x7000000000000077)};
  ASSERT_TRUE(platform::PostMessage(eng->HiddenWindow(), data, 97, reinterpret_cast<platform::LPARAM>(&notice)));
  ASSERT_TRUE(platform::PostMessage(eng->HiddenWindow(), data, 95, 0));
  for (int i = 0; i < 100 && lyrics.PluginWindowSlots()[6] == nullptr; ++i) QTest::qWait(10);
  EXPECT_EQ(lyrics.PluginWindowSlots()[6], Handle(0x7000000000000077));
  EXPECT_TRUE(lyrics.LyricsPresent());
  EXPECT_TRUE(lyrics.BrowserShown());
  ASSERT_TRUE(platform::PostMessage(eng->HiddenWindow(), data, 96, 0));
  for (int i = 0; i < 100 && lyrics.BrowserShown(); ++i) QTest::qWait(10);
  EXPECT_FALSE(lyrics.BrowserShown());
  for (const auto& m : rec.Messages()) ADD_FAILURE() << m.text;
}
