#include "Encoding.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace platform {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

std::string Latin1ToUtf8(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (unsigned char c : latin1) AppendUtf8(out, c);
  return out;
}

namespace {

// Decodes one code point; on a malformed sequence returns U+FFFD and advances one byte.
char32_t NextUtf8(std::string_view s, size_t& i, bool& ok) {
  unsigned char c = s[i];
  ok = true;
  if (c < 0x80) {
    ++i;
    return c;
  }
  int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (len == 0 || i + len > s.size()) {
    ok = false;
    ++i;
    return 0xFFFD;
  }
  char32_t cp = c & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    unsigned char cc = s[i + k];
    if ((cc & 0xC0) != 0x80) {
      ok = false;
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  static const char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ok = false;
    ++i;
    return 0xFFFD;
  }
  i += len;
  return cp;
}

std::string Utf16ToUtf8(std::string_view b, bool bigEndian) {
  std::string out;
  out.reserve(b.size());
  size_t n = b.size() / 2;
  auto unit = [&](size_t k) -> char16_t {
    unsigned char a = b[2 * k], c = b[2 * k + 1];
    return bigEndian ? char16_t((a << 8) | c) : char16_t((c << 8) | a);
  };
  for (size_t k = 0; k < n; ++k) {
    char16_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n) {
      char16_t v = unit(k + 1);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (v - 0xDC00));
        ++k;
        continue;
      }
    }
    AppendUtf8(out, u);  // lone surrogates map to U+FFFD inside AppendUtf8
  }
  return out;
}

std::string Utf8ToUtf16(std::string_view s, bool bigEndian) {
  std::string out;
  out.reserve(s.size() * 2);
  auto put = [&](char16_t u) {
    if (bigEndian) {
      out += char(u >> 8);
      out += char(u & 0xFF);
    } else {
      out += char(u & 0xFF);
      out += char(u >> 8);
    }
  };
  size_t i = 0;
  bool ok;
  while (i < s.size()) {
    char32_t cp = NextUtf8(s, i, ok);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(char16_t(0xD800 + (cp >> 10)));
      put(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      put(char16_t(cp));
    }
  }
  return out;
}

}  // namespace

std::string Utf8ToLatin1(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  bool ok;
  while (i < utf8.size()) {
    char32_t cp = NextUtf8(utf8, i, ok);
    out += cp < 0x100 ? char(cp) : '?';
  }
  return out;
}

std::string Utf16LEToUtf8(std::string_view bytes) { return Utf16ToUtf8(bytes, false); }
std::string Utf16BEToUtf8(std::string_view bytes) { return Utf16ToUtf8(bytes, true); }

std::string Utf16BomToUtf8(std::string_view bytes) {
  if (bytes.size() >= 2) {
    unsigned char a = bytes[0], b = bytes[1];
    if (a == 0xFF && b == 0xFE) return Utf16ToUtf8(bytes.substr(2), false);
    if (a == 0xFE && b == 0xFF) return Utf16ToUtf8(bytes.substr(2), true);
  }
  return Utf16ToUtf8(bytes, false);
}

std::string Utf8ToUtf16LE(std::string_view utf8) { return Utf8ToUtf16(utf8, false); }
std::string Utf8ToUtf16BE(std::string_view utf8) { return Utf8ToUtf16(utf8, true); }

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  bool ok = true;
  while (i < bytes.size()) {
    NextUtf8(bytes, i, ok);
    if (!ok) return false;
  }
  return true;
}

std::string ConvertEncoding(std::string_view bytes, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out;
  std::vector<char> buf(bytes.size() * 4 + 16);
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* o = buf.data();
    size_t oLeft = buf.size();
    size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf.data(), buf.size() - oLeft);
    if (r == size_t(-1)) {
      if (errno == E2BIG) continue;
      // Invalid or incomplete sequence: skip one byte and go on.
      if (inLeft > 0) {
        ++in;
        --inLeft;
      }
    }
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  iconv_close(cd);
  return out;
}

std::string Cp949ToUtf8(std::string_view bytes) { return ConvertEncoding(bytes, "CP949", "UTF-8"); }

}  // namespace platform
