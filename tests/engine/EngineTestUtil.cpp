#include "EngineTestUtil.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/Messages.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace enginetest {

ScratchDir::ScratchDir() {
  std::string tmpl = (fs::temp_directory_path() / "orvella-engine-XXXXXX").string();
  path_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

ProgramDir::ProgramDir(bool withLibrary) {
  if (withLibrary) {
    fs::create_symlink(std::string(ORVELLA_STAGE_DIR) + "/bass.so", File("bass.so"));
    fs::create_symlink(std::string(ORVELLA_STAGE_DIR) + "/plugins", File("plugins"));
  }
  platform::SetProgramFolder(Path());
}

ProgramDir::~ProgramDir() { platform::SetProgramFolder(std::string(ORVELLA_STAGE_DIR)); }

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Run(const std::string& command, int* status) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) {
    if (status) *status = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = ::pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Media(const std::string& name, const std::string& recipe) {
  std::string dir = std::string(ORVELLA_BINARY_DIR) + "/test-media/engine";
  fs::create_directories(dir);
  std::string path = dir + "/" + name;
  if (fs::exists(path)) return path;
  // Build beside the target, then rename: parallel test processes never see half a file.
  std::string tmp = path + ".tmp" + std::to_string(::getpid()) + platform::ExtractFileExt(name);
  std::string cmd = recipe;
  size_t at;
  while ((at = cmd.find("{out}")) != std::string::npos) cmd.replace(at, 5, Quote(tmp));
  int status = 0;
  Run(cmd + " >/dev/null 2>&1", &status);
  if (status != 0 || !fs::exists(tmp)) {
    fs::remove(tmp);
    return {};
  }
  fs::rename(tmp, path);
  return path;
}

std::string SineWav(double seconds, int hz) {
  char name[64];
  std::snprintf(name, sizeof name, "sine_%d_%.3f.wav", hz, seconds);
  char recipe[256];
  std::snprintf(recipe, sizeof recipe,
                "ffmpeg -nostdin -y -f lavfi -i sine=frequency=%d:sample_rate=44100:duration=%.3f "
                "-ac 2 -c:a pcm_s16le {out}",
                hz, seconds);
  return Media(name, recipe);
}

THeardMatch CompareHeard(const std::vector<int16_t>& src, const std::vector<int16_t>& got) {
  THeardMatch m;
  size_t a = 0, b = 0;
  while (a < src.size() && src[a] == 0) ++a;
  while (b < got.size() && got[b] == 0) ++b;
  m.heard = b < got.size();
  m.srcSamples = src.size() - a;
  m.gotSamples = got.size() - b;
  for (size_t i = 0; a + i < src.size() && b + i < got.size(); ++i)
    m.worst = std::max(m.worst, std::abs(int(std::lround(src[a + i] * 0.9945)) - got[b + i]));
  return m;
}

std::vector<int16_t> ReadWav16(const std::string& path, int* channels, int* rate) {
  std::string d = ReadFile(path);
  std::vector<int16_t> out;
  if (d.size() < 12 || d.compare(0, 4, "RIFF") != 0) return out;
  size_t pos = 12;
  while (pos + 8 <= d.size()) {
    uint32_t size;
    std::memcpy(&size, d.data() + pos + 4, 4);
    std::string id = d.substr(pos, 4);
    if (id == "fmt " && pos + 24 <= d.size()) {
      uint16_t ch;
      uint32_t sr;
      std::memcpy(&ch, d.data() + pos + 10, 2);
      std::memcpy(&sr, d.data() + pos + 12, 4);
      if (channels) *channels = ch;
      if (rate) *rate = static_cast<int>(sr);
    } else if (id == "data") {
      size_t n = std::min<size_t>(size, d.size() - pos - 8) / 2;
      out.resize(n);
      std::memcpy(out.data(), d.data() + pos + 8, n * 2);
      return out;
    }
    pos += 8 + size + (size & 1);
  }
  return out;
}

std::vector<int16_t> FFmpegDecode(const std::string& path) {
  std::string raw = Run("ffmpeg -nostdin -v error -i " + Quote(path) + " -f s16le -ac 2 -ar 44100 -");
  std::vector<int16_t> out(raw.size() / 2);
  std::memcpy(out.data(), raw.data(), out.size() * 2);
  return out;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    platform::PumpAndSleep(5);
  }
  return true;
}

CaptureOutput::CaptureOutput(const std::string& wavPath, int speed) {
  ::setenv("ORVELLA_BASS_CAPTURE", wavPath.c_str(), 1);
  if (speed > 0) ::setenv("ORVELLA_BASS_CAPTURE_FAST", std::to_string(speed).c_str(), 1);
  else ::unsetenv("ORVELLA_BASS_CAPTURE_FAST");
}

CaptureOutput::~CaptureOutput() {
  ::unsetenv("ORVELLA_BASS_CAPTURE");
  ::unsetenv("ORVELLA_BASS_CAPTURE_FAST");
}

SilentOutput::SilentOutput() { ::setenv("ORVELLA_BASS_OUTPUT", "silent", 1); }
SilentOutput::~SilentOutput() { ::unsetenv("ORVELLA_BASS_OUTPUT"); }

std::string LyricMidiFile() {
  auto vlq = [](uint32_t v) {
    std::string out(1, char(v & 0x7F));
    while (v >>= 7) out.insert(out.begin(), char(0x80 | (v & 0x7F)));
    return out;
  };
  std::string trk;
  auto meta = [&](uint32_t delta, int type, const std::string& text) {
    trk += vlq(delta) + char(0xFF) + char(type) + vlq(uint32_t(text.size())) + text;
  };
  meta(0, 3, "Lead");
  meta(0, 5, "Hel-");
  trk += vlq(0) + "\x90\x3C\x64";
  meta(480, 5, "lo");
  trk += vlq(0) + std::string("\x80\x3C\x00", 3);
  trk += vlq(0) + "\x90\x40\x64";
  trk += vlq(480) + std::string("\x80\x40\x00", 3);
  trk += vlq(960) + std::string("\xFF\x2F\x00", 3);
  auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
  return std::string("MThd") + be32(6) + std::string("\0\0\0\x01\x01\xE0", 6) + "MTrk" + be32(uint32_t(trk.size())) +
         trk;
}

}  // namespace enginetest
