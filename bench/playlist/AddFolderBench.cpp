// Adding a folder of 5,000 generated audio files: time until the list and its
// times are complete, and the time of adding one more file afterwards, with the
// stream information cache and without it (every file read twice).
//
// Usage: bench_playlist_addfolder [FILES] (default 5000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/ZOZUZivade.h"
#include "platform/Paths.h"
#include "playlist/Playlist.h"
#include "playlist/ui/FormPL.h"

#include <QApplication>
#include <QTreeWidget>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

struct Result {
  double addFolderMs = 0, addOneMs = 0;
  uint64_t reads = 0;
  uint32_t total = 0;
  int count = 0;
};

Result Run(playlist::IStreamInfoSource& src, const std::string& folder, const std::string& extra,
           const playlist::TStreamInfoCache* cache) {
  playlist::TPlaylistHost host;
  playlist::TPlaylist pl(src, host);
  size_t progressCalls = 0;
  pl.OnProgress = [&](const playlist::TAddProgress&) { ++progressCalls; };
  Result r;
  auto t0 = Clock::now();
  pl.AddFolder(folder);
  auto t1 = Clock::now();
  r.count = pl.Count();
  pl.AddFiles({extra});
  auto t2 = Clock::now();
  r.addFolderMs = Ms(t0, t1);
  r.addOneMs = Ms(t1, t2);
  r.total = pl.TotalTime;
  r.reads = cache ? cache->InnerReads() : 0;
  std::printf("  (%zu progress reports)\n", progressCalls);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 5000;
  platform::SetProgramFolder(ORVELLA_STAGE_DIR);
  setenv("ORVELLA_BASS_OUTPUT", "silent", 1);

  char tmpl[] = "/tmp/orvella-bench-pl-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string root = tmpl;
  const std::string src = root + "/src.mp3";
  const std::string cmd = "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:duration=3 -ac 2 "
                          "-c:a libmp3lame -b:a 128k -id3v2_version 3 -metadata title=Tone -metadata artist=Bench '" +
                          src + "'";
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "ffmpeg failed\n");
    return 1;
  }
  const std::string folder = root + "/music/";
  for (int i = 0; i < files; ++i) {
    std::string sub = folder + "album" + std::to_string(i / 100) + "/";
    fs::create_directories(sub);
    fs::copy_file(src, sub + "track" + std::to_string(i) + ".mp3");
  }
  const std::string extra = root + "/extra.mp3";
  fs::copy_file(src, extra);

  engine::TZOZUZivade eng;
  if (!eng.Ready()) {
    std::fprintf(stderr, "engine not ready\n");
    return 1;
  }
  playlist::TEngineStreamInfo engineInfo(eng);

  std::printf("Adding a folder of %d MP3 files (warm file cache)\n", files);
  {
    playlist::TStreamInfoCache warm(engineInfo);  // one pass so both runs see a warm page cache
    playlist::TPlaylistHost h;
    playlist::TPlaylist pl(warm, h);
    pl.AddFolder(folder);
  }
  std::printf("without the cache (each file read twice):\n");
  Result plain = Run(engineInfo, folder, extra, nullptr);
  std::printf("  add folder until titles and times are complete: %.1f ms (%d entries; total after one more %u ms)\n",
              plain.addFolderMs, plain.count, plain.total);
  std::printf("  add one more file afterwards:                    %.1f ms\n", plain.addOneMs);

  std::printf("with the cache (size and modification time):\n");
  playlist::TStreamInfoCache cache(engineInfo);
  Result cached = Run(cache, folder, extra, &cache);
  std::printf("  add folder until titles and times are complete: %.1f ms (%d entries; total after one more %u ms; %llu file reads in all)\n",
              cached.addFolderMs, cached.count, cached.total, static_cast<unsigned long long>(cached.reads));
  std::printf("  add one more file afterwards:                    %.1f ms\n", cached.addOneMs);
  std::printf("results equal: %s\n", plain.total == cached.total && plain.count == cached.count ? "yes" : "NO");

  // The same through the window: until every row with its time is shown.
  {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qargc = 1;
    char qname[] = "bench";
    char* qargv[] = {qname, nullptr};
    QApplication app(qargc, qargv);
    playlist::TStreamInfoCache uiCache(engineInfo);
    playlist::TPlaylistHost host;
    playlist::TPlaylist pl(uiCache, host);
    playlist::TFormPL form(pl);
    form.SaveOnDestroy = false;
    form.show();
    auto t0 = Clock::now();
    pl.AddFolder(folder);
    QCoreApplication::processEvents();
    auto t1 = Clock::now();
    pl.AddFiles({extra});
    QCoreApplication::processEvents();
    auto t2 = Clock::now();
    std::printf("through the playlist window (offscreen), with the cache:\n");
    std::printf("  add folder until every row and time is shown:   %.1f ms (%d rows)\n", Ms(t0, t1),
                form.ListView1()->topLevelItemCount() - 1);
    std::printf("  add one more file afterwards:                    %.1f ms\n", Ms(t1, t2));
  }

  fs::remove_all(root);
  return 0;
}
