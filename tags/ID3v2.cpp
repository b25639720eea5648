#include "tags/ID3v2.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <vector>

#include "platform/Encoding.h"
#include "tags/ByteSource.h"
#include "tags/SafeWrite.h"
#include "tags/TextUtil.h"

namespace tags {

const char* const TID3v2::kFrameIds[kSlotCount] = {"TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON",
                                                   "COMM", "TCOM", "TENC", "TCOP", "TLAN", "WXXX",
                                                   "TDRC", "TOPE", "TIT1", "TOAL", "TSIZ", "USLT"};
const char* const TID3v2::kFrameIdsV22[kSlotCount] = {"TT2", "TP1", "TAL", "TRK", "TYE", "TCO",
                                                      "COM", "TCM", "TEN", "TCR", "TLA", "WXX",
                                                      "TOR", "TOA", "TT1", "TOT", "TSI", "ULT"};

namespace {

constexpr size_t kFileBodyLimit = 5000;
constexpr size_t kBufferBodyLimit = 500;
constexpr int64_t kMaxInPlaceTag = 4096;
constexpr int64_t kMaxUnsyncTag = 16 << 20;
constexpr int64_t kMaxKeptFrame = 64 << 20;

// Removes the 0x00 that unsynchronisation puts after every 0xFF.
std::string Resync(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    out += in[i];
    if (static_cast<unsigned char>(in[i]) == 0xFF && i + 1 < in.size() && in[i + 1] == 0) ++i;
  }
  return out;
}

bool IsUpper(uint8_t c) { return c >= 'A' && c <= 'Z'; }

// Whether a frame header, padding or the tag end lies at offset (for the size heuristics of 2.4).
bool PlausibleNext(ByteSource& src, int64_t offset, int64_t end) {
  if (offset == end) return true;
  if (offset > end) return false;
  uint8_t id[4];
  if (src.ReadAt(offset, id, 4) != 4) return false;
  if (id[0] == 0) return true;
  for (uint8_t c : id)
    if (!IsUpper(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

// Text of an encoded string (without the encoding byte) up to its terminator.
std::string DecodeString(uint8_t encoding, std::string_view s) {
  switch (encoding) {
    case 1:
    case 2: {
      size_t end = 0;
      while (end + 1 < s.size() && !(s[end] == 0 && s[end + 1] == 0)) end += 2;
      std::string_view units = s.substr(0, std::min(end, s.size() & ~size_t(1)));
      if (encoding == 2) return platform::Utf16BEToUtf8(units);
      return platform::Utf16BomToUtf8(units);
    }
    case 0:
      return platform::Latin1ToUtf8(CutAtZero(s));
    default:
      return TagBytesToUtf8(CutAtZero(s));
  }
}

// Position just past the terminator of a string that starts at 'from', or npos.
size_t SkipTerminated(uint8_t encoding, std::string_view s, size_t from) {
  if (encoding == 1 || encoding == 2) {
    for (size_t i = from; i + 1 < s.size(); i += 2)
      if (s[i] == 0 && s[i + 1] == 0) return i + 2;
    return std::string_view::npos;
  }
  size_t z = s.find('\0', from);
  return z == std::string_view::npos ? z : z + 1;
}

// A text frame's value (encoding byte first in body); trimmed unless raw single-byte.
std::string FrameText(const std::string& body, bool trimLatin = true) {
  if (body.empty()) return {};
  uint8_t enc = uint8_t(body[0]);
  std::string text = DecodeString(enc, std::string_view(body).substr(1));
  return (enc != 0 || trimLatin) ? Trim(text) : text;
}

// Comment and lyrics frames: encoding, 3-byte language, description, text.
std::string DescribedText(const std::string& body, bool hasLanguage) {
  if (body.empty()) return {};
  uint8_t enc = uint8_t(body[0]);
  std::string_view rest = std::string_view(body).substr(1);
  size_t start = hasLanguage ? std::min<size_t>(3, rest.size()) : 0;
  size_t after = SkipTerminated(enc, rest, start);
  std::string_view text = after == std::string_view::npos ? rest.substr(start) : rest.substr(after);
  std::string out = DecodeString(enc, text);
  return enc != 0 ? Trim(out) : out;
}

// WXXX: encoding, description, then an address that is always single-byte text.
std::string LinkText(const std::string& body) {
  if (body.empty()) return {};
  uint8_t enc = uint8_t(body[0]);
  std::string_view rest = std::string_view(body).substr(1);
  size_t after = SkipTerminated(enc, rest, 0);
  std::string_view url = after == std::string_view::npos ? std::string_view() : rest.substr(after);
  return Trim(TagBytesToUtf8(CutAtZero(url)));
}

std::string PrimaryOrSecondary(const std::string& p, const std::string& s) {
  std::string v = FrameText(p, false);
  if (v.empty()) v = FrameText(s, false);
  return v;
}

std::string GenreText(const std::string& body) {
  std::string g = FrameText(body);
  size_t close = g.rfind(')');
  if (close != std::string::npos) g = Trim(g.substr(close + 1));
  return g;
}

int TrackNumber(const std::string& body) {
  std::string t = FrameText(body);
  size_t slash = t.find('/');
  if (slash != std::string::npos) t = t.substr(0, slash);
  return int(StrToIntDef(t, 0));
}

std::string YearText(const std::string& tyer, const std::string& tdrc) {
  std::string y = FrameText(tyer);
  if (y.empty()) y = FrameText(tdrc).substr(0, 4);
  return y;
}

std::string Utf16Field(const std::string& text) {
  if (text.empty()) return {};
  return std::string("\xFF\xFE", 2) + platform::Utf8ToUtf16LE(text);
}

}  // namespace

void TID3v2::ResetData() {
  exists_ = false;
  versionID_ = 0;
  tagSize_ = 0;
  title_.clear();
  artist_.clear();
  album_.clear();
  track_ = 0;
  trackString_.clear();
  year_.clear();
  genre_.clear();
  comment_.clear();
  composer_.clear();
  encoder_.clear();
  copyright_.clear();
  language_.clear();
  link_.clear();
  origArtist_.clear();
  lyrics_.clear();
  sizeText_.clear();
}

bool TID3v2::ReadHeader(ByteSource& src, Header& h) {
  h = Header{};
  uint8_t b[10];
  if (src.ReadAt(0, b, 10) != 10) return false;
  if (std::memcmp(b, "ID3", 3) != 0) return true;
  h.valid = true;
  h.version = b[3];
  h.revision = b[4];
  h.flags = b[5];
  h.tagSize = int64_t(SyncSafe32(b + 6)) + 10 + ((h.flags & 0x10) ? 10 : 0);
  if (src.Size() < h.tagSize) h.tagSize = 0;
  return true;
}

namespace {

// One frame as the walk meets it; data is the frame's content once group
// bytes and data-length indicators are stepped over.
struct FrameRef {
  uint8_t header[10];
  int headerLength;
  int64_t position;  // of the header
  int64_t size;      // of the body as stored
  int64_t dataStart, dataSize;
  uint8_t flags1, flags2;
  bool unreadable;  // compressed or encrypted
  bool unsync;      // the data must be resynchronised
};

// Calls onFrame(source, frame) for every frame of the tag; the source is the
// file, or the resynchronised tag in memory. Returns false on a read error.
template <class OnFrame>
bool ForEachFrame(ByteSource& file, uint8_t version, uint8_t tagFlags, int64_t tagSize, OnFrame&& onFrame) {
  if (version < 2 || version > 4 || tagSize <= 0) return true;
  const bool v22 = version == 2;
  if (v22 && (tagFlags & 0x40)) return true;  // compressed 2.2 tag: no defined scheme

  // A tag unsynchronised as a whole (2.2 and 2.3) is read into memory and restored first.
  std::string resynced;
  std::optional<MemorySource> memSource;
  ByteSource* src = &file;
  int64_t end = std::min(tagSize, file.Size());
  if ((tagFlags & 0x80) && version < 4 && end <= kMaxUnsyncTag) {
    std::string raw(size_t(end), '\0');
    int64_t got = file.ReadAt(0, raw.data(), raw.size());
    if (got < 10) return got >= 0;
    raw.resize(size_t(got));
    resynced = raw.substr(0, 10) + Resync(std::string_view(raw).substr(10));
    memSource.emplace(resynced.data(), resynced.size());
    src = &*memSource;
    end = int64_t(resynced.size());
  }

  int64_t pos = 10;
  if (!v22 && (tagFlags & 0x40)) {
    uint8_t ext[4];
    if (src->ReadAt(pos, ext, 4) != 4) return true;
    pos += version == 3 ? int64_t(BE32(ext)) + 4 : int64_t(SyncSafe32(ext));
  }
  FrameRef f;
  f.headerLength = v22 ? 6 : 10;
  while (pos < end && pos < src->Size()) {
    int64_t got = src->ReadAt(pos, f.header, size_t(f.headerLength));
    if (got < 0) return false;
    if (got != f.headerLength || !IsUpper(f.header[0])) return true;
    f.flags1 = f.flags2 = 0;
    if (v22) {
      f.size = BE24(f.header + 3);
    } else {
      f.flags1 = f.header[8];
      f.flags2 = f.header[9];
      f.size = BE32(f.header + 4);
      const uint8_t* sz = f.header + 4;
      if (version == 4 && !((sz[0] | sz[1] | sz[2] | sz[3]) & 0x80)) {
        // 2.4 sizes are sync-safe; some writers put plain sizes there, so the
        // plain reading wins only where the sync-safe one lands on nothing.
        int64_t safe = SyncSafe32(sz);
        if (safe == f.size || PlausibleNext(*src, pos + 10 + safe, end) ||
            !PlausibleNext(*src, pos + 10 + f.size, end))
          f.size = safe;
      }
    }
    f.position = pos;
    f.dataStart = pos + f.headerLength;
    f.dataSize = f.size;
    f.unreadable = false;
    f.unsync = false;
    if (version == 3) {
      f.unreadable = (f.flags2 & 0xC0) != 0;  // compressed or encrypted
      if (f.flags2 & 0x20) ++f.dataStart, --f.dataSize;  // group byte
    } else if (version == 4) {
      f.unreadable = (f.flags2 & 0x0C) != 0;
      if (f.flags2 & 0x40) ++f.dataStart, --f.dataSize;
      if (f.flags2 & 0x01) f.dataStart += 4, f.dataSize -= 4;
      f.unsync = (f.flags2 & 0x02) || (tagFlags & 0x80);
    }
    if (!onFrame(*src, f)) return false;
    const int64_t next = pos + f.headerLength + f.size;
    if (next <= pos) return true;
    pos = next;
  }
  return true;
}

bool IsManaged(const uint8_t* id) {
  for (const char* known : TID3v2::kFrameIds)
    if (std::memcmp(id, known, 4) == 0) return true;
  return false;
}

// The terminated strings of a body part, decoded.
std::vector<std::string> SplitStrings(uint8_t encoding, std::string_view s) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < s.size()) {
    size_t next = SkipTerminated(encoding, s, at);
    out.push_back(DecodeString(encoding, s.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at)));
    if (next == std::string_view::npos) break;
    at = next;
  }
  return out;
}

std::string JoinValues(const std::vector<std::string>& v, size_t from) {
  std::string joined;
  for (size_t i = from; i < v.size(); ++i) {
    if (v[i].empty()) continue;
    if (!joined.empty()) joined += "/";
    joined += v[i];
  }
  return joined;
}

std::string Utf16Bom(const std::string& utf8) { return std::string("\xFF\xFE", 2) + platform::Utf8ToUtf16LE(utf8); }

// A 2.4 frame body as a 2.3 body; empty when it cannot be carried over.
std::string BodyForV23(const uint8_t* id, const std::string& body) {
  if (body.empty()) return body;
  const uint8_t enc = uint8_t(body[0]);
  const std::string_view rest = std::string_view(body).substr(1);
  const bool text = id[0] == 'T';
  const bool described = std::memcmp(id, "COMM", 4) == 0 || std::memcmp(id, "USLT", 4) == 0;
  const bool picture = std::memcmp(id, "APIC", 4) == 0;
  const bool otherEncoded = std::memcmp(id, "GEOB", 4) == 0 || std::memcmp(id, "SYLT", 4) == 0 ||
                            std::memcmp(id, "USER", 4) == 0 || std::memcmp(id, "OWNE", 4) == 0 ||
                            std::memcmp(id, "COMR", 4) == 0;
  if (!(text || described || picture || otherEncoded) || enc <= 1) return body;
  if (enc > 3 || otherEncoded) return {};
  const std::string nul2(2, '\0');
  if (text || described) {
    if (described && rest.size() < 3) return {};
    const std::vector<std::string> v = SplitStrings(enc, described ? rest.substr(3) : rest);
    // 2.3 holds one value per frame: several 2.4 values are joined with "/".
    if (described) {
      std::string desc = v.empty() ? std::string() : v[0];
      return std::string(1, '\1') + std::string(rest.substr(0, 3)) + Utf16Bom(desc) + nul2 + Utf16Bom(JoinValues(v, 1));
    }
    if (std::memcmp(id, "TXXX", 4) == 0) {
      std::string desc = v.empty() ? std::string() : v[0];
      return std::string(1, '\1') + Utf16Bom(desc) + nul2 + Utf16Bom(JoinValues(v, 1));
    }
    return std::string(1, '\1') + Utf16Bom(JoinValues(v, 0));
  }
  // APIC: MIME type (single-byte, terminated), picture type, description, data.
  size_t mimeEnd = rest.find('\0');
  if (mimeEnd == std::string_view::npos || mimeEnd + 2 > rest.size()) return {};
  size_t descStart = mimeEnd + 2;
  size_t descEnd = SkipTerminated(enc, rest, descStart);
  if (descEnd == std::string_view::npos) return {};
  std::string desc = DecodeString(enc, rest.substr(descStart, descEnd - descStart));
  return std::string(1, '\1') + std::string(rest.substr(0, descStart)) + Utf16Bom(desc) + nul2 +
         std::string(rest.substr(descEnd));
}

}  // namespace

void TID3v2::WalkFrames(ByteSource& file, const Header& h, size_t bodyLimit, Frames& frames) {
  const bool v22 = h.version == 2;
  const char* const* ids = v22 ? kFrameIdsV22 : kFrameIds;
  std::string body;
  ForEachFrame(file, h.version, h.flags, h.tagSize, [&](ByteSource& src, const FrameRef& f) {
    int slot = -1;
    for (int i = 0; i < kSlotCount && !f.unreadable; ++i) {
      if (std::memcmp(f.header, ids[i], v22 ? 3 : 4) == 0) {
        slot = i;
        break;
      }
    }
    if (slot < 0) return true;
    if (f.dataSize <= 0) {
      frames.body[size_t(slot)].clear();
      return true;
    }
    size_t want = size_t(std::min<int64_t>(f.dataSize, int64_t(bodyLimit)));
    body.resize(want);
    int64_t got = src.ReadAt(f.dataStart, body.data(), want);
    if (got < 0) return false;
    body.resize(size_t(got));
    if (f.unsync) body = Resync(body);
    frames.body[size_t(slot)] = body;
    frames.found[size_t(slot)] = true;
    return true;
  });
}

std::string TID3v2::KeptFrames(ByteSource& file, const Header& h, bool* tooLarge) {
  std::string out;
  if (tooLarge) *tooLarge = false;
  if (h.version != 3 && h.version != 4) return out;  // 2.2 frames have no 2.3 form here
  std::string body;
  ForEachFrame(file, h.version, h.flags, h.tagSize, [&](ByteSource& src, const FrameRef& f) {
    if (IsManaged(f.header)) return true;
    for (int k = 0; k < 4; ++k)
      if (!IsUpper(f.header[k]) && !(f.header[k] >= '0' && f.header[k] <= '9')) return true;
    // A real frame (inside its tag) too large to carry over; a size past the tag is junk.
    if (tooLarge && f.size > kMaxKeptFrame && f.position + f.headerLength + f.size <= h.tagSize) *tooLarge = true;
    if (h.version == 3) {
      // Same version: the frame is carried over byte for byte, flags included.
      if (f.size < 0 || f.size > kMaxKeptFrame) return true;
      body.resize(size_t(f.size));
      if (src.ReadAt(f.position + 10, body.data(), body.size()) != int64_t(body.size())) return true;
      out.append(reinterpret_cast<const char*>(f.header), 10);
      out += body;
      return true;
    }
    if (f.unreadable || (f.flags2 & 0x40) || f.dataSize < 0 || f.dataSize > kMaxKeptFrame) return true;
    body.resize(size_t(f.dataSize));
    if (src.ReadAt(f.dataStart, body.data(), body.size()) != int64_t(body.size())) return true;
    if (f.unsync) body = Resync(body);
    std::string converted = BodyForV23(f.header, body);
    if (converted.empty() && !body.empty()) return true;
    out.append(reinterpret_cast<const char*>(f.header), 4);
    for (int shift : {24, 16, 8, 0}) out += char((converted.size() >> shift) & 0xFF);
    // Status flags keep their meaning (discard on tag/file alteration, read-only) one bit higher in 2.3.
    out += char((f.flags1 << 1) & 0xE0);
    out += '\0';
    out += converted;
    return true;
  });
  return out;
}

void TID3v2::Decode(const Frames& f) {
  title_ = PrimaryOrSecondary(f.body[kTIT2], f.body[kTIT1]);
  artist_ = PrimaryOrSecondary(f.body[kTPE1], f.body[kTOPE]);
  album_ = PrimaryOrSecondary(f.body[kTALB], f.body[kTOAL]);
  track_ = uint16_t(TrackNumber(f.body[kTRCK]));
  trackString_ = FrameText(f.body[kTRCK]);
  year_ = YearText(f.body[kTYER], f.body[kTDRC]);
  genre_ = GenreText(f.body[kTCON]);
  comment_ = DescribedText(f.body[kCOMM], true);
  composer_ = FrameText(f.body[kTCOM]);
  encoder_ = FrameText(f.body[kTENC]);
  copyright_ = FrameText(f.body[kTCOP]);
  language_ = FrameText(f.body[kTLAN]);
  link_ = LinkText(f.body[kWXXX]);
  origArtist_ = FrameText(f.body[kTOPE]);
  lyrics_ = DescribedText(f.body[kUSLT], true);
  sizeText_ = FrameText(f.body[kTSIZ]);
}

bool TID3v2::ReadFromFile(const std::string& path) {
  ResetData();
  FileSource src;
  if (!src.Open(path)) return false;
  return ReadFromSource(src);
}

bool TID3v2::ReadFromMemory(const void* data, size_t size) {
  MemorySource src(data, size);
  return ReadFromSource(src);
}

bool TID3v2::ReadFromSource(ByteSource& src) {
  ResetData();
  Header h;
  if (!ReadHeader(src, h)) return false;
  if (!h.valid) return true;
  exists_ = true;
  versionID_ = h.version;
  tagSize_ = h.tagSize;
  Frames frames;
  WalkFrames(src, h, kFileBodyLimit, frames);
  Decode(frames);
  return true;
}

bool TID3v2::ReadFromBuffer(const void* buffer, size_t length, TMP3TagInfo& record) {
  record = TMP3TagInfo{};
  if (!buffer || length < 3 || std::memcmp(buffer, "ID3", 3) != 0) return false;
  MemorySource src(buffer, length);
  Header h;
  if (!ReadHeader(src, h) || !h.valid) return true;
  if (h.tagSize == 0) {
    // The buffer may hold only the tag's beginning: walk what there is.
    uint8_t b[10];
    src.ReadAt(0, b, 10);
    h.tagSize = std::min<int64_t>(int64_t(SyncSafe32(b + 6)) + 10, int64_t(length));
    if (SyncSafe32(b + 6) == 0) return true;
  }
  Frames f;
  WalkFrames(src, h, kBufferBodyLimit, f);
  auto text = [](const std::string& body) { return FrameText(body); };
  record.Title = text(f.body[kTIT2]);
  if (record.Title.empty()) record.Title = text(f.body[kTIT1]);
  record.Artist = text(f.body[kTPE1]);
  if (record.Artist.empty()) record.Artist = text(f.body[kTOPE]);
  record.Album = text(f.body[kTALB]);
  if (record.Album.empty()) record.Album = text(f.body[kTOAL]);
  record.Year = YearText(f.body[kTYER], f.body[kTDRC]);
  record.Comment = DescribedText(f.body[kCOMM], true);
  record.Genre = GenreText(f.body[kTCON]);
  record.Track = TrackNumber(f.body[kTRCK]);
  return true;
}

void TID3v2::SetTitle(const std::string& v) { title_ = Trim(v); }
void TID3v2::SetArtist(const std::string& v) { artist_ = Trim(v); }
void TID3v2::SetAlbum(const std::string& v) { album_ = Trim(v); }
void TID3v2::SetTrack(uint16_t v) {
  track_ = v;
  trackString_ = v ? std::to_string(v) : std::string();
}
void TID3v2::SetYear(const std::string& v) { year_ = Trim(v); }
void TID3v2::SetGenre(const std::string& v) { genre_ = Trim(v); }
void TID3v2::SetComment(const std::string& v) { comment_ = Trim(v); }
void TID3v2::SetComposer(const std::string& v) { composer_ = Trim(v); }
void TID3v2::SetEncoder(const std::string& v) { encoder_ = Trim(v); }
void TID3v2::SetCopyright(const std::string& v) { copyright_ = Trim(v); }
void TID3v2::SetLink(const std::string& v) { link_ = Trim(v); }

std::string TID3v2::BuildTag(int64_t oldTagSize, bool hasOldTag, bool& rewrite, const std::string& kept) const {
  std::array<std::string, kSlotCount> text;
  text[kTIT2] = Utf16Field(title_);
  text[kTPE1] = Utf16Field(artist_);
  text[kTALB] = Utf16Field(album_);
  text[kTRCK] = Utf16Field(trackString_);
  text[kTYER] = Utf16Field(year_);
  text[kTCON] = Utf16Field(genre_);
  if (!comment_.empty()) text[kCOMM] = std::string("eng\0\0", 5) + Utf16Field(comment_);
  text[kTCOM] = Utf16Field(composer_);
  text[kTENC] = Utf16Field(encoder_);
  text[kTCOP] = Utf16Field(copyright_);
  text[kTLAN] = Utf16Field(language_);
  if (!link_.empty()) text[kWXXX] = std::string(1, '\0') + Utf8ToTagBytes(link_);
  text[kTOPE] = Utf16Field(origArtist_);
  if (!lyrics_.empty()) text[kUSLT] = std::string("eng\0\0", 5) + Utf16Field(lyrics_);

  int64_t needed = 10 + int64_t(kept.size());
  for (const auto& t : text)
    if (!t.empty()) needed += int64_t(t.size()) + 11;
  rewrite = !hasOldTag || oldTagSize < needed || oldTagSize > kMaxInPlaceTag;
  const int64_t padding = rewrite ? kMaxInPlaceTag - needed : oldTagSize - needed;
  const int64_t size = (padding > 0 ? needed + padding : needed) - 10;

  std::string tag = "ID3";
  tag += char(3);
  tag += char(0);
  tag += char(0);
  for (int shift : {21, 14, 7, 0}) tag += char((size >> shift) & 0x7F);
  for (int i = 0; i < kSlotCount; ++i) {
    const std::string& t = text[size_t(i)];
    if (t.empty()) continue;
    uint32_t frameSize = uint32_t(t.size() + 1);
    tag.append(kFrameIds[i], 4);
    for (int shift : {24, 16, 8, 0}) tag += char((frameSize >> shift) & 0xFF);
    tag += '\0';
    tag += '\0';
    tag += char(i == kWXXX ? 0 : 1);
    tag += t;
  }
  tag += kept;
  if (padding > 0) tag.append(size_t(padding), '\0');
  return tag;
}

bool TID3v2::SaveToFile(const std::string& path) {
  Header old;
  int64_t fileSize = 0;
  std::string kept;
  {
    FileSource probe;
    if (!probe.Open(path)) return false;
    fileSize = probe.Size();
    ReadHeader(probe, old);
    bool tooLarge = false;
    if (old.valid) kept = KeptFrames(probe, old, &tooLarge);
    // A frame too large to carry over would be lost: the file is left as it is.
    if (tooLarge) return false;
  }
  bool rewrite = false;
  const std::string tag = BuildTag(old.tagSize, old.valid, rewrite, kept);

  if (!rewrite) {
    // Same length as the old tag: overwrite it, keeping the old bytes to put back on failure.
    if (!io::ClearReadOnly(path)) return false;
    int fd = io::OpenForUpdate(path);
    if (fd < 0) return false;
    std::string backup(tag.size(), '\0');
    bool ok = io::ReadExact(fd, backup.data(), backup.size(), 0);
    if (ok) {
      ok = io::WriteAt(fd, tag.data(), tag.size(), 0) && io::Sync(fd);
      if (!ok) io::Restore(fd, backup, 0, false);
    }
    io::Close(fd);
    if (ok) {
      exists_ = true;
      versionID_ = 3;
      tagSize_ = int64_t(tag.size());
    }
    return ok;
  }

  int src = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (src < 0) return false;
  std::string tempPath;
  int dst = io::CreateBeside(path, tempPath);
  if (dst < 0) {
    ::close(src);
    return false;
  }
  const int64_t audioFrom = old.valid ? old.tagSize : 0;
  bool ok = io::WriteAt(dst, tag.data(), tag.size(), 0) &&
            io::CopyRange(src, audioFrom, fileSize - audioFrom, dst, int64_t(tag.size())) && io::Sync(dst) &&
            io::CopyMode(path, dst);
  ::close(src);
  io::Close(dst);
  if (ok) ok = io::Replace(tempPath, path);
  if (!ok) {
    ::unlink(tempPath.c_str());
    return false;
  }
  exists_ = true;
  versionID_ = 3;
  tagSize_ = int64_t(tag.size());
  return true;
}

}  // namespace tags
