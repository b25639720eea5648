// ID3v2 tag (versions 2.2, 2.3, 2.4) at the start of a file: a fixed set of
// text fields is read, and a version 2.3 tag is written back. Texts are UTF-8.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "tags/MP3TagInfo.h"

namespace tags {

class ByteSource;

class TID3v2 {
 public:
  // Frame slots, in the order of the identifier table (also the writing order).
  enum Slot {
    kTIT2, kTPE1, kTALB, kTRCK, kTYER, kTCON, kCOMM, kTCOM, kTENC,
    kTCOP, kTLAN, kWXXX, kTDRC, kTOPE, kTIT1, kTOAL, kTSIZ, kUSLT, kSlotCount
  };
  static const char* const kFrameIds[kSlotCount];
  static const char* const kFrameIdsV22[kSlotCount];

  TID3v2() { ResetData(); }

  void ResetData();
  // True when the file could be opened and its first 10 bytes read, tag or not.
  bool ReadFromFile(const std::string& path);
  bool ReadFromSource(ByteSource& src);
  bool ReadFromMemory(const void* data, size_t size);
  // Writes a version 2.3 tag from the fields: in place when it fits the old
  // tag (at most 4096 bytes), else by rebuilding the file through a temporary
  // file that replaces the original only once complete. On false the file is
  // as it was. Frames of the old 2.3/2.4 tag that no field stands for are kept.
  bool SaveToFile(const std::string& path);
  // Parses a tag held in memory into a record; false when it does not start with "ID3".
  static bool ReadFromBuffer(const void* buffer, size_t length, TMP3TagInfo& record);

  bool Exists() const { return exists_; }
  uint8_t VersionID() const { return versionID_; }
  // Whole tag in bytes (header, frames, padding, footer); 0 when none or when it claims more than the file holds.
  int64_t TagSize() const { return tagSize_; }
  const std::string& Title() const { return title_; }
  const std::string& Artist() const { return artist_; }
  const std::string& Album() const { return album_; }
  uint16_t Track() const { return track_; }
  const std::string& TrackString() const { return trackString_; }
  const std::string& Year() const { return year_; }
  const std::string& Genre() const { return genre_; }
  const std::string& Comment() const { return comment_; }
  const std::string& Composer() const { return composer_; }
  const std::string& Encoder() const { return encoder_; }
  const std::string& Copyright() const { return copyright_; }
  const std::string& Language() const { return language_; }
  const std::string& Link() const { return link_; }
  const std::string& OrigArtist() const { return origArtist_; }
  const std::string& Lyrics() const { return lyrics_; }
  const std::string& SizeText() const { return sizeText_; }

  // Setters trim leading and trailing blanks. SetTrack also sets TrackString
  // (empty for 0, so no track frame is written).
  void SetTitle(const std::string& v);
  void SetArtist(const std::string& v);
  void SetAlbum(const std::string& v);
  void SetTrack(uint16_t v);
  void SetYear(const std::string& v);
  void SetGenre(const std::string& v);
  void SetComment(const std::string& v);
  void SetComposer(const std::string& v);
  void SetEncoder(const std::string& v);
  void SetCopyright(const std::string& v);
  void SetLink(const std::string& v);

  // The tag SaveToFile would write for a file whose current tag has oldTagSize
  // bytes (0 when it has none), with the kept frames of the old tag after the
  // managed ones; rewrite tells whether the file must be rebuilt.
  std::string BuildTag(int64_t oldTagSize, bool hasOldTag, bool& rewrite, const std::string& kept = {}) const;

 private:
  struct Frames {
    std::array<std::string, kSlotCount> body;  // raw frame bodies, encoding byte first
    std::array<bool, kSlotCount> found{};
  };
  struct Header {
    bool valid = false;
    uint8_t version = 0, revision = 0, flags = 0;
    int64_t tagSize = 0;
  };
  static bool ReadHeader(ByteSource& src, Header& h);
  static void WalkFrames(ByteSource& src, const Header& h, size_t bodyLimit, Frames& frames);
  // Frames of a 2.3 or 2.4 tag that the fields above do not manage (pictures,
  // user texts, ratings...), in 2.3 form, so a save does not lose them. *tooLarge is set
  // when a frame is larger than a save carries over (the save is then refused).
  static std::string KeptFrames(ByteSource& src, const Header& h, bool* tooLarge = nullptr);
  void Decode(const Frames& frames);

  bool exists_;
  uint8_t versionID_;
  int64_t tagSize_;
  std::string title_, artist_, album_;
  uint16_t track_;
  std::string trackString_, year_, genre_, comment_, composer_, encoder_, copyright_, language_;
  std::string link_, origArtist_, lyrics_, sizeText_;
};

}  // namespace tags
