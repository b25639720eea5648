// Windows Media audio (ASF container): stream properties and content descriptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tags {

class ByteSource;

class TWMAfile {
 public:
  TWMAfile() { ResetData(); }
  void ResetData();
  // False on an I/O error; true otherwise, Valid telling whether the header values are plausible.
  bool ReadFromFile(const std::string& path);
  bool ReadFromSource(ByteSource& src);
  bool ReadFromMemory(const void* data, size_t size);

  bool Valid() const { return valid_; }
  int64_t FileSize() const { return fileSize_; }
  int Channels() const { return channels_; }
  int SampleRate() const { return sampleRate_; }
  double Duration() const { return duration_; }  // seconds
  int BitRate() const { return bitRate_; }       // kbit/s
  std::string ChannelMode() const;
  const std::string& Title() const { return title_; }
  const std::string& Artist() const { return artist_; }
  const std::string& Album() const { return album_; }
  int Track() const { return track_; }
  const std::string& Year() const { return year_; }
  const std::string& Genre() const { return genre_; }
  const std::string& Comment() const { return comment_; }

 private:
  bool valid_;
  int64_t fileSize_;
  int channels_;
  int sampleRate_;
  double duration_;
  int bitRate_;
  std::string title_, artist_, album_;
  int track_;
  std::string year_, genre_, comment_;
};

}  // namespace tags
