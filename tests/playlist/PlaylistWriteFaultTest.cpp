// Saving a playlist (a chosen file or Default.plf) that fails at any step of the
// write: the old file stays byte for byte, no temporary file is left, and the
// user is told.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "PlaylistTestUtil.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "playlist/PlaylistFiles.h"

using namespace playlist;
using namespace pltest;

namespace {

const char* const kSteps[] = {"open", "write", "sync", "rename"};

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(folder)) out.insert(e.path().filename().string());
  return out;
}

struct FaultAt {
  explicit FaultAt(std::string step) {
    platform::IniFile::SetFaultHook([step](std::string_view s) { return s != step; });
  }
  ~FaultAt() { platform::IniFile::SetFaultHook(nullptr); }
};

struct Fixture {
  FakeInfo info;
  RecordingHost host;
  TPlaylist pl{info, host};
};

}  // namespace

TEST(PlaylistWriteFault, ASavedPlaylistFailingAtAnyStepKeepsTheOldFile) {
  TempDir dir;
  Fixture f;
  // Large enough that a half-written replacement would be visible.
  for (int i = 0; i < 200; ++i) f.pl.AppendEntry({"", "New " + std::to_string(i), "1:00", "/n/" + std::to_string(i) + ".mp3"});
  const std::string old = "Old|/old.mp3|3:00\r\nOther|/other.ogg|\r\n";
  const std::string target = dir.Make("mine.plf", old);
  const auto before = Names(dir.Path());
  for (const char* step : kSteps) {
    platform::MessageRecorder rec;
    {
      FaultAt fault(step);
      EXPECT_FALSE(f.pl.SavePlaylist(target)) << step;
    }
    EXPECT_EQ(ReadAll(target), old) << step;
    EXPECT_EQ(Names(dir.Path()), before) << step;
    ASSERT_EQ(rec.Messages().size(), 1u) << step;
    EXPECT_EQ(rec.Messages()[0].caption, "Error");
    EXPECT_EQ(rec.Messages()[0].text.rfind("Cannot create file \"" + target + "\". ", 0), 0u) << rec.Messages()[0].text;
  }
  // Without a fault the same save goes through.
  ASSERT_TRUE(f.pl.SavePlaylist(target));
  EXPECT_EQ(ReadAll(target).rfind("New 0|/n/0.mp3|1:00\r\n", 0), 0u);
  EXPECT_EQ(Names(dir.Path()), before);
}

TEST(PlaylistWriteFault, TheDefaultPlaylistFailingAtAnyStepKeepsTheOldFile) {
  TempDir dir;
  Fixture f;
  f.host.programFolder = dir.Path() + "/";
  const std::string old = "Kept|/kept.mp3|2:00\r\n";
  const std::string def = dir.Make("data/Default.plf", old);
  f.pl.AppendEntry({"", "Replacement", "", "/r.mp3"});
  for (const char* step : kSteps) {
    platform::MessageRecorder rec;
    {
      FaultAt fault(step);
      EXPECT_FALSE(f.pl.SaveDefaultPlaylist()) << step;
    }
    EXPECT_EQ(ReadAll(def), old) << step;
    EXPECT_EQ(Names(dir.File("data")), std::set<std::string>{"Default.plf"}) << step;
    ASSERT_EQ(rec.Messages().size(), 1u) << step;
    EXPECT_NE(rec.Messages()[0].text.find(def), std::string::npos);
  }
  // The next start still finds the old list.
  Fixture g;
  g.host.programFolder = dir.Path();
  ASSERT_TRUE(g.pl.LoadDefaultPlaylist());
  EXPECT_EQ(Titles(g.pl), std::vector<std::string>{"Kept"});
}
