#include "TestUtil.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace tagtest {

ScratchDir::ScratchDir() {
  std::string tmpl = std::filesystem::temp_directory_path().string() + "/orvella-tags-XXXXXX";
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
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
  if (status) *status = rc;
  return out;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

std::string Python() { return "/usr/bin/python3"; }

std::string RunPython(const std::string& script, const std::string& path, int* status) {
  return Run("PYTHONIOENCODING=utf-8 " + Python() + " - " + Quote(path) + " 2>&1 <<'ORVELLA_PY_EOF'\nimport sys\np = sys.argv[1]\n" + script +
                 "\nORVELLA_PY_EOF\n",
             status);
}

void CopyFile(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

std::string CachedMedia(const std::string& name, const std::string& recipe) {
  std::string dir = std::string(ORVELLA_BINARY_DIR) + "/test-media/tags";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  // The recipe's hash is part of the name, so a changed recipe never meets a stale file.
  char tag[20];
  std::snprintf(tag, sizeof tag, "-%08x", unsigned(std::hash<std::string>{}(recipe) & 0xFFFFFFFFu));
  const size_t dot = name.rfind('.');
  const std::string cachedName = name.substr(0, dot) + tag + (dot == std::string::npos ? "" : name.substr(dot));
  std::string path = dir + "/" + cachedName;
  if (FileExists(path)) return path;
  std::string tmp = dir + "/.tmp-" + std::to_string(::getpid()) + "-" + cachedName;
  std::string cmd = recipe;
  for (size_t at; (at = cmd.find("{out}")) != std::string::npos;) cmd.replace(at, 5, Quote(tmp));
  int status = 0;
  Run("(" + cmd + ") >/dev/null 2>&1", &status);
  if (status != 0 || !FileExists(tmp)) {
    std::filesystem::remove(tmp, ec);
    return "";
  }
  std::filesystem::rename(tmp, path, ec);
  return ec ? "" : path;
}

std::string FakeAudio(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (auto& c : s) {
    x = x * 1664525u + 1013904223u;
    c = char((x >> 24) & 0x7F);  // never 0xFF: no false frame syncs
  }
  return s;
}

std::string MakeID3v1(const std::string& title, const std::string& artist, const std::string& album,
                      const std::string& year, const std::string& comment, int track, uint8_t genre) {
  std::string tag(128, '\0');
  tag.replace(0, 3, "TAG");
  auto put = [&](size_t at, const std::string& v, size_t max) { tag.replace(at, std::min(max, v.size()), v.substr(0, max)); };
  put(3, title, 30);
  put(33, artist, 30);
  put(63, album, 30);
  put(93, year, 4);
  put(97, comment, track >= 0 ? 28 : 30);
  if (track >= 0) {
    tag[125] = 0;
    tag[126] = char(track);
  }
  tag[127] = char(genre);
  return tag;
}

ProbeInfo Probe(const std::string& path) {
  ProbeInfo info;
  std::string out = Run("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels,duration,bit_rate"
                        " -show_entries format=duration,bit_rate -of default=noprint_wrappers=1 " +
                        Quote(path) + " 2>/dev/null");
  std::istringstream in(out);
  std::string line;
  double streamDuration = 0, formatDuration = 0;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string k = line.substr(0, eq), v = line.substr(eq + 1);
    if (v == "N/A") continue;
    if (k == "sample_rate") info.sampleRate = std::atoi(v.c_str());
    if (k == "channels") info.channels = std::atoi(v.c_str());
    if (k == "duration") {
      if (streamDuration == 0)
        streamDuration = std::atof(v.c_str());
      else
        formatDuration = std::atof(v.c_str());
    }
    if (k == "bit_rate" && info.bitRate == 0) info.bitRate = std::atoll(v.c_str());
  }
  info.duration = streamDuration > 0 ? streamDuration : formatDuration;
  return info;
}

}  // namespace tagtest
