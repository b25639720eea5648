#include "cli/Commands.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"

namespace cli {
namespace {

// Messages the engine would show go to standard error, one per line.
void SendMessagesToStderr() {
  platform::SetMessageSink([](const platform::MessageRequest& req) {
    std::string text = req.text;
    for (auto& c : text)
      if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "%s: %s\n", req.caption.c_str(), text.c_str());
    return req.buttons == platform::MsgButtons::YesNo || req.buttons == platform::MsgButtons::YesNoCancel
               ? platform::MsgResult::Yes
               : platform::MsgResult::Ok;
  });
}

std::optional<long> ParseMs(const std::string& s) {
  if (s.empty()) return std::nullopt;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (*end || v < 0) return std::nullopt;
  return v;
}

}  // namespace

std::string JsonEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += char(c);
        }
    }
  }
  return out;
}

std::string StreamInfoJson(const engine::TStreamInfo& i, bool recognised, int supportedBy, int pluginIndex,
                           const std::string& pluginName) {
  auto str = [](const char* key, const std::string& v) { return "\"" + std::string(key) + "\":\"" + JsonEscape(v) + "\""; };
  auto num = [](const char* key, long long v) { return "\"" + std::string(key) + "\":" + std::to_string(v); };
  std::string j = "{";
  j += str("FileName", i.FileName) + ",";
  j += num("FileSize", i.FileSize) + ",";
  j += num("SampleRate", i.SampleRate) + ",";
  j += num("BitRate", i.BitRate) + ",";
  j += num("BitsPerSample", i.BitsPerSample) + ",";
  j += num("Duration", i.Duration) + ",";
  j += num("Channels", i.Channels) + ",";
  j += num("Format", i.Format) + ",";
  j += str("Title", i.Title) + ",";
  j += str("Artist", i.Artist) + ",";
  j += str("Album", i.Album) + ",";
  j += str("Year", i.Year) + ",";
  j += str("Genre", i.Genre) + ",";
  j += num("GenreID", i.GenreID) + ",";
  j += num("Track", i.Track) + ",";
  j += str("Comment", i.Comment) + ",";
  j += str("FormatName", engine::FormatName(i.Format)) + ",";
  j += num("SupportedBy", supportedBy) + ",";
  j += num("PluginIndex", pluginIndex) + ",";
  j += str("PluginName", pluginName) + ",";
  j += std::string("\"Recognised\":") + (recognised ? "true" : "false");
  j += "}";
  return j;
}

int RunInfo(const std::vector<std::string>& args) {
  bool json = false;
  std::vector<std::string> files;
  for (const auto& a : args) {
    if (a == "--json") json = true;
    else if (a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "orvella info: unknown option '%s'\n", a.c_str());
      return 2;
    } else files.push_back(a);
  }
  if (files.empty()) {
    std::fprintf(stderr, "Usage: orvella info [--json] FILE...\n");
    return 2;
  }
  SendMessagesToStderr();
  setenv("ORVELLA_BASS_OUTPUT", "silent", 0);  // identifying files needs no sound device
  engine::TZOZUZivade eng;
  bool all = true;
  for (const auto& f : files) {
    engine::TStreamInfo info;
    int supportedBy = 3, pluginIndex = -1;
    std::string pluginName;
    bool ok = eng.GetStreamInfo(f, info, supportedBy, pluginIndex, pluginName);
    all = all && ok;
    if (json) {
      std::printf("%s\n", StreamInfoJson(info, ok, supportedBy, pluginIndex, pluginName).c_str());
    } else {
      std::printf("%s\n", f.c_str());
      if (!ok) {
        std::printf("  not recognised\n");
        continue;
      }
      std::printf("  Format:     %s (0x%X)\n", engine::FormatName(info.Format).c_str(), unsigned(info.Format));
      std::printf("  Duration:   %d ms\n", info.Duration);
      std::printf("  SampleRate: %u Hz, %u channel(s), %d bits\n", info.SampleRate, unsigned(info.Channels),
                  int(info.BitsPerSample));
      std::printf("  BitRate:    %d kbit/s\n", info.BitRate);
      std::printf("  FileSize:   %u bytes\n", info.FileSize);
      if (!info.Title.empty()) std::printf("  Title:      %s\n", info.Title.c_str());
      if (!info.Artist.empty()) std::printf("  Artist:     %s\n", info.Artist.c_str());
      if (!info.Album.empty()) std::printf("  Album:      %s\n", info.Album.c_str());
      if (!info.Year.empty()) std::printf("  Year:       %s\n", info.Year.c_str());
      if (!info.Genre.empty()) std::printf("  Genre:      %s\n", info.Genre.c_str());
      if (info.Track) std::printf("  Track:      %u\n", unsigned(info.Track));
      if (!info.Comment.empty()) std::printf("  Comment:    %s\n", info.Comment.c_str());
    }
  }
  std::fflush(stdout);
  return all ? 0 : 1;
}

int RunPlay(const std::vector<std::string>& args) {
  std::string out;
  bool fast = false;
  std::optional<long> seek, pauseAt, resumeAfter;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (a == "--fast") {
      fast = true;
    } else if (a == "--out") {
      auto v = value();
      if (!v) return std::fprintf(stderr, "orvella play: --out needs a file\n"), 2;
      out = *v;
    } else if (a == "--seek" || a == "--pause-at" || a == "--resume-after") {
      auto v = value();
      auto ms = v ? ParseMs(*v) : std::nullopt;
      if (!ms) return std::fprintf(stderr, "orvella play: %s needs milliseconds\n", a.c_str()), 2;
      (a == "--seek" ? seek : a == "--pause-at" ? pauseAt : resumeAfter) = ms;
    } else if (a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "orvella play: unknown option '%s'\n", a.c_str());
      return 2;
    } else {
      files.push_back(a);
    }
  }
  if (files.empty() || (pauseAt.has_value() != resumeAfter.has_value())) {
    std::fprintf(stderr, "Usage: orvella play [--out FILE.wav] [--fast] [--seek MS] "
                         "[--pause-at MS --resume-after MS] FILE...\n");
    return 2;
  }
  if (!out.empty()) {
    setenv("ORVELLA_BASS_CAPTURE", out.c_str(), 1);
    if (fast) setenv("ORVELLA_BASS_CAPTURE_FAST", "1", 1);
  }
  SendMessagesToStderr();
  engine::TZOZUZivade eng;
  bool ended = false;
  eng.OnModeChange = [](engine::TZOZUZivade*, engine::TPlayerMode from, engine::TPlayerMode to) {
    std::printf("mode %s -> %s\n", engine::PlayerModeName(from), engine::PlayerModeName(to));
    std::fflush(stdout);
  };
  eng.OnPlayEnd = [&ended](engine::TZOZUZivade*) {
    std::printf("event OnPlayEnd\n");
    std::fflush(stdout);
    ended = true;
  };
  eng.OnGetLyric = [](engine::TZOZUZivade*, const char* text) {
    std::printf("event OnGetLyric %s\n", text ? text : "");
    std::fflush(stdout);
  };
  int failures = 0;
  for (const auto& f : files) {
    std::printf("file %s\n", f.c_str());
    std::fflush(stdout);
    if (!eng.Open(f)) {
      ++failures;
      continue;
    }
    ended = false;
    // Seeking before play starts: with a fast clock the file could end before a later seek.
    if (seek) eng.SetPosition(static_cast<uint32_t>(*seek));
    eng.Play();
    if (eng.Mode() != engine::plmPlaying) {
      ++failures;
      continue;
    }
    bool pausedOnce = false;
    while (!ended && eng.Mode() != engine::plmStopped && eng.Mode() != engine::plmStandby) {
      if (pauseAt && !pausedOnce && eng.Mode() == engine::plmPlaying && eng.GetPosition() >= *pauseAt) {
        pausedOnce = true;
        eng.Pause(true);
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(*resumeAfter);
        while (std::chrono::steady_clock::now() < until) platform::PumpAndSleep(10);
        eng.Pause(false);
      }
      if (!platform::PumpAndSleep(fast ? 2 : 20)) break;
    }
    if (!ended) ++failures;
  }
  eng.Close();
  return failures == 0 ? 0 : 1;
}

}  // namespace cli
