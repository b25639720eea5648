#include "cli/Commands.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "engine/VisDataThread.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "plugins/PluginCtrl.h"
#include "plugins/VisDrive2.h"

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

namespace {

// MIDI names need the program folder's soundfont, loaded only when one is asked for (it is large).
void LoadSoundFontFor(engine::TZOZUZivade& eng, const std::vector<std::string>& names, bool addressesOnly) {
  for (const auto& n : names) {
    const bool address = engine::net::IsNetworkAddress(n);
    if (addressesOnly && !address) continue;
    std::string ext = address ? engine::net::UrlExtension(n) : std::filesystem::path(n).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".mid" && ext != ".midi" && ext != ".rmi" && ext != ".kar") continue;
    const std::string font = platform::ProgramFolder() + "plugins/CT4MGM.SF2";
    engine::TMIDI_FONTINFO info;
    if (std::filesystem::exists(font)) eng.LoadSoundFont(font, info);
    return;
  }
}

}  // namespace

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
    std::fprintf(stderr, "Usage: orvella info [--json] FILE|URL...\n");
    return 2;
  }
  SendMessagesToStderr();
  setenv("ORVELLA_BASS_OUTPUT", "silent", 0);  // identifying files needs no sound device
  engine::TZOZUZivade eng;
  eng.AttachFormatAddOns();  // the formats the player sees
  LoadSoundFontFor(eng, files, true);
  bool all = true;
  for (const auto& f : files) {
    engine::TStreamInfo info;
    int supportedBy = 3, pluginIndex = -1;
    std::string pluginName;
    bool ok;
    const bool address = engine::net::IsNetworkAddress(f);
    std::string network;
    if (address) {
      // An address is known only by opening it: what its server and headers tell.
      ok = eng.Open(f);
      if (ok) {
        info = eng.StreamInfo();
        supportedBy = eng.SupportedBy();
        network = eng.NetStream() ? "live broadcast" : "network file";
      } else {
        info.FileName = f;
      }
    } else {
      ok = eng.GetStreamInfo(f, info, supportedBy, pluginIndex, pluginName);
    }
    all = all && ok;
    if (json) {
      std::printf("%s\n", StreamInfoJson(info, ok, supportedBy, pluginIndex, pluginName).c_str());
    } else {
      std::printf("%s\n", f.c_str());
      if (!ok) {
        std::printf("  not recognised\n");
        continue;
      }
      if (!network.empty()) std::printf("  Network:    %s\n", network.c_str());
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
    if (address) eng.Close();
  }
  std::fflush(stdout);
  return all ? 0 : 1;
}

namespace {

// A plug-in named with a folder is taken from there; a bare name from plugins/.
std::string PluginPath(const std::string& name) {
  if (name.find('/') == std::string::npos || name[0] == '/') return name;
  return std::filesystem::absolute(name).lexically_normal().string();
}

const char* InputPluginLoadText(int code) {
  switch (code) {
    case 1: return "Load denied : Output plug-in is not ready";
    case 2: return "Load denied : Already loaded before";
    case 3: return "Load denied : Max. number of plug-ins loaded";
    case 4: return "Load denied : Unknown Error";
    case 5: return "Load denied : Not a valid Winamp input plug-in";
    default: return "";
  }
}

}  // namespace

namespace {

// Sleeps until a message comes (the end of the stream is one), at most `ms`, then handles the
// queue. Polling instead would wake this thread every few milliseconds for nothing (a fast
// capture ends in well under a second, real-time playback runs for minutes). False once WM_QUIT
// was taken.
bool WaitForMessage(int ms) {
  platform::MSG m;
  bool quit = false;
  if (platform::GetMessageTimeout(&m, ms, &quit)) platform::DispatchMessage(&m);
  if (quit) return false;
  return platform::PumpMessages();
}

// LIBRARY:MODULE, the module a number (0 when left out); `lib` keeps the library part.
int SplitModule(std::string& lib) {
  size_t colon = lib.rfind(':');
  if (colon != std::string::npos && colon + 1 < lib.size() &&
      lib.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
    int module = std::atoi(lib.c_str() + colon + 1);
    lib.resize(colon);
    return module;
  }
  return 0;
}

// The module's frame as it was last painted, as a binary PPM.
bool WriteVisImage(platform::HWND frame, const std::string& path) {
  std::vector<uint32_t> px;
  int w = 0, h = 0;
  if (!frame || !plugins::CopyVisFrameSurface(frame, px, w, h) || w <= 0 || h <= 0) {
    std::fprintf(stderr, "orvella play: the visualisation frame has no picture\n");
    return false;
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", w, h);
  std::vector<unsigned char> row(size_t(w) * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint32_t p = px[size_t(y) * w + x];
      row[size_t(x) * 3] = uint8_t(p >> 16);
      row[size_t(x) * 3 + 1] = uint8_t(p >> 8);
      row[size_t(x) * 3 + 2] = uint8_t(p);
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  bool ok = std::fclose(f) == 0;
  std::printf("vis image %s %dx%d\n", path.c_str(), w, h);
  return ok;
}

}  // namespace

int RunPlay(const std::vector<std::string>& args) {
  std::string out;
  bool fast = false;
  bool singleChannel = false;
  std::vector<std::string> inputPlugins;
  std::optional<std::string> dsp, vis, visImage;
  std::optional<long> seek, pauseAt, resumeAfter, duration;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (a == "--fast") {
      fast = true;
    } else if (a == "--single-channel") {
      singleChannel = true;
    } else if (a == "--vis" || a == "--vis-image") {
      auto v = value();
      if (!v || v->empty()) return std::fprintf(stderr, "orvella play: %s needs a file\n", a.c_str()), 2;
      (a == "--vis" ? vis : visImage) = *v;
    } else if (a == "--input-plugin" || a == "--dsp") {
      auto v = value();
      if (!v || v->empty()) return std::fprintf(stderr, "orvella play: %s needs a library\n", a.c_str()), 2;
      if (a == "--dsp") dsp = *v;
      else inputPlugins.push_back(*v);
    } else if (a == "--out") {
      auto v = value();
      if (!v) return std::fprintf(stderr, "orvella play: --out needs a file\n"), 2;
      out = *v;
    } else if (a == "--seek" || a == "--pause-at" || a == "--resume-after" || a == "--duration") {
      auto v = value();
      auto ms = v ? ParseMs(*v) : std::nullopt;
      if (!ms) return std::fprintf(stderr, "orvella play: %s needs milliseconds\n", a.c_str()), 2;
      (a == "--seek" ? seek : a == "--pause-at" ? pauseAt : a == "--resume-after" ? resumeAfter : duration) = ms;
    } else if (a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "orvella play: unknown option '%s'\n", a.c_str());
      return 2;
    } else {
      files.push_back(a);
    }
  }
  if (files.empty() || (pauseAt.has_value() != resumeAfter.has_value())) {
    std::fprintf(stderr, "Usage: orvella play [--out FILE.wav] [--fast] [--seek MS] "
                         "[--pause-at MS --resume-after MS] [--duration MS] [--single-channel] "
                         "[--dsp LIBRARY[:MODULE]] [--vis LIBRARY[:MODULE] [--vis-image FILE.ppm]] "
                         "[--input-plugin LIBRARY]... FILE|URL...\n");
    return 2;
  }
  if (!out.empty()) {
    setenv("ORVELLA_BASS_CAPTURE", out.c_str(), 1);
    if (fast) setenv("ORVELLA_BASS_CAPTURE_FAST", "1", 1);
  }
  SendMessagesToStderr();
  engine::TZOZUZivade eng;
  eng.AttachFormatAddOns();  // the formats the player sees
  LoadSoundFontFor(eng, files, false);
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
  eng.OnGetMeta = [](engine::TZOZUZivade*, const std::string& title) {
    std::printf("event OnGetMeta %s\n", title.c_str());
    std::fflush(stdout);
  };
  eng.OnDownloaded = [](engine::TZOZUZivade*, uint32_t) {
    std::printf("event OnDownloaded\n");
    std::fflush(stdout);
  };
  eng.OnGetChannelInfo = [](engine::TZOZUZivade*, engine::PChannelInfo ci) {
    std::printf("event OnGetChannelInfo %d kbit/s %d Hz %d channel(s)\n", int(ci->BitRate), int(ci->SampleRate),
                int(ci->Channels));
    std::fflush(stdout);
  };
  eng.OnPluginStartPlay = [](engine::TZOZUZivade*, engine::PChannelInfo ci) {
    std::printf("event OnPluginStartPlay %d Hz %d bits %d channel(s)\n", int(ci->SampleRate),
                int(ci->BitsPerSample), int(ci->Channels));
    std::fflush(stdout);
  };
  if (singleChannel) eng.SetSingleChannel(true);
  for (const auto& lib : inputPlugins) {
    int code = plugins::LoadInputPlugin(PluginPath(lib));
    if (code != 0) {
      std::fprintf(stderr, "orvella play: input plug-in '%s': %s\n", lib.c_str(), InputPluginLoadText(code));
      return 1;
    }
    std::printf("input plug-in %s: %s\n", lib.c_str(),
                plugins::GetPluginInfo(plugins::GetPluginIndex(PluginPath(lib))).Description.c_str());
  }
  if (dsp) {
    std::string lib = *dsp;
    int module = SplitModule(lib);
    if (!eng.StartDSPPlugin(PluginPath(lib), module)) return 1;
    std::printf("dsp %s module %d\n", lib.c_str(), module);
  }
  if (vis) {
    // Headless: the module's frame is an offscreen surface the host keeps.
    std::string lib = *vis;
    int module = SplitModule(lib);
    if (lib.find('/') == std::string::npos) lib = platform::ProgramFolder() + "plugins/" + lib;
    else lib = PluginPath(lib);
    eng.OnVisWindowShow = [](engine::TZOZUZivade*, const plugins::TVisPluginInfo& info) {
      std::printf("event OnVisWindowShow %s\n", info.ThreadId ? "shown" : "closed");
      std::fflush(stdout);
    };
    if (!eng.RunVisPlugin(lib, module)) return 1;
    // The module is ready (or has failed) before playback starts.
    for (int i = 0; i < 400 && eng.VisStarting(); ++i) platform::PumpAndSleep(10);
    if (!eng.VisActive()) {
      std::fprintf(stderr, "orvella play: visualisation module %d of '%s' did not start\n", module, lib.c_str());
      return 1;
    }
    std::printf("vis %s module %d\n", vis->c_str(), module);
  }
  if (singleChannel || dsp || !inputPlugins.empty()) {
    std::printf("channel mode %s\n", eng.PluginBuffersReady() && !singleChannel ? "dual" : "single");
    std::fflush(stdout);
  }
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
    bool enough = false;
    while (!ended && eng.Mode() != engine::plmStopped && eng.Mode() != engine::plmStandby) {
      // --duration: that much audio heard ends the stream (a broadcast never ends by itself).
      if (duration && eng.Mode() == engine::plmPlaying && eng.GetPosition() >= *duration) {
        enough = true;
        eng.Stop();
        break;
      }
      if (pauseAt && !pausedOnce && eng.Mode() == engine::plmPlaying && eng.GetPosition() >= *pauseAt) {
        pausedOnce = true;
        eng.Pause(true);
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(*resumeAfter);
        while (std::chrono::steady_clock::now() < until) platform::PumpAndSleep(10);
        eng.Pause(false);
      }
      // The end, titles and mode changes all arrive as messages: only the position checks above
      // need this thread to look on its own, so without them it sleeps until a message comes.
      if (!WaitForMessage(fast || duration || pauseAt ? 20 : 250)) break;
    }
    if (!ended && !enough) ++failures;
  }
  if (vis && eng.VisData()) {
    std::printf("vis frames %llu\n", static_cast<unsigned long long>(eng.VisData()->FramesProduced()));
    if (visImage && !WriteVisImage(eng.VisWindowInfo().VisWindow, *visImage)) ++failures;
    eng.QuitVisPlugin();
  }
  eng.Close();
  return failures == 0 ? 0 : 1;
}

}  // namespace cli
