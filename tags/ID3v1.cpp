#include "tags/ID3v1.h"

#include <cstring>

#include "tags/ByteSource.h"
#include "tags/GenreNames.h"
#include "tags/SafeWrite.h"
#include "tags/TextUtil.h"

namespace tags {

namespace {

constexpr int kTagSize = 128;
constexpr int kLyricsFooter = 15;  // 6-digit size + "LYRICS200"
constexpr size_t kMaxFieldBytes = 99999;

std::string FieldText(const uint8_t* p, size_t n) {
  std::string_view raw(reinterpret_cast<const char*>(p), n);
  return TagBytesToUtf8(TrimRight(CutAtZero(raw)));
}

bool IsV11(const uint8_t* tag) {
  return (tag[125] == 0 && tag[126] != 0) || (tag[125] == ' ' && tag[126] != ' ');
}

std::string ReplaceAll(std::string s, std::string_view from, std::string_view to) {
  std::string out;
  size_t pos = 0;
  for (;;) {
    size_t hit = s.find(from, pos);
    if (hit == std::string::npos) break;
    out.append(s, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
  }
  out.append(s, pos, std::string::npos);
  return out;
}

std::string Digits(size_t value, int width) {
  std::string s = std::to_string(value);
  if (int(s.size()) < width) s.insert(0, size_t(width) - s.size(), '0');
  return s;
}

}  // namespace

void TID3v1::ResetData() {
  exists_ = false;
  version_ = 1;
  title_.clear();
  artist_.clear();
  album_.clear();
  comment_.clear();
  longTitle_.clear();
  longArtist_.clear();
  longAlbum_.clear();
  longComment_.clear();
  year_.clear();
  track_ = 0;
  genreID_ = 255;
  hasLyrics3_ = false;
  lyrics3Size_ = 0;
  lyrics_.clear();
  author_.clear();
  image_.clear();
}

std::string TID3v1::Genre() const { return genreID_ < kGenreCount ? GenreNames[genreID_] : std::string(); }

int64_t TID3v1::TotalSize() const {
  return (lyrics3Size_ > 0 ? lyrics3Size_ + kLyricsFooter : 0) + (exists_ ? kTagSize : 0);
}

void TID3v1::SetText(const std::string& v, std::string& shortValue, std::string& longValue) {
  shortValue = TrimRight(v);
  if (Utf8ToTagBytes(shortValue).size() >= 31)
    longValue = shortValue;
  else
    longValue.clear();
}

void TID3v1::SetYear(const std::string& v) {
  std::string t = TrimRight(v);
  size_t chars = 0, i = 0;
  for (; i < t.size(); ++i) {
    if ((static_cast<unsigned char>(t[i]) & 0xC0) != 0x80 && ++chars > 4) break;
  }
  year_ = t.substr(0, i);
}

void TID3v1::ParseTag(const uint8_t* tag) {
  exists_ = true;
  bool v11 = IsV11(tag);
  version_ = v11 ? 2 : 1;
  SetTitle(FieldText(tag + 3, 30));
  SetArtist(FieldText(tag + 33, 30));
  SetAlbum(FieldText(tag + 63, 30));
  SetYear(FieldText(tag + 93, 4));
  SetComment(FieldText(tag + 97, v11 ? 28 : 30));
  if (v11) track_ = tag[126];
  genreID_ = tag[127];
}

bool TID3v1::ReadPresence(ByteSource& src, Presence& p) {
  p = Presence{};
  const int64_t size = src.Size();
  uint8_t tag[kTagSize];
  int64_t got = src.ReadAt(size - kTagSize, tag, kTagSize);
  if (got < 0) return false;
  p.exists = got >= 3 && std::memcmp(tag, "TAG", 3) == 0;
  // A file too short to hold a Lyrics3 footer simply has none.
  const int64_t f = p.exists ? kTagSize + kLyricsFooter : kLyricsFooter;
  uint8_t footer[kLyricsFooter];
  if (size - f < 0) return true;
  got = src.ReadAt(size - f, footer, kLyricsFooter);
  if (got < 0) return false;
  if (got < kLyricsFooter || std::memcmp(footer + 6, "LYRICS200", 9) != 0) return true;
  int64_t n = StrToIntDef(std::string_view(reinterpret_cast<char*>(footer), 6), 0);
  if (n <= 0) return true;
  uint8_t begin[11];
  int64_t at = size - n - f;
  if (at < 0 || src.ReadAt(at, begin, 11) != 11 || std::memcmp(begin, "LYRICSBEGIN", 11) != 0) return true;
  p.hasLyrics3 = true;
  p.lyrics3Size = int(n);
  return true;
}

bool TID3v1::ReadFromFile(const std::string& path) {
  ResetData();
  FileSource src;
  if (!src.Open(path)) return false;
  return ReadFromSource(src);
}

bool TID3v1::ReadFromMemory(const void* data, size_t size) {
  MemorySource src(data, size);
  return ReadFromSource(src);
}

bool TID3v1::ReadFromSource(ByteSource& src) {
  ResetData();
  const int64_t size = src.Size();
  uint8_t tag[kTagSize];
  int64_t got = src.ReadAt(size - kTagSize, tag, kTagSize);
  if (got < 0) return false;
  if (got == kTagSize && std::memcmp(tag, "TAG", 3) == 0) ParseTag(tag);
  Presence p;
  if (!ReadPresence(src, p)) return false;
  if (p.hasLyrics3) {
    hasLyrics3_ = true;
    lyrics3Size_ = p.lyrics3Size;
    const int64_t f = exists_ ? kTagSize + kLyricsFooter : kLyricsFooter;
    ReadLyrics3Fields(src, size - lyrics3Size_ - f + 11);
  }
  return true;
}

void TID3v1::ReadLyrics3Fields(ByteSource& src, int64_t pos) {
  // The walk ends at the size field or the ID3v1 tag: neither forms a valid field header.
  std::string value;
  while (pos < src.Size()) {
    char head[8];
    if (src.ReadAt(pos, head, 8) != 8) return;
    std::string_view id(head, 3);
    int64_t len = StrToIntDef(std::string_view(head + 3, 5), -1);
    if (len < 0) return;
    value.resize(size_t(len));
    int64_t got = len > 0 ? src.ReadAt(pos + 8, value.data(), size_t(len)) : 0;
    if (got < 0) return;
    value.resize(size_t(got));
    std::string text = TagBytesToUtf8(value);
    if (id == "IND") {
    } else if (id == "LYR") {
      lyrics_ = ReplaceAll(ReplaceAll(Trim(text), "\r", "\r\n"), "\r\n\n", "\r\n");
    } else if (id == "INF") {
      SetComment(Trim(text));
    } else if (id == "AUT") {
      author_ = Trim(text);
    } else if (id == "EAL") {
      SetAlbum(Trim(text));
    } else if (id == "EAR") {
      SetArtist(Trim(text));
    } else if (id == "ETT") {
      SetTitle(Trim(text));
    } else if (id == "IMG") {
      image_ = text;
    } else {
      return;
    }
    pos += 8 + len;
  }
}

bool TID3v1::ReadFromBuffer(const void* buffer, size_t length, TMP3TagInfo& record) {
  record = TMP3TagInfo{};
  if (!buffer || length < kTagSize) return false;
  const auto* tag = static_cast<const uint8_t*>(buffer);
  if (std::memcmp(tag, "TAG", 3) != 0) return false;
  bool v11 = IsV11(tag);
  record.Title = FieldText(tag + 3, 30);
  record.Artist = FieldText(tag + 33, 30);
  record.Album = FieldText(tag + 63, 30);
  record.Year = FieldText(tag + 93, 4);
  record.Comment = FieldText(tag + 97, v11 ? 28 : 30);
  record.Track = v11 ? tag[126] : 0;
  record.Genre = tag[127] < kGenreCount ? GenreNames[tag[127]] : std::string("Unknown");
  return true;
}

std::string TID3v1::BuildTail(bool& withLyrics3, int& blockSize) const {
  std::string out;
  withLyrics3 = (!lyrics_.empty() || !author_.empty() || !image_.empty()) &&
                (!lyrics_.empty() || !author_.empty() || !longTitle_.empty() || !longArtist_.empty() ||
                 !longAlbum_.empty() || !longComment_.empty());
  blockSize = 0;
  if (withLyrics3) {
    out = "LYRICSBEGIN";
    out += lyrics_.empty() ? "IND0000200" : "IND0000210";
    const std::pair<const char*, const std::string*> fields[] = {
        {"EAL", &longAlbum_}, {"EAR", &longArtist_}, {"ETT", &longTitle_}, {"INF", &longComment_},
        {"AUT", &author_},    {"LYR", &lyrics_},     {"IMG", &image_}};
    for (const auto& [id, value] : fields) {
      if (Trim(*value).empty()) continue;
      std::string bytes = TagBytesCut(*value, kMaxFieldBytes);
      out += id;
      out += Digits(bytes.size(), 5);
      out += bytes;
    }
    blockSize = int(out.size());
    out += Digits(out.size(), 6);
    out += "LYRICS200";
  }
  std::string tag(kTagSize, '\0');
  auto put = [&](size_t at, const std::string& v, size_t max) {
    std::string bytes = TagBytesCut(TrimRight(v), max);
    tag.replace(at, bytes.size(), bytes);
  };
  tag.replace(0, 3, "TAG");
  put(3, Title(), 30);
  put(33, Artist(), 30);
  put(63, Album(), 30);
  put(93, year_, 4);
  put(97, Comment(), track_ != 0 ? 28 : 30);
  if (track_ != 0) {
    tag[125] = 0;
    tag[126] = char(track_);
  }
  tag[127] = char(genreID_);
  out += tag;
  return out;
}

bool TID3v1::ReplaceTail(const std::string& path, const std::string& newTail) {
  FileSource probe;
  if (!probe.Open(path)) return false;
  Presence p;
  if (!ReadPresence(probe, p)) return false;
  const int64_t size = probe.Size();
  probe.Close();
  const int64_t oldTail = (p.exists ? kTagSize : 0) + (p.hasLyrics3 ? p.lyrics3Size + kLyricsFooter : 0);
  if (oldTail == 0 && newTail.empty()) return true;
  const int64_t cut = size - oldTail;

  if (!io::ClearReadOnly(path)) return false;
  int fd = io::OpenForUpdate(path);
  if (fd < 0) return false;
  std::string backup(size_t(oldTail), '\0');
  if (oldTail > 0 && !io::ReadExact(fd, backup.data(), backup.size(), cut)) {
    io::Close(fd);
    return false;
  }
  // The old bytes are kept in memory until the new tail is flushed; any failure puts them back.
  bool ok = true;
  if (!newTail.empty()) ok = io::WriteAt(fd, newTail.data(), newTail.size(), cut);
  if (ok && int64_t(newTail.size()) < oldTail) ok = io::Truncate(fd, cut + int64_t(newTail.size()));
  if (ok) ok = io::Sync(fd);
  if (!ok) io::Restore(fd, backup, cut);
  io::Close(fd);
  return ok;
}

bool TID3v1::SaveToFile(const std::string& path) {
  bool withLyrics3 = false;
  int blockSize = 0;
  std::string tail = BuildTail(withLyrics3, blockSize);
  if (!ReplaceTail(path, tail)) return false;
  exists_ = true;
  hasLyrics3_ = withLyrics3;
  lyrics3Size_ = blockSize;
  version_ = track_ != 0 ? 2 : 1;
  return true;
}

bool TID3v1::RemoveFromFile(const std::string& path) {
  if (!ReplaceTail(path, std::string())) return false;
  exists_ = false;
  hasLyrics3_ = false;
  lyrics3Size_ = 0;
  return true;
}

}  // namespace tags
