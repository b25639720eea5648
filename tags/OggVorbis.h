// Ogg Vorbis file: identification header, Vorbis comments and the sample
// count of the last page, with duration and bit rate derived from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tags {

class ByteSource;

class TOggVorbis {
 public:
  TOggVorbis() { ResetData(); }
  void ResetData();
  // True when the file starts (after an optional ID3v2 tag) with an Ogg page carrying a Vorbis identification header.
  bool ReadFromFile(const std::string& path);
  bool ReadFromSource(ByteSource& src);
  bool ReadFromMemory(const void* data, size_t size);

  int64_t FileSize() const { return fileSize_; }
  uint8_t Channels() const { return channels_; }
  int SampleRate() const { return sampleRate_; }
  uint16_t BitRateNominal() const { return bitRateNominal_; }  // kbit/s
  uint32_t Samples() const { return samples_; }
  int64_t ID3v2Size() const { return id3v2Size_; }
  double Duration() const;  // seconds
  int BitRate() const;      // kbit/s
  bool Valid() const;

  const std::string& Title() const { return title_; }
  const std::string& Artist() const { return artist_; }
  const std::string& Album() const { return album_; }
  uint8_t Track() const { return track_; }
  const std::string& Date() const { return date_; }
  const std::string& Genre() const { return genre_; }
  const std::string& Comment() const { return comment_; }
  const std::string& Composer() const { return composer_; }
  const std::string& Lyrics() const { return lyrics_; }
  const std::string& URL() const { return url_; }
  const std::string& Copyright() const { return copyright_; }
  const std::string& Vendor() const { return vendor_; }
  uint8_t StreamVersion() const { return streamVersion_; }
  uint32_t Serial() const { return serial_; }
  // All other comments as NAME=value, separated by a zero byte.
  const std::string& Extras() const { return extras_; }

 private:
  enum Field { kTitle, kArtist, kAlbum, kTrack, kDate, kGenre, kComment, kPerformer, kDescription,
               kComposer, kLyrics, kURL, kCopyright, kFieldCount };
  void ParseComment(const std::string& text, std::string* fields);
  void ReadSamples(ByteSource& src);

  int64_t fileSize_;
  uint8_t channels_;
  int sampleRate_;
  uint16_t bitRateNominal_;
  uint32_t samples_;
  int64_t id3v2Size_;
  std::string title_, artist_, album_;
  uint8_t track_;
  std::string date_, genre_, comment_, composer_, lyrics_, url_, copyright_, vendor_;
  uint8_t streamVersion_;
  uint32_t serial_;
  std::string extras_;
};

}  // namespace tags
