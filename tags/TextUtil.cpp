#include "tags/TextUtil.h"

#include "platform/Encoding.h"

namespace tags {

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }
}  // namespace

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string TrimRight(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && IsBlank(s[e - 1])) --e;
  return std::string(s.substr(0, e));
}

std::string_view CutAtZero(std::string_view s) {
  size_t z = s.find('\0');
  return z == std::string_view::npos ? s : s.substr(0, z);
}

std::string TagBytesToUtf8(std::string_view bytes) {
  if (platform::IsValidUtf8(bytes)) return std::string(bytes);
  return platform::Latin1ToUtf8(bytes);
}

std::string Utf8ToTagBytes(std::string_view utf8) {
  std::string latin = platform::Utf8ToLatin1(utf8);
  if (platform::Latin1ToUtf8(latin) == utf8) return latin;
  return std::string(utf8);
}

std::string TagBytesCut(std::string_view utf8, size_t maxBytes) {
  std::string latin = platform::Utf8ToLatin1(utf8);
  if (platform::Latin1ToUtf8(latin) == utf8) return latin.substr(0, std::min(maxBytes, latin.size()));
  if (utf8.size() <= maxBytes) return std::string(utf8);
  size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
  return std::string(utf8.substr(0, cut));
}

int64_t StrToIntDef(std::string_view s, int64_t def) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (i >= s.size()) return def;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return def;
    v = v * 10 + (s[i] - '0');
    if (v > 0x7FFFFFFFLL + 1) return def;
  }
  if (neg) v = -v;
  if (v > 0x7FFFFFFFLL || v < -0x80000000LL) return def;
  return v;
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return out;
}

}  // namespace tags
