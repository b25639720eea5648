#include "playlist/ui/TagEdit.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/Paths.h"
#include "playlist/Extensions.h"
#include "tags/GenreNames.h"
#include "tags/SafeWrite.h"

namespace playlist {

namespace {

// The end of a file as it was before the ID3v1 tag (and a Lyrics3 block before
// it) was rewritten there, so the change can be taken back when the ID3v2
// write that follows fails: the user is told the save failed, and the file
// must then be what it was, not half of the edit.
struct TailBackup {
  // Larger than the largest Lyrics3 block plus the tag.
  static constexpr int64_t kMax = (1 << 20) + 256;
  int64_t offset = -1;
  std::string bytes;

  bool Take(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    bool ok = size >= 0;
    if (ok) {
      offset = size - std::min<int64_t>(size, kMax);
      bytes.resize(static_cast<size_t>(size - offset));
      ok = tags::io::ReadExact(fd, bytes.data(), bytes.size(), offset);
    }
    ::close(fd);
    if (!ok) offset = -1;
    return ok;
  }

  bool PutBack(const std::string& path) const {
    if (offset < 0) return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = tags::io::Restore(fd, bytes, offset);
    ::close(fd);
    return ok;
  }
};

}  // namespace

bool ParseDecimal(const std::string& text, long lo, long hi, long& value) {
  if (text.empty() || text.size() > 18) return false;
  size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (i == text.size()) return false;
  for (size_t k = i; k < text.size(); ++k)
    if (text[k] < '0' || text[k] > '9') return false;
  errno = 0;
  const long v = std::strtol(text.c_str(), nullptr, 10);
  if (errno != 0 || v < lo || v > hi) return false;
  value = v;
  return true;
}

bool TTagEdit::WritableFile(const std::string& path) {
  const std::string ext = FileExtension(path);
  // ID3 tags belong to MPEG audio; in WAV, FLAC, Ogg and the rest other programs take them for damage.
  return ext == ".mp1" || ext == ".mp2" || ext == ".mp3";
}

void TTagEdit::Load(const std::string& path) {
  file_ = path;
  writable_ = WritableFile(path);
  v1Shown_ = {};
  v2Shown_ = {};
  v1Read_ = id3v1_.ReadFromFile(path);
  if (v1Read_) {
    v1Shown_.title = id3v1_.Title();
    v1Shown_.artist = id3v1_.Artist();
    v1Shown_.album = id3v1_.Album();
    v1Shown_.comment = id3v1_.Comment();
    v1Shown_.year = id3v1_.Year().substr(0, 4);
    if (id3v1_.Track()) v1Shown_.track = std::to_string(id3v1_.Track());
    if (id3v1_.GenreID() < tags::kGenreCount) {
      v1Shown_.genre = id3v1_.GenreID();
      v1Shown_.genreText = tags::GenreNames[id3v1_.GenreID()];
    }
  } else {
    id3v1_.ResetData();
  }
  v2Read_ = id3v2_.ReadFromFile(path);
  if (v2Read_) {
    v2Shown_.title = id3v2_.Title();
    v2Shown_.artist = id3v2_.Artist();
    v2Shown_.album = id3v2_.Album();
    v2Shown_.comment = id3v2_.Comment();
    v2Shown_.year = id3v2_.Year();
    if (id3v2_.Track()) v2Shown_.track = std::to_string(id3v2_.Track());
    for (int g = 0; g < tags::kGenreCount; ++g)
      if (tags::GenreNames[g] == id3v2_.Genre()) {
        v2Shown_.genre = g;
        v2Shown_.genreText = id3v2_.Genre();
        break;
      }
  } else {
    id3v2_.ResetData();
  }
}

TTagEdit::SaveResult TTagEdit::Save(const TTagFields& v1, const TTagFields& v2, std::string* badText) {
  const bool c1 = !(v1 == v1Shown_), c2 = !(v2 == v2Shown_);
  if (!c1 && !c2) return SaveResult::Saved;
  if (!writable_) return SaveResult::NotWritable;
  // Both track texts are checked before either tag is touched.
  long track1 = 0, track2 = 0;
  const bool t1 = c1 && v1.track != v1Shown_.track;
  const bool t2 = c2 && v2.track != v2Shown_.track;
  if (t1 && !v1.track.empty() && !ParseDecimal(v1.track, 0, 255, track1)) {
    if (badText) *badText = v1.track;
    return SaveResult::BadTrack;
  }
  if (t2 && !v2.track.empty() && !ParseDecimal(v2.track, 0, 65535, track2)) {
    if (badText) *badText = v2.track;
    return SaveResult::BadTrack;
  }
  if (!platform::FileExists(file_)) return SaveResult::Vanished;

  TailBackup tail;
  bool v1Written = false;
  tags::TID3v1 nextV1 = id3v1_;
  if (c1) {
    // Only needed when an ID3v2 write follows and may fail.
    if (c2 && !tail.Take(file_)) return SaveResult::V1Failed;
    tags::TID3v1& next = nextV1;
    if (v1.title != v1Shown_.title) next.SetTitle(v1.title);
    if (v1.artist != v1Shown_.artist) next.SetArtist(v1.artist);
    if (v1.album != v1Shown_.album) next.SetAlbum(v1.album);
    if (v1.comment != v1Shown_.comment) next.SetComment(v1.comment);
    if (v1.year != v1Shown_.year) next.SetYear(v1.year);
    if (t1) next.SetTrack(static_cast<uint8_t>(track1));
    if (v1.genre != v1Shown_.genre) next.SetGenreID(v1.genre < 0 ? 255 : static_cast<uint8_t>(v1.genre));
    if (!next.SaveToFile(file_)) return SaveResult::V1Failed;
    v1Written = true;
  }
  if (c2) {
    tags::TID3v2 next = id3v2_;
    if (v2.title != v2Shown_.title) next.SetTitle(v2.title);
    if (v2.artist != v2Shown_.artist) next.SetArtist(v2.artist);
    if (v2.album != v2Shown_.album) next.SetAlbum(v2.album);
    if (v2.comment != v2Shown_.comment) next.SetComment(v2.comment);
    if (v2.year != v2Shown_.year) next.SetYear(v2.year);
    if (t2) next.SetTrack(static_cast<uint16_t>(track2));
    if (v2.genre != v2Shown_.genre) next.SetGenre(v2.genreText);
    if (!next.SaveToFile(file_)) {
      // A failed ID3v2 write leaves the file's head as it was; its end goes back too.
      if (v1Written) tail.PutBack(file_);
      return SaveResult::V2Failed;
    }
    id3v2_ = next;
    v2Shown_ = v2;
  }
  if (v1Written) {
    id3v1_ = nextV1;
    v1Shown_ = v1;
  }
  return SaveResult::Saved;
}

}  // namespace playlist
