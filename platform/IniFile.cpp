#include "IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace platform {
namespace {

std::function<bool(std::string_view)>& FaultHook() {
  static std::function<bool(std::string_view)> hook;
  return hook;
}


std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = x - 'A' + 'a';
    if (y >= 'A' && y <= 'Z') y = y - 'A' + 'a';
    if (x != y) return false;
  }
  return true;
}

// "[name]" gives name; anything else gives nothing.
std::optional<std::string_view> SectionName(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() != '[') return std::nullopt;
  size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

struct KeyValue {
  std::string_view key, value;
};

std::optional<KeyValue> SplitKey(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyValue{Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

// Cuts after `max` UTF-8 characters, never inside a character.
std::string CutCharacters(std::string_view s, size_t max) {
  size_t chars = 0, i = 0;
  while (i < s.size()) {
    if (chars == max) return std::string(s.substr(0, i));
    unsigned char c = s[i];
    size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    i += len;
    ++chars;
  }
  return std::string(s);
}

// Whole-text integer in decimal, or hexadecimal with "$" or "0x"; nothing else.
std::optional<int> ParseInteger(std::string_view s) {
  s = Trim(s);
  if (s.empty()) return std::nullopt;
  bool neg = false;
  if (s.front() == '+' || s.front() == '-') {
    neg = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  long long v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    v = v * base + d;
    if (v > 0xFFFFFFFFLL) return std::nullopt;
  }
  if (base == 16) {  // hexadecimal may name the full 32-bit pattern
    int r = static_cast<int>(static_cast<uint32_t>(v));
    return neg ? -r : r;
  }
  if (neg) v = -v;
  if (v > 2147483647LL || v < -2147483648LL) return std::nullopt;
  return static_cast<int>(v);
}

}  // namespace

void IniFile::SetFaultHook(std::function<bool(std::string_view step)> hook) { FaultHook() = std::move(hook); }

// A refused step reports an input/output error, so callers that name the cause have one.
bool WriteStepAllowed(std::string_view step) {
  auto& hook = FaultHook();
  if (!hook || hook(step)) return true;
  errno = EIO;
  return false;
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
  // Only a regular file is read: a folder of that name would throw from the
  // stream and a FIFO would block the caller. Such a document starts empty
  // and its Save reports the failure.
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  std::string data;
  try {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;
    data.assign(std::min<size_t>(size_t(st.st_size), kIniMaxFile + 1), '\0');
    in.read(data.data(), std::streamsize(data.size()));
    data.resize(size_t(in.gcount()));
  } catch (const std::exception&) {
    return;
  }
  if (data.size() > kIniMaxFile) {
    // Whole lines only: a cut line would read as a different value.
    partial_ = true;
    const size_t lastEnd = data.find_last_of("\r\n", kIniMaxFile - 1);
    data.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
  }
  if (data.empty()) return;
  size_t crlf = data.find("\r\n");
  size_t lf = data.find('\n');
  eol_ = (lf == std::string::npos || crlf != std::string::npos) ? "\r\n" : "\n";
  finalEol_ = data.back() == '\n' || data.back() == '\r';
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find_first_of("\r\n", pos);
    if (end == std::string::npos) {
      lines_.push_back({data.substr(pos)});
      break;
    }
    lines_.push_back({data.substr(pos, end - pos)});
    pos = end + 1;
    if (data[end] == '\r' && pos < data.size() && data[pos] == '\n') ++pos;
  }
}

std::optional<size_t> IniFile::FindSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view text = lines_[i].text;
    if (i == 0 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    auto name = SectionName(text);
    if (name && EqualNoCase(*name, Trim(section))) return i;
  }
  return std::nullopt;
}

size_t IniFile::SectionEnd(size_t sectionLine) const {
  size_t i = sectionLine + 1;
  while (i < lines_.size() && !SectionName(lines_[i].text)) ++i;
  return i;
}

std::optional<size_t> IniFile::FindKey(size_t sectionLine, std::string_view key) const {
  size_t end = SectionEnd(sectionLine);
  for (size_t i = sectionLine + 1; i < end; ++i) {
    auto kv = SplitKey(lines_[i].text);
    if (kv && EqualNoCase(kv->key, Trim(key))) return i;
  }
  return std::nullopt;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  auto sec = FindSection(section);
  std::optional<size_t> line;
  if (sec) line = FindKey(*sec, key);
  std::string_view value = def;
  if (line) {
    value = SplitKey(lines_[*line].text)->value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
  }
  return CutCharacters(value, kIniMaxValue);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  if (!HasKey(section, key)) return def;
  return ParseInteger(ReadString(section, key, "")).value_or(def);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool IniFile::HasKey(std::string_view section, std::string_view key) const {
  auto sec = FindSection(section);
  return sec && FindKey(*sec, key);
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  auto sec = FindSection(section);
  if (!sec) return keys;
  size_t end = SectionEnd(*sec);
  for (size_t i = *sec + 1; i < end; ++i)
    if (auto kv = SplitKey(lines_[i].text)) keys.emplace_back(kv->key);
  return keys;
}

namespace {
// A line break in a name or value would start a new line of the file: a value such as a
// path with a newline could add keys or sections of its own. Breaks become blanks.
std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}
}  // namespace

void IniFile::WriteString(std::string_view sectionText, std::string_view keyText, std::string_view valueText) {
  const std::string section = OneLine(sectionText), key = OneLine(keyText), value = OneLine(valueText);
  auto sec = FindSection(section);
  if (!sec) {
    lines_.push_back({"[" + std::string(Trim(section)) + "]"});
    lines_.push_back({std::string(Trim(key)) + "=" + value});
    return;
  }
  if (auto line = FindKey(*sec, key)) {
    std::string name(SplitKey(lines_[*line].text)->key);
    lines_[*line].text = name + "=" + value;
    return;
  }
  // After the section's last non-blank line, so blank separators stay between sections.
  size_t end = SectionEnd(*sec);
  size_t at = end;
  while (at > *sec + 1 && Trim(lines_[at - 1].text).empty()) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), {std::string(Trim(key)) + "=" + value});
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
  auto sec = FindSection(section);
  if (!sec) return;
  if (auto line = FindKey(*sec, key)) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*line));
}

std::string IniFile::Text() const {
  std::string out;
  for (size_t i = 0; i < lines_.size(); ++i) {
    out += lines_[i].text;
    if (i + 1 < lines_.size() || finalEol_) out += eol_;
  }
  return out;
}

bool IniFile::Save(std::string* error) {
  bool ok = !partial_ && WriteFileAtomic(path_, Text());
  if (!ok && error) *error = "Unable to write to " + path_;
  return ok;
}

bool WriteFileAtomic(const std::string& path, std::string_view data) {
  std::string tmp = path + ".tmp-XXXXXX";
  if (!WriteStepAllowed("open")) return false;
  int fd = mkstemp(tmp.data());
  if (fd < 0) return false;
  auto fail = [&] {
    const int err = errno;
    ::close(fd);
    ::unlink(tmp.c_str());
    errno = err;
    return false;
  };
  // Keep the permissions of the file being replaced.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
  else ::fchmod(fd, 0644);
  // An injected write failure stops half way, like a disk that fills up.
  const bool writeFails = !WriteStepAllowed("write");
  const size_t end = writeFails ? data.size() / 2 : data.size();
  size_t done = 0;
  while (done < end) {
    ssize_t n = ::write(fd, data.data() + done, end - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail();
    }
    done += static_cast<size_t>(n);
  }
  if (writeFails) {
    errno = ENOSPC;
    return fail();
  }
  if (!WriteStepAllowed("sync") || ::fsync(fd) != 0) return fail();
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    errno = err;
    return false;
  }
  if (!WriteStepAllowed("rename") || ::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    errno = err;
    return false;
  }
  return true;
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view def,
                                    const std::string& path) {
  return IniFile(path).ReadString(section, key, def);
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int def, const std::string& path) {
  return IniFile(path).ReadInteger(section, key, def);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path) {
  IniFile ini(path);
  ini.WriteString(section, key, value);
  return ini.Save();
}

}  // namespace platform
