// orvella media and orvella snapshot: the video properties and the player's
// snapshot of a frame, without a window.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "cli/Commands.h"
#include "video/MediaDetails.h"
#include "video/Snapshot.h"
#include "video/VideoController.h"

namespace cli {

int RunMedia(const std::vector<std::string>& args) {
  bool json = false, bad = false;
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (a == "--json") json = true;
    else if (a.starts_with("--")) bad = true;
    else files.push_back(a);
  }
  if (bad || files.size() != 1) {
    std::fprintf(stderr, "Usage: orvella media [--json] FILE\n");
    return 2;
  }
  const video::TMediaDetails d = video::ReadMediaDetails(files[0]);
  if (json) {
    std::string j = "{";
    for (const auto& [name, value] : d.Fields()) j += "\"" + name + "\":\"" + JsonEscape(value) + "\",";
    j.back() = '}';
    std::printf("%s\n", j.c_str());
  } else {
    for (const std::string& line : video::MediaDetailsLines(d)) std::printf("%s\n", line.c_str());
  }
  return d.Status.empty() ? 0 : 1;
}

int RunSnapshot(const std::vector<std::string>& args) {
  std::string file, out;
  long long at = -1;
  bool bad = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--at" && i + 1 < args.size()) {
      char* end = nullptr;
      at = std::strtoll(args[++i].c_str(), &end, 10);
      if (*end || at < 0) bad = true;
    } else if (args[i] == "--out" && i + 1 < args.size()) {
      out = args[++i];
    } else if (args[i].starts_with("--") || !file.empty()) {
      bad = true;
    } else {
      file = args[i];
    }
  }
  if (bad || file.empty() || out.empty() || at < 0) {
    std::fprintf(stderr, "Usage: orvella snapshot FILE --at MS --out FILE.bmp\n");
    return 2;
  }
  std::mutex m;
  std::condition_variable cv;
  bool frame = false, over = false, failed = false;
  video::TVideoController c(
      [&](const video::TVideoEvent& e) {
        std::lock_guard<std::mutex> lock(m);
        if (e.Kind == video::TVideoEventKind::FrameReady) frame = true;
        if (e.Kind == video::TVideoEventKind::Ended) over = true;
        if (e.Kind == video::TVideoEventKind::Failed) failed = over = true;
        cv.notify_all();
      },
      nullptr);
  if (!c.Ready()) {
    std::fprintf(stderr, "Error: %s\n", c.LastError().c_str());
    return 1;
  }
  if (!c.Start(file, false, at)) {
    std::fprintf(stderr, "Error: %s\n", c.LastError().c_str());
    return 1;
  }
  {
    std::unique_lock<std::mutex> lock(m);
    cv.wait_for(lock, std::chrono::seconds(20), [&] { return frame || over; });
  }
  video::TVideoFrame f;
  const bool got = c.CopyFrame(f);
  c.Stop();
  if (!got) {
    std::fprintf(stderr, "Error: %s: %s\n", file.c_str(),
                 failed ? "no picture or sound could be decoded from it" : "no picture at that position");
    return 1;
  }
  std::string error;
  if (!video::SaveBitmap24(f, out, &error)) {
    std::fprintf(stderr, "Error: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace cli
