// The DVD bookmark and the snapshots, written with a step (open, write, sync, rename) that
// fails: the old file stays byte for byte, no temporary file is left, and the error text the
// player shows names the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/IniFile.h"
#include "video/DvdDisc.h"
#include "video/Snapshot.h"
#include "video/VideoController.h"

namespace fs = std::filesystem;

namespace {

const char* const kSteps[] = {"open", "write", "sync", "rename"};

struct Folder {
  Folder() {
    std::string t = (fs::temp_directory_path() / "orvella-vfault-XXXXXX").string();
    path = mkdtemp(t.data());
  }
  ~Folder() { fs::remove_all(path); }
  std::string File(const std::string& name) const { return path + "/" + name; }
  std::set<std::string> Names() const {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(path)) out.insert(e.path().filename().string());
    return out;
  }
  std::string path;
};

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct FaultAt {
  explicit FaultAt(std::string step) {
    platform::IniFile::SetFaultHook([step](std::string_view s) { return s != step; });
  }
  ~FaultAt() { platform::IniFile::SetFaultHook(nullptr); }
};

video::TVideoFrame Picture(int w, int h, uint32_t seed) {
  video::TVideoFrame f;
  f.Width = w;
  f.Height = h;
  for (int i = 0; i < w * h; ++i) f.Pixels.push_back((uint32_t(i) * 2654435761u + seed) & 0xFFFFFF);
  return f;
}

}  // namespace

TEST(VideoWriteFault, ABookmarkWriteFailingAtAnyStepKeepsTheOldBookmark) {
  Folder dir;
  const std::string path = dir.File("bookmark.bmk");
  ASSERT_TRUE(video::SaveDvdBookmark(path, {"OLD_DISC", 3, 7, 61000}));
  const std::string old = Bytes(path);
  for (const char* step : kSteps) {
    std::string error;
    {
      FaultAt fault(step);
      EXPECT_FALSE(video::SaveDvdBookmark(path, {"NEW_DISC", 5, 2, 1000}, &error)) << step;
    }
    EXPECT_EQ(error, "The bookmark could not be written to " + path + ".") << step;
    EXPECT_EQ(Bytes(path), old) << step;
    EXPECT_EQ(dir.Names(), std::set<std::string>{"bookmark.bmk"}) << step;
    video::TDvdBookmark b;
    ASSERT_EQ(video::LoadDvdBookmark(path, b), video::TBookmarkRead::Ok) << step;
    EXPECT_EQ(b.DiscId, "OLD_DISC");
    EXPECT_EQ(b.Chapter, 7);
  }
  ASSERT_TRUE(video::SaveDvdBookmark(path, {"NEW_DISC", 5, 2, 1000}));
  video::TDvdBookmark b;
  ASSERT_EQ(video::LoadDvdBookmark(path, b), video::TBookmarkRead::Ok);
  EXPECT_EQ(b.DiscId, "NEW_DISC");
  EXPECT_EQ(b.TimeMs, 1000);
  EXPECT_EQ(dir.Names(), std::set<std::string>{"bookmark.bmk"});
}

TEST(VideoWriteFault, ASnapshotWriteFailingAtAnyStepKeepsTheOldPicture) {
  Folder dir;
  const std::string path = dir.File("Film 0-00-05.bmp");
  ASSERT_TRUE(video::SaveBitmap24(Picture(64, 48, 1), path));
  const std::string old = Bytes(path);
  for (const char* step : kSteps) {
    std::string error;
    {
      FaultAt fault(step);
      EXPECT_FALSE(video::SaveBitmap24(Picture(320, 240, 2), path, &error)) << step;
    }
    EXPECT_EQ(error, "Cannot write " + path) << step;
    EXPECT_EQ(Bytes(path), old) << step;
    EXPECT_EQ(dir.Names(), std::set<std::string>{"Film 0-00-05.bmp"}) << step;
  }
  ASSERT_TRUE(video::SaveBitmap24(Picture(320, 240, 2), path));
  video::TVideoFrame back;
  ASSERT_TRUE(video::LoadBitmap24(path, back));
  EXPECT_EQ(back.Width, 320);
  std::vector<uint32_t> opaque = Picture(320, 240, 2).Pixels;
  for (uint32_t& p : opaque) p |= 0xFF000000u;  // read back as opaque pixels
  EXPECT_EQ(back.Pixels, opaque);
}
