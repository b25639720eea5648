// The stream information cache: a file is read again only when it changed.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>

#include "PlaylistTestUtil.h"
#include "playlist/Playlist.h"

using namespace playlist;
using namespace pltest;

namespace {

void SetMtime(const std::string& path, long seconds) {
  struct timeval tv[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimes(path.c_str(), tv), 0);
}

}  // namespace

TEST(StreamInfoCache, AFileIsReadOnceUntilItsSizeOrTimeChanges) {
  TempDir dir;
  FakeInfo inner;
  TStreamInfoCache cache(inner);
  std::string a = dir.Make("a.mp3", "1234");
  SetMtime(a, 1000000);
  inner.Set(a, 5000, "Ann", "Song");
  engine::TStreamInfo info;
  ASSERT_TRUE(cache.GetStreamInfo(a, info));
  ASSERT_TRUE(cache.GetStreamInfo(a, info));
  EXPECT_EQ(info.Duration, 5000);
  EXPECT_EQ(inner.queries.size(), 1u);

  inner.Set(a, 6000);
  dir.Make("a.mp3", "12345");  // size changes
  SetMtime(a, 1000000);
  ASSERT_TRUE(cache.GetStreamInfo(a, info));
  EXPECT_EQ(info.Duration, 6000);
  EXPECT_EQ(inner.queries.size(), 2u);

  inner.Set(a, 7000);
  SetMtime(a, 1000001);  // only the time changes
  ASSERT_TRUE(cache.GetStreamInfo(a, info));
  EXPECT_EQ(info.Duration, 7000);
  EXPECT_EQ(inner.queries.size(), 3u);

  // Failures are remembered too, and a vanished file is asked about every time.
  std::string bad = dir.Make("bad.mp3", "no");
  EXPECT_FALSE(cache.GetStreamInfo(bad, info));
  EXPECT_FALSE(cache.GetStreamInfo(bad, info));
  EXPECT_EQ(inner.queries.size(), 4u);
  std::string gone = dir.File("gone.mp3");
  inner.Set(gone, 1);
  EXPECT_TRUE(cache.GetStreamInfo(gone, info));
  EXPECT_TRUE(cache.GetStreamInfo(gone, info));
  EXPECT_EQ(inner.queries.size(), 6u);
}

TEST(StreamInfoCache, AFolderAddReadsEachFileOnceWithTheSameResultsAsWithout) {
  TempDir dir;
  FakeInfo plain;
  FakeInfo inner;
  for (int i = 0; i < 40; ++i) {
    std::string p = dir.Make("f/" + std::to_string(i) + ".mp3", std::string(size_t(i + 1), 'x'));
    plain.Set(p, 1000 * i, i % 2 ? "Artist" : "", "T" + std::to_string(i));
    inner.table[p] = plain.table[p];
  }
  TPlaylistHost h1, h2;
  TPlaylist without(plain, h1);
  TStreamInfoCache cache(inner);
  TPlaylist with(cache, h2);
  without.AddFolder(dir.File("f"));
  with.AddFolder(dir.File("f"));
  EXPECT_EQ(plain.queries.size(), 80u);  // once to add, once for the times
  EXPECT_EQ(inner.queries.size(), 40u);
  EXPECT_EQ(cache.InnerReads(), 40u);
  ASSERT_EQ(with.Count(), without.Count());
  for (int i = 0; i < with.Count(); ++i) {
    EXPECT_EQ(with.Entry(i).Title, without.Entry(i).Title);
    EXPECT_EQ(with.Entry(i).Time, without.Entry(i).Time);
    EXPECT_EQ(with.Entry(i).File, without.Entry(i).File);
  }
  EXPECT_EQ(with.TotalTime, without.TotalTime);
  EXPECT_EQ(with.TotalTime, 780000u);
  // One more file afterwards: only that file is read.
  std::string extra = dir.Make("f/extra.mp3");
  inner.Set(extra, 500);
  with.AddFiles({extra});
  EXPECT_EQ(inner.queries.size(), 41u);
  EXPECT_EQ(with.TotalTime, 780500u);
}

TEST(StreamInfoCache, KeepsAtMostItsBoundForgettingTheLeastRecentlyUsed) {
  TempDir dir;
  FakeInfo inner;
  TStreamInfoCache cache(inner, 3);
  std::string a = dir.Make("a.mp3", "a"), b = dir.Make("b.mp3", "b"), c = dir.Make("c.mp3", "c"),
              d = dir.Make("d.mp3", "d");
  for (const auto& p : {a, b, c, d}) inner.Set(p, 1000);
  engine::TStreamInfo info;
  for (const auto& p : {a, b, c}) ASSERT_TRUE(cache.GetStreamInfo(p, info));
  ASSERT_TRUE(cache.GetStreamInfo(a, info));  // a is now the most recently used
  EXPECT_EQ(inner.queries.size(), 3u);
  ASSERT_TRUE(cache.GetStreamInfo(d, info));  // forgets b
  EXPECT_EQ(cache.Size(), 3u);
  ASSERT_TRUE(cache.GetStreamInfo(a, info));
  ASSERT_TRUE(cache.GetStreamInfo(c, info));
  ASSERT_TRUE(cache.GetStreamInfo(d, info));
  EXPECT_EQ(inner.queries.size(), 4u);
  ASSERT_TRUE(cache.GetStreamInfo(b, info));  // read again; forgets a, the least recently used now
  EXPECT_EQ(inner.queries.size(), 5u);
  EXPECT_EQ(inner.queries.back(), b);
  ASSERT_TRUE(cache.GetStreamInfo(a, info));
  EXPECT_EQ(inner.queries.size(), 6u);
  EXPECT_EQ(cache.Size(), 3u);
  // A smaller bound forgets at once; the answers stay right.
  cache.SetCapacity(1);
  EXPECT_EQ(cache.Size(), 1u);
  inner.Set(a, 2500);  // the kept record (a) is still answered from the cache
  ASSERT_TRUE(cache.GetStreamInfo(a, info));
  EXPECT_EQ(info.Duration, 1000);
  ASSERT_TRUE(cache.GetStreamInfo(c, info));
  EXPECT_EQ(info.Duration, 1000);
  EXPECT_EQ(cache.Size(), 1u);
}

TEST(StreamInfoCache, FolderAfterFolderReadsEachFileOnceAndKeepsOnlyTheListPlusTheBound) {
  TempDir dir;
  FakeInfo inner;
  TStreamInfoCache cache(inner, 25);
  TPlaylistHost host;
  TPlaylist pl(cache, host);
  auto makeFolder = [&](int f) {
    for (int i = 0; i < 20; ++i) {
      std::string p = dir.Make("f" + std::to_string(f) + "/" + std::to_string(i) + ".mp3");
      inner.Set(p, 1000, "A", "T" + std::to_string(f * 100 + i));
    }
    return dir.File("f" + std::to_string(f));
  };
  // Appending: the list outgrows the bound, and still every add reads each of
  // its files once (the time column of the older rows comes from the cache).
  for (int f = 0; f < 4; ++f) {
    const std::string folder = makeFolder(f);
    const size_t before = inner.queries.size();
    pl.AddFolder(folder);
    EXPECT_EQ(inner.queries.size() - before, 20u) << "folder " << f;
    EXPECT_LE(cache.Size(), std::max<size_t>(25, size_t(pl.Count())));
  }
  ASSERT_EQ(pl.Count(), 80);
  const std::vector<std::string> all = Titles(pl);
  for (int f = 0; f < 4; ++f)
    for (int i = 0; i < 20; ++i)
      EXPECT_EQ(std::count(all.begin(), all.end(), "A - T" + std::to_string(f * 100 + i)), 1);
  EXPECT_EQ(pl.Entry(0).Time, "00:00:01");
  EXPECT_EQ(pl.TotalTime, 80000u);
  // Replacing the list folder after folder (Open folder): the records of the
  // folders that left the list are forgotten down to the bound.
  for (int f = 4; f < 10; ++f) {
    const std::string folder = makeFolder(f);
    host.SetReplaceOnAdd(true);
    const size_t before = inner.queries.size();
    pl.AddFolder(folder);
    EXPECT_EQ(inner.queries.size() - before, 20u) << "folder " << f;
    ASSERT_EQ(pl.Count(), 20);
    EXPECT_LE(cache.Size(), 25u) << "folder " << f;
  }
  const std::vector<std::string> titles = Titles(pl);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(std::count(titles.begin(), titles.end(), "A - T" + std::to_string(900 + i)), 1);
  EXPECT_EQ(pl.TotalTime, 20000u);
}
