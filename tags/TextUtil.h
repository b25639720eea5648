// Small text helpers shared by the tag readers. Strings are UTF-8 unless a
// name says "bytes" (the raw bytes of a tag field).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tags {

// Removes leading and/or trailing bytes up to and including the space (0x00-0x20).
std::string Trim(std::string_view s);
std::string TrimRight(std::string_view s);
// The text before the first zero byte.
std::string_view CutAtZero(std::string_view s);

// Raw single-byte tag text to UTF-8: well-formed UTF-8 is kept as it is (many
// taggers store UTF-8 in these fields), anything else is ISO-8859-1.
std::string TagBytesToUtf8(std::string_view bytes);
// UTF-8 to raw single-byte tag text: ISO-8859-1 when every character fits,
// otherwise the UTF-8 bytes themselves (nothing is replaced by '?').
std::string Utf8ToTagBytes(std::string_view utf8);
// Utf8ToTagBytes cut to at most maxBytes without splitting a UTF-8 sequence.
std::string TagBytesCut(std::string_view utf8, size_t maxBytes);

// Decimal integer of the whole text (leading blanks and a sign allowed); def when it is not one.
int64_t StrToIntDef(std::string_view s, int64_t def);

// ASCII upper case.
std::string UpperAscii(std::string_view s);

// Big- and little-endian loads.
inline uint32_t BE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint32_t BE24(const uint8_t* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
inline uint16_t LE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t LE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t LE64(const uint8_t* p) { return uint64_t(LE32(p)) | (uint64_t(LE32(p + 4)) << 32); }
// Sync-safe 28-bit integer (7 bits per byte, most significant first).
inline uint32_t SyncSafe32(const uint8_t* p) {
  return (uint32_t(p[0] & 0x7F) << 21) | (uint32_t(p[1] & 0x7F) << 14) | (uint32_t(p[2] & 0x7F) << 7) |
         (p[3] & 0x7F);
}

}  // namespace tags
