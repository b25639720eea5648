#include "stacker/StackerSettings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

#include "platform/IniFile.h"
#include "stacker/Texts.h"

namespace pilvo {
namespace {

constexpr int kWidth = 275, kHeight = 116;
constexpr size_t kCacheLine = 256;

std::optional<int> ParseInt(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  bool neg = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    neg = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || s.size() > 10) return std::nullopt;
  long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (neg) v = -v;
  if (v > 2147483647LL || v < -2147483648LL) return std::nullopt;
  return int(v);
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Tabs and line ends inside a description would break the line format.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return s;
}

}  // namespace

std::string SettingsPath(const std::string& folder) { return folder + "/plugin.ini"; }
std::string CachePath(const std::string& folder) { return folder + "/dsp_plv2.pic"; }

TWindowSettings ReadWindowSettings(const std::string& iniPath) {
  platform::IniFile ini(iniPath);
  TWindowSettings s;
  std::string pos = ini.ReadString(kSection, "Window", "");
  size_t comma = pos.find(',');
  if (comma != std::string::npos) {
    auto x = ParseInt(std::string_view(pos).substr(0, comma));
    auto y = ParseInt(std::string_view(pos).substr(comma + 1));
    if (x && y) {
      s.HasPosition = true;
      s.Left = *x;
      s.Top = *y;
    }
  }
  s.Shade = ParseInt(ini.ReadString(kSection, "WindowShade", "")).value_or(0);
  s.Docked = ParseInt(ini.ReadString(kSection, "WindowDocked", "")).value_or(0);
  if (s.Docked < 0 || s.Docked > 4) s.Docked = 0;
  return s;
}

void ClampToDesktop(TWindowSettings& s, const TRect& desktop) {
  int x = s.Left, y = s.Top;
  x = std::max(x, desktop.Left);
  y = std::max(y, desktop.Top);
  x = std::min(x, desktop.Right - kWidth);
  y = std::min(y, desktop.Bottom - kHeight);
  if (x != s.Left || y != s.Top) s.Docked = 0;
  s.Left = x;
  s.Top = y;
}

std::string ReadChainSetting(const std::string& iniPath) {
  return platform::IniFile(iniPath).ReadString(kSection, "Plugins", "");
}

bool WriteSettings(const std::string& iniPath, const TWindowSettings* window, const std::string& chainText) {
  platform::IniFile ini(iniPath);  // read now: whatever others wrote meanwhile is kept
  if (window) {
    ini.WriteString(kSection, "Window", std::to_string(window->Left) + "," + std::to_string(window->Top));
    ini.WriteString(kSection, "WindowShade", std::to_string(window->Shade));
    ini.WriteString(kSection, "WindowDocked", std::to_string(window->Docked));
  }
  ini.WriteString(kSection, "Plugins", chainText);
  return ini.Save();
}

std::string ReadChainFile(const std::string& path) { return ReadChainSetting(path); }

bool WriteChainFile(const std::string& path, const std::string& chainText) {
  platform::IniFile ini(path);
  ini.WriteString(kSection, "Plugins", chainText);
  return ini.Save();
}

std::string ChainFileName(const std::string& chosen) {
  size_t slash = chosen.rfind('/');
  std::string base = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
  if (base.size() > 4 && Lower(base.substr(base.size() - 4)) == ".plv") return chosen;
  return chosen + ".plv";
}

void TDescriptionCache::Read(const std::string& path) {
  path_ = path;
  pairs_.clear();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return;
  std::vector<std::pair<std::string, std::string>> inFileOrder;
  std::string line;
  int c;
  bool more = true;
  while (more) {
    line.clear();
    bool cut = false;
    while ((c = std::fgetc(f)) != EOF && c != '\n') {
      if (line.size() < kCacheLine) line.push_back(char(c));
      else cut = true;
    }
    more = c != EOF;
    (void)cut;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0 || tab + 1 >= line.size()) continue;
    std::string name = line.substr(0, tab);
    if (name.find('\0') != std::string::npos) continue;
    inFileOrder.emplace_back(std::move(name), line.substr(tab + 1));
    if (inFileOrder.size() > 4096) break;  // a sane bound for a folder's worth of libraries
  }
  std::fclose(f);
  pairs_.assign(inFileOrder.rbegin(), inFileOrder.rend());
}

const std::string* TDescriptionCache::Find(const std::string& fileName) const {
  std::string key = Lower(fileName);
  for (const auto& p : pairs_)
    if (Lower(p.first) == key) return &p.second;
  return nullptr;
}

void TDescriptionCache::Append(const std::string& fileName, const std::string& description) {
  std::string name = OneLine(fileName), desc = OneLine(description);
  pairs_.insert(pairs_.begin(), {name, desc});
  if (path_.empty()) return;
  FILE* f = std::fopen(path_.c_str(), "a+b");
  if (!f) return;
  // A last line without its newline would swallow the new one.
  bool needNewline = std::fseek(f, -1, SEEK_END) == 0 && std::fgetc(f) != '\n';
  std::fseek(f, 0, SEEK_END);
  std::fprintf(f, "%s%s\t%s\n", needNewline ? "\n" : "", name.c_str(), desc.c_str());
  std::fclose(f);
}

}  // namespace pilvo
