#include "tags/OggVorbis.h"

#include <cmath>
#include <cstring>

#include "tags/ByteSource.h"
#include "tags/TextUtil.h"

namespace tags {

namespace {

constexpr size_t kCommentLimit = 5000;
const char* const kFieldNames[] = {"TITLE",     "ARTIST",      "ALBUM",    "TRACKNUMBER", "DATE",
                                   "GENRE",     "COMMENT",     "PERFORMER", "DESCRIPTION", "COMPOSER",
                                   "LYRICS",    "URL",         "COPYRIGHT"};

// The data of consecutive pages of one logical stream, read as one run of
// bytes: a comment packet larger than a page continues on the next pages.
class PageStream {
 public:
  PageStream(ByteSource& src, int64_t pageStart, uint32_t serial) : src_(src), next_(pageStart), serial_(serial) {}

  bool Read(void* dst, size_t n) { return Move(static_cast<uint8_t*>(dst), n); }
  bool Skip(size_t n) { return Move(nullptr, n); }

 private:
  bool NextPage() {
    for (int guard = 0; guard < 1024; ++guard) {
      uint8_t h[27];
      if (src_.ReadAt(next_, h, 27) != 27 || std::memcmp(h, "OggS", 4) != 0) return false;
      uint8_t lacing[255];
      const size_t segments = h[26];
      if (src_.ReadAt(next_ + 27, lacing, segments) != int64_t(segments)) return false;
      int64_t data = 0;
      for (size_t i = 0; i < segments; ++i) data += lacing[i];
      const int64_t dataStart = next_ + 27 + int64_t(segments);
      next_ = dataStart + data;
      if (LE32(h + 14) != serial_) continue;  // another stream's page
      pos_ = dataStart;
      left_ = data;
      return true;
    }
    return false;
  }

  bool Move(uint8_t* dst, size_t n) {
    while (n > 0) {
      if (left_ == 0 && !NextPage()) return false;
      const size_t take = size_t(std::min<int64_t>(left_, int64_t(n)));
      if (dst) {
        if (src_.ReadAt(pos_, dst, take) != int64_t(take)) return false;
        dst += take;
      }
      pos_ += int64_t(take);
      left_ -= int64_t(take);
      n -= take;
    }
    return true;
  }

  ByteSource& src_;
  int64_t next_;
  uint32_t serial_;
  int64_t pos_ = 0;
  int64_t left_ = 0;
};

}  // namespace

void TOggVorbis::ResetData() {
  fileSize_ = 0;
  channels_ = 0;
  sampleRate_ = 0;
  bitRateNominal_ = 0;
  samples_ = 0;
  id3v2Size_ = 0;
  title_.clear();
  artist_.clear();
  album_.clear();
  track_ = 0;
  date_.clear();
  genre_.clear();
  comment_.clear();
  composer_.clear();
  lyrics_.clear();
  url_.clear();
  copyright_.clear();
  vendor_.clear();
  streamVersion_ = 0;
  serial_ = 0;
  extras_.clear();
}

bool TOggVorbis::ReadFromFile(const std::string& path) {
  ResetData();
  FileSource src;
  if (!src.Open(path)) return false;
  return ReadFromSource(src);
}

bool TOggVorbis::ReadFromMemory(const void* data, size_t size) {
  MemorySource src(data, size);
  return ReadFromSource(src);
}

void TOggVorbis::ParseComment(const std::string& raw, std::string* fields) {
  const std::string text = Trim(raw);
  const size_t eq = text.find('=');
  if (eq == std::string::npos) {
    if (vendor_.empty()) vendor_ = TagBytesToUtf8(text);
    return;
  }
  const std::string name = UpperAscii(text.substr(0, eq));
  const std::string value = Trim(TagBytesToUtf8(text.substr(eq + 1)));
  for (int i = 0; i < kFieldCount; ++i) {
    if (name == kFieldNames[i]) {
      fields[i] = value;
      return;
    }
  }
  if (!extras_.empty()) extras_ += '\0';
  extras_ += name + "=" + value;
}

void TOggVorbis::ReadSamples(ByteSource& src) {
  constexpr int64_t kStep = 4991, kBlock = 5001;
  uint8_t block[kBlock];
  const int64_t size = src.Size();
  for (int k = 1; k <= 50; ++k) {
    const int64_t start = size - k * kStep - 10;
    if (start + kBlock <= 0) return;
    std::memset(block, 0, sizeof block);
    const int64_t from = std::max<int64_t>(start, 0);
    if (src.ReadAt(from, block + (from - start), size_t(kBlock - (from - start))) < 0) return;
    for (int64_t i = kStep; i >= 0; --i) {
      if (start + i < 0 || std::memcmp(block + i, "OggS", 4) != 0) continue;
      uint8_t h[27];
      if (src.ReadAt(start + i, h, 27) != 27) return;
      samples_ = uint32_t(LE64(h + 6));
      return;
    }
  }
}

bool TOggVorbis::ReadFromSource(ByteSource& src) {
  ResetData();
  fileSize_ = src.Size();
  uint8_t head[10];
  if (src.ReadAt(0, head, 10) == 10 && std::memcmp(head, "ID3", 3) == 0) {
    id3v2Size_ = int64_t(SyncSafe32(head + 6)) + 10 + ((head[5] & 0x10) ? 10 : 0);
    if (id3v2Size_ > fileSize_) id3v2Size_ = 0;
  }
  uint8_t page[27];
  if (src.ReadAt(id3v2Size_, page, 27) != 27 || std::memcmp(page, "OggS", 4) != 0) return false;
  streamVersion_ = page[4];
  serial_ = LE32(page + 14);
  const int64_t firstData = id3v2Size_ + 27 + page[26];
  uint8_t ident[30];
  if (src.ReadAt(firstData, ident, 30) != 30 || ident[0] != 1 || std::memcmp(ident + 1, "vorbis", 6) != 0)
    return false;
  channels_ = ident[11];
  sampleRate_ = int(LE32(ident + 12));
  bitRateNominal_ = uint16_t(LE32(ident + 20) / 1000);

  std::string fields[kFieldCount];
  PageStream stream(src, firstData + 30, serial_);
  uint8_t kind[7];
  if (stream.Read(kind, 7) && kind[0] == 3 && std::memcmp(kind + 1, "vorbis", 6) == 0) {
    std::string text;
    uint32_t count = 1;  // the vendor string, then the comment count is known
    for (uint32_t i = 0; i <= count; ++i) {
      uint8_t len[4];
      if (!stream.Read(len, 4)) break;
      const uint32_t length = LE32(len);
      const size_t take = std::min<size_t>(length, kCommentLimit);
      text.assign(take, '\0');
      if (!stream.Read(text.data(), take) || !stream.Skip(length - take)) break;
      ParseComment(std::string(CutAtZero(text)), fields);
      if (i == 0) {
        uint8_t n[4];
        if (!stream.Read(n, 4)) break;
        count = LE32(n);
      }
    }
  }
  ReadSamples(src);

  title_ = fields[kTitle];
  artist_ = fields[kArtist].empty() ? fields[kPerformer] : fields[kArtist];
  album_ = fields[kAlbum];
  std::string track = fields[kTrack];
  const size_t slash = track.find('/');
  if (slash != std::string::npos) track = track.substr(0, slash);
  track_ = uint8_t(StrToIntDef(track, 0));
  date_ = fields[kDate];
  genre_ = fields[kGenre];
  comment_ = fields[kComment].empty() ? fields[kDescription] : fields[kComment];
  composer_ = fields[kComposer];
  lyrics_ = fields[kLyrics];
  url_ = fields[kURL];
  copyright_ = fields[kCopyright];
  return true;
}

double TOggVorbis::Duration() const {
  if (samples_ > 0 && sampleRate_ > 0) return double(samples_) / sampleRate_;
  if (bitRateNominal_ != 0 && channels_ != 0)
    return double(fileSize_ - id3v2Size_) / bitRateNominal_ / channels_ / 125.0 * 2;
  return 0;
}

int TOggVorbis::BitRate() const {
  const double d = Duration();
  if (d <= 0) return 0;
  return int(std::lround(double(fileSize_ - id3v2Size_) / d / 125.0));
}

bool TOggVorbis::Valid() const {
  return (channels_ == 1 || channels_ == 2 || channels_ == 6) && sampleRate_ >= 1 && Duration() > 0.1 &&
         BitRate() != 0;
}

}  // namespace tags
