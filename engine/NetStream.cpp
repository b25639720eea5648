#include "engine/NetStream.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "engine/EngineTypes.h"

namespace engine::net {

namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

size_t FindNoCase(std::string_view s, std::string_view needle) {
  if (needle.size() > s.size()) return std::string_view::npos;
  for (size_t i = 0; i + needle.size() <= s.size(); ++i)
    if (StartsWithNoCase(s.substr(i), needle)) return i;
  return std::string_view::npos;
}

// Length of the valid UTF-8 sequence at s[i], 0 when it is not one.
size_t Utf8SequenceAt(std::string_view s, size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  size_t n;
  uint32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF) n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4) n = 4, cp = c & 0x07;
  else return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const auto d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (d & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not text.
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

bool ValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    size_t n = Utf8SequenceAt(s, i);
    if (!n) return false;
    i += n;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path of an address: what follows "scheme://host[:port]" (empty without one).
std::string_view PathOf(std::string_view url) {
  size_t scheme = url.find("://");
  size_t hostStart = scheme == std::string_view::npos ? 0 : scheme + 3;
  size_t slash = url.find('/', hostStart);
  return slash == std::string_view::npos ? std::string_view{} : url.substr(slash);
}

// The last segment of the path.
std::string_view FileNameOf(std::string_view url) {
  std::string_view path = PathOf(url);
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
}

}  // namespace

bool IsNetworkAddress(const std::string& name) {
  return name.rfind("http://", 0) == 0 || name.rfind("https://", 0) == 0 || name.rfind("mms://", 0) == 0;
}

std::string StripQuery(const std::string& url) { return url.substr(0, url.find_first_of("?#")); }

std::string UrlExtension(const std::string& url) {
  std::string stripped = StripQuery(url);
  std::string_view file = FileNameOf(stripped);
  size_t dot = file.rfind('.');
  if (dot == std::string_view::npos || dot + 1 >= file.size()) return {};
  return std::string(file.substr(dot));
}

std::string UrlTitle(const std::string& url) {
  std::string stripped = StripQuery(url);
  std::string_view file = FileNameOf(stripped);
  size_t dot = file.rfind('.');
  if (dot != std::string_view::npos && dot + 1 < file.size()) file = file.substr(0, dot);
  std::string decoded;
  decoded.reserve(file.size());
  for (size_t i = 0; i < file.size(); ++i) {
    if (file[i] == '%' && i + 2 < file.size() && HexDigit(file[i + 1]) >= 0 && HexDigit(file[i + 2]) >= 0) {
      decoded += char(HexDigit(file[i + 1]) * 16 + HexDigit(file[i + 2]));
      i += 2;
    } else {
      decoded += file[i];
    }
  }
  // A decoded zero ends the text: titles are zero-terminated where they are shown.
  decoded = decoded.substr(0, decoded.find('\0'));
  return CleanText(decoded);
}

std::string CutUtf8(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  size_t end = maxBytes;
  // Back over continuation bytes to the start of the sequence that would be split.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

std::string CleanText(std::string_view raw) {
  if (ValidUtf8(raw)) return CutUtf8(raw, kMaxTitleBytes);
  std::string out;
  out.reserve(std::min(raw.size() * 2, kMaxTitleBytes + 1));
  for (unsigned char c : raw) {
    char seq[2];
    size_t n = 1;
    if (c < 0x80) {
      seq[0] = char(c);
    } else {
      seq[0] = char(0xC0 | (c >> 6));
      seq[1] = char(0x80 | (c & 0x3F));
      n = 2;
    }
    if (out.size() + n > kMaxTitleBytes) break;
    out.append(seq, n);
  }
  return out;
}

std::vector<std::string> TagList(const char* block, size_t maxEntries, size_t maxBytes) {
  std::vector<std::string> list;
  if (!block) return list;
  size_t total = 0;
  while (*block && list.size() < maxEntries && total < maxBytes) {
    size_t len = strnlen(block, maxBytes - total);
    list.emplace_back(block, len);
    total += len + 1;
    block += len + 1;
  }
  return list;
}

int HeaderBitRate(const std::vector<std::string>& headers) {
  for (const char* key : {"icy-br:", "ice-bitrate:"}) {
    for (const auto& line : headers) {
      size_t at = FindNoCase(line, key);
      if (at == std::string::npos) continue;
      long v = std::strtol(line.c_str() + at + std::strlen(key), nullptr, 10);
      return v > 0 && v < 100000 ? int(v) : 0;
    }
  }
  return 0;
}

std::string HeaderValue(const std::vector<std::string>& headers, const std::string& name, bool* found) {
  if (found) *found = false;
  for (const auto& line : headers) {
    if (!StartsWithNoCase(line, name) || line.size() <= name.size() || line[name.size()] != ':') continue;
    if (found) *found = true;
    std::string v = line.substr(name.size() + 1);
    size_t b = v.find_first_not_of(" \t");
    size_t e = v.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string{} : v.substr(b, e - b + 1);
  }
  return {};
}

std::string ShoutcastTitle(std::string_view meta, bool* found) {
  static constexpr std::string_view kKey = "StreamTitle=";
  size_t at = meta.find(kKey);
  *found = at != std::string_view::npos;
  if (!*found) return {};
  std::string_view v = meta.substr(at + kKey.size());
  if (!v.empty() && (v.front() == '\'' || v.front() == '"')) {
    const char q = v.front();
    v.remove_prefix(1);
    // The value ends at the quote that closes it before a ';' (or the text's end);
    // a quote or ';' inside the title belongs to it.
    const std::string close = std::string(1, q) + ";";
    size_t end = v.find(close);
    if (end == std::string_view::npos) {
      end = v.rfind(q);
      if (end == std::string_view::npos) end = v.find(';');
    }
    return std::string(v.substr(0, end));
  }
  return std::string(v.substr(0, v.find(';')));
}

std::string MetaTitle(const char* block, bool wma, bool* found) {
  *found = false;
  if (!block) return {};
  std::vector<std::string> list = TagList(block, 256, 64 * 1024);
  if (list.empty()) return {};
  if (wma) {
    size_t at = list[0].find("Title=");
    if (at != std::string::npos) {
      *found = true;
      std::string v = list[0].substr(at + 6);
      return CleanText(v.substr(0, v.find(';')));
    }
  } else {
    std::string title = ShoutcastTitle(list[0], found);
    if (*found) return CleanText(title);
  }
  for (const auto& entry : list) {
    if (StartsWithNoCase(entry, "TITLE=")) {
      *found = true;
      return CleanText(std::string_view(entry).substr(6));
    }
  }
  return {};
}

// ---------------------------------------------------------------------------

void TMetaRecord::Arm(platform::HWND window, DWORD channel, uint64_t stream, bool wma, GetTagsFn getTags) {
  std::lock_guard lock(mutex_);
  getTags_ = getTags;
  window_ = window;
  channel_ = channel;
  stream_ = stream;
  wma_ = wma;
  pending_.clear();
}

void TMetaRecord::Disarm() {
  std::lock_guard lock(mutex_);
  window_ = nullptr;
  channel_ = 0;
  stream_ = 0;
  pending_.clear();
}

void TMetaRecord::Notice(DWORD channel) {
  bool wma;
  GetTagsFn getTags;
  {
    std::lock_guard lock(mutex_);
    if (!window_ || channel != channel_) return;  // a stream that is no longer current
    wma = wma_;
    getTags = getTags_;
  }
  // The block is read outside the lock: the library call may take its own locks.
  bool found = false;
  std::string title = MetaTitle(getTags ? getTags(channel, wma ? BASS_TAG_WMA_META : BASS_TAG_META) : nullptr,
                                wma, &found);
  if (!found) return;  // no title in the block: the shown one stays
  platform::HWND window;
  uint64_t stream;
  {
    std::lock_guard lock(mutex_);
    if (!window_ || channel != channel_) return;
    if (pending_.size() >= kCapacity) pending_.pop_front();
    pending_.push_back({stream_, std::move(title)});
    window = window_;
    stream = stream_;
  }
  platform::PostMessage(window, WM_BASS_META, static_cast<platform::WPARAM>(stream), 0);
}

bool TMetaRecord::Take(Entry& entry) {
  std::lock_guard lock(mutex_);
  if (pending_.empty()) return false;
  entry = std::move(pending_.front());
  pending_.pop_front();
  return true;
}

size_t TMetaRecord::Pending() const {
  std::lock_guard lock(mutex_);
  return pending_.size();
}

void TNetStatusRecord::Arm(platform::HWND window, uint64_t stream) {
  std::lock_guard lock(mutex_);
  window_ = window;
  stream_ = stream;
  arrived_ = false;
  status_.clear();
}

void TNetStatusRecord::Disarm() {
  std::lock_guard lock(mutex_);
  window_ = nullptr;
  stream_ = 0;
  arrived_ = false;
  status_.clear();
}

void TNetStatusRecord::Notice(const void* buffer, DWORD length) {
  platform::HWND window;
  uint64_t stream;
  {
    std::lock_guard lock(mutex_);
    if (!window_) return;
    if (buffer) {
      // Status lines come with a length of 0 (zero-terminated), or as the first block of bytes.
      std::string_view line = length ? std::string_view(static_cast<const char*>(buffer), std::min<DWORD>(length, 1024))
                                     : std::string_view(static_cast<const char*>(buffer),
                                                        strnlen(static_cast<const char*>(buffer), 1024));
      line = line.substr(0, line.find_first_of("\r\n"));
      size_t skip = line.rfind("HTTP", 0) == 0 ? 4 : line.rfind("ICY", 0) == 0 ? 3 : 0;
      if (!skip) return;  // header lines and the file's bytes
      status_ = CleanText(line.substr(skip));
    }
    // The end of the download (no buffer) counts as the report: the last status line stays.
    arrived_ = true;
    window = window_;
    stream = stream_;
  }
  platform::PostMessage(window, WM_BASS_NETSTATUS, static_cast<platform::WPARAM>(stream), 0);
}

bool TNetStatusRecord::Arrived(uint64_t stream) const {
  std::lock_guard lock(mutex_);
  return stream == stream_ && arrived_;
}

std::string TNetStatusRecord::Status(uint64_t stream) const {
  std::lock_guard lock(mutex_);
  return stream == stream_ ? status_ : std::string{};
}

}  // namespace engine::net
