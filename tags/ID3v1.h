// ID3v1 tag (versions 1.0 and 1.1) at the end of a file, with the Lyrics3
// version 2 block stored just before it. Reads, writes and removes both.
// Texts are UTF-8; in the file they are ISO-8859-1 when every character fits
// (otherwise their UTF-8 bytes), and lengths are counted in those bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tags/MP3TagInfo.h"

namespace tags {

class ByteSource;

class TID3v1 {
 public:
  TID3v1() { ResetData(); }

  void ResetData();
  // Reads the tag and the Lyrics3 block; false when the file cannot be opened or read.
  bool ReadFromFile(const std::string& path);
  // The same over an open source (used by the stream readers and for memory data).
  bool ReadFromSource(ByteSource& src);
  bool ReadFromMemory(const void* data, size_t size);
  // Replaces the tag and the block of the file with the current fields. Either
  // the new tag and block are in place and true is returned, or the file is
  // left as it was and false is returned.
  bool SaveToFile(const std::string& path);
  // Cuts the tag and the block off the file; all or nothing like SaveToFile.
  bool RemoveFromFile(const std::string& path);
  // Parses a 128-byte tag held in memory; false when it does not start with "TAG" or is shorter.
  static bool ReadFromBuffer(const void* buffer, size_t length, TMP3TagInfo& record);

  bool Exists() const { return exists_; }
  uint8_t Version() const { return version_; }  // 1: v1.0, 2: v1.1
  // The long value when there is one, else the short one.
  std::string Title() const { return longTitle_.empty() ? title_ : longTitle_; }
  std::string Artist() const { return longArtist_.empty() ? artist_ : longArtist_; }
  std::string Album() const { return longAlbum_.empty() ? album_ : longAlbum_; }
  std::string Comment() const { return longComment_.empty() ? comment_ : longComment_; }
  const std::string& ShortTitle() const { return title_; }
  const std::string& ShortArtist() const { return artist_; }
  const std::string& ShortAlbum() const { return album_; }
  const std::string& ShortComment() const { return comment_; }
  const std::string& LongTitle() const { return longTitle_; }
  const std::string& LongArtist() const { return longArtist_; }
  const std::string& LongAlbum() const { return longAlbum_; }
  const std::string& LongComment() const { return longComment_; }
  const std::string& Year() const { return year_; }
  uint8_t Track() const { return track_; }
  uint8_t GenreID() const { return genreID_; }
  // GenreNames[GenreID] for indices below 148, else empty.
  std::string Genre() const;
  bool HasLyrics3() const { return hasLyrics3_; }
  int Lyrics3Size() const { return lyrics3Size_; }
  const std::string& Lyrics() const { return lyrics_; }
  const std::string& Author() const { return author_; }
  const std::string& Image() const { return image_; }
  // Bytes the tag and the block take at the end of the file.
  int64_t TotalSize() const;

  void SetTitle(const std::string& v) { SetText(v, title_, longTitle_); }
  void SetArtist(const std::string& v) { SetText(v, artist_, longArtist_); }
  void SetAlbum(const std::string& v) { SetText(v, album_, longAlbum_); }
  void SetComment(const std::string& v) { SetText(v, comment_, longComment_); }
  void SetYear(const std::string& v);
  void SetTrack(uint8_t v) { track_ = v; }
  void SetGenreID(uint8_t v) { genreID_ = v; }
  void SetLyrics(const std::string& v) { lyrics_ = v; }
  void SetAuthor(const std::string& v) { author_ = v; }
  void SetImage(const std::string& v) { image_ = v; }

 private:
  struct Presence {
    bool exists = false;
    bool hasLyrics3 = false;
    int lyrics3Size = 0;
  };
  static void SetText(const std::string& v, std::string& shortValue, std::string& longValue);
  static bool ReadPresence(ByteSource& src, Presence& p);
  void ParseTag(const uint8_t* tag);
  void ReadLyrics3Fields(ByteSource& src, int64_t start);
  // The Lyrics3 block and the 128-byte tag to append, from the current fields.
  std::string BuildTail(bool& withLyrics3, int& blockSize) const;
  bool ReplaceTail(const std::string& path, const std::string& newTail);

  bool exists_;
  uint8_t version_;
  std::string title_, artist_, album_, comment_;
  std::string longTitle_, longArtist_, longAlbum_, longComment_;
  std::string year_;
  uint8_t track_;
  uint8_t genreID_;
  bool hasLyrics3_;
  int lyrics3Size_;
  std::string lyrics_, author_, image_;
};

}  // namespace tags
