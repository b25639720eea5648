// ICY header values and metadata texts.
#include "Icy.h"

#include <cctype>

namespace orvbass {

uint32_t ParseIcyMetaInt(const std::string& value) {
  size_t i = 0, n = value.size();
  while (i < n && (value[i] == ' ' || value[i] == '\t')) ++i;
  if (i == n) return 0;
  uint64_t v = 0;
  size_t digits = 0;
  for (; i < n && value[i] >= '0' && value[i] <= '9'; ++i, ++digits) {
    v = v * 10 + uint64_t(value[i] - '0');
    if (v > (16u << 20)) return 0;
  }
  while (i < n && (value[i] == ' ' || value[i] == '\t' || value[i] == '\r' || value[i] == '\n')) ++i;
  if (digits == 0 || i != n) return 0;
  return uint32_t(v);
}

std::string IcyStreamTitle(const std::string& meta, bool* found) {
  static const std::string kKey = "StreamTitle=";
  size_t k = meta.find(kKey);
  if (found) *found = k != std::string::npos;
  if (k == std::string::npos) return {};
  size_t start = k + kKey.size();
  if (start < meta.size() && meta[start] == '\'') {
    ++start;
    size_t end = meta.find("';", start);
    if (end == std::string::npos) {
      // No closing "';": up to a final quote, or the end.
      end = meta.size();
      if (end > start && meta[end - 1] == '\'') --end;
    }
    return meta.substr(start, end - start);
  }
  size_t end = meta.find(';', start);
  if (end == std::string::npos) end = meta.size();
  return meta.substr(start, end - start);
}

namespace {
bool StartsWithNoCase(const std::string& s, const char* prefix) {
  size_t i = 0;
  for (; prefix[i]; ++i)
    if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}
}  // namespace

std::string FirstPlaylistAddress(const std::string& body) {
  size_t pos = 0;
  while (pos < body.size()) {
    size_t e = body.find_first_of("\r\n", pos);
    if (e == std::string::npos) e = body.size();
    std::string line = body.substr(pos, e - pos);
    pos = e + 1;
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos) continue;
    line = line.substr(b);
    if (StartsWithNoCase(line, "file") && line.find('=') != std::string::npos) line = line.substr(line.find('=') + 1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (StartsWithNoCase(line, "http://") || StartsWithNoCase(line, "https://")) return line;
  }
  return {};
}

}  // namespace orvbass
