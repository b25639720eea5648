// Stream information: identifying files and filling TStreamInfo.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/AddonFamilies.h"
#include "engine/ModuleTitle.h"
#include "engine/ZOZUZivade.h"
#include "plugins/PluginCtrl.h"
#include "platform/Paths.h"
#include "tags/MPEGaudio.h"
#include "tags/AACfile.h"
#include "tags/OggVorbis.h"
#include "tags/WAVfile.h"
#include "tags/WMAfile.h"

namespace engine {

bool TZOZUZivade::GetStreamInfoCached(const std::string& name, TStreamInfo& info, int& supportedBy) {
  if (!streamName_.empty() && name == streamName_) {
    info = streamInfo_;
    supportedBy = supportedBy_;
    return true;
  }
  int pluginNum = -1;
  std::string pluginName;
  return GetStreamInfo(name, info, supportedBy, pluginNum, pluginName);
}

void TZOZUZivade::RefreshStreamTags(const std::string& name) {
  if (streamName_.empty() || name != streamName_) return;
  TStreamInfo fresh;
  int supportedBy = 0, pluginNum = -1;
  std::string pluginName;
  if (!GetStreamInfo(name, fresh, supportedBy, pluginNum, pluginName)) return;
  // Only the texts: what was measured of the playing stream stays.
  streamInfo_.Title = fresh.Title;
  streamInfo_.Artist = fresh.Artist;
  streamInfo_.Album = fresh.Album;
  streamInfo_.Year = fresh.Year;
  streamInfo_.Genre = fresh.Genre;
  streamInfo_.GenreID = fresh.GenreID;
  streamInfo_.Track = fresh.Track;
  streamInfo_.Comment = fresh.Comment;
}

bool TZOZUZivade::MeasureWithBass(const std::string& name, TStreamInfo& info) {
  if (!bassReady_) return false;
  HSTREAM h = bass_.BASS_StreamCreateFile(FALSE, name.c_str(), 0, 0, 0);
  if (!h) return false;
  QWORD len = bass_.BASS_ChannelGetLength(h, BASS_POS_BYTE);
  double seconds = bass_.BASS_ChannelBytes2Seconds(h, len);
  info.Duration = static_cast<int32_t>(std::lround(seconds * 1000));
  BASS_CHANNELINFO ci{};
  bass_.BASS_ChannelGetInfo(h, &ci);
  info.SampleRate = ci.freq;
  info.BitsPerSample = (ci.flags & BASS_SAMPLE_8BITS) ? 8 : (ci.flags & BASS_SAMPLE_FLOAT) ? 32 : 16;
  info.Channels = static_cast<uint16_t>(ci.chans);
  info.Format = static_cast<int32_t>(ci.ctype);
  QWORD size = bass_.BASS_StreamGetFilePosition(h, BASS_FILEPOS_END);
  info.BitRate = info.Duration > 0 ? static_cast<int32_t>(std::lround(double(size) / (info.Duration * 0.125))) : 0;
  bass_.BASS_StreamFree(h);
  return true;
}

}  // namespace engine

namespace engine {
namespace {

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

bool FileSizeOf(const std::string& path, uint32_t& size) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  size = static_cast<uint32_t>(in.tellg());
  return true;
}

void SetTexts(TStreamInfo& info, std::string title, std::string artist, std::string album, std::string year,
              std::string genre, int track, std::string comment) {
  info.Title = std::move(title);
  info.Artist = std::move(artist);
  info.Album = std::move(album);
  info.Year = std::move(year);
  info.Genre = std::move(genre);
  info.Track = static_cast<uint8_t>(track);
  info.Comment = std::move(comment);
}

// What a header reader measured; the duration comes in seconds and is kept in milliseconds.
void SetHeader(TStreamInfo& info, int64_t fileSize, int sampleRate, int bitRate, double seconds, int channels) {
  info.FileSize = static_cast<uint32_t>(fileSize);
  info.SampleRate = static_cast<uint32_t>(sampleRate);
  info.BitRate = bitRate;
  info.Duration = static_cast<int32_t>(std::lround(seconds * 1000));
  info.Channels = static_cast<uint16_t>(channels);
}

// MPEG and AAC files: the ID3v1 tag when there is one, else the ID3v2 tag.
template <typename Reader>
void TagsFromMpegStyle(const Reader& r, TStreamInfo& info) {
  if (r.ID3v1().Exists()) {
    const auto& t = r.ID3v1();
    SetTexts(info, t.Title(), t.Artist(), t.Album(), t.Year(), t.Genre(), t.Track(), t.Comment());
    info.GenreID = t.GenreID();
  } else if (r.ID3v2().Exists()) {
    const auto& t = r.ID3v2();
    SetTexts(info, t.Title(), t.Artist(), t.Album(), t.Year(), t.Genre(), t.Track(), t.Comment());
  }
}

}  // namespace

bool TZOZUZivade::GetStreamInfo(const std::string& name, TStreamInfo& info, int& supportedBy, int& pluginNum,
                                std::string& pluginName) {
  info = TStreamInfo{};
  info.FileName = name;
  supportedBy = sbNone;
  pluginNum = -1;
  pluginName.clear();

  std::string ext = UpperAscii(platform::ExtractFileExt(name));
  if (ext.size() < 3 || ext.size() > 5) return false;  // two to four letters after the dot
  std::string lowerName = platform::LowerAscii(name);
  if (lowerName.rfind("http:", 0) == 0 || lowerName.rfind("mms:", 0) == 0 || lowerName.rfind("ftp:", 0) == 0)
    return false;
  const int bassOnly = bassReady_ ? sbBassOnly : sbNone;
  bool result = false;

  if (ext == ".WAV") {
    tags::TWAVfile wav;
    wav.ReadFromFile(name);
    info.FileSize = wav.FileSize();
    info.SampleRate = wav.SampleRate();
    info.BitsPerSample = wav.BitsPerSample();
    info.Channels = wav.Channels();
    info.Duration = static_cast<int32_t>(std::lround(wav.Duration() * 1000));
    info.BitRate = static_cast<int32_t>(uint64_t(info.SampleRate) * info.BitsPerSample * info.Channels / 1000);
    if (!wav.Valid()) {
      // The header reader takes only mono and stereo; a file with more channels
      // (or an unusual header) that the library plays gets its facts from it
      // rather than a record of zeros.
      TStreamInfo measured = info;
      if (MeasureWithBass(name, measured)) {
        info.SampleRate = measured.SampleRate;
        info.BitsPerSample = measured.BitsPerSample;
        info.Channels = measured.Channels;
        info.Duration = measured.Duration;
        info.Format = measured.Format;
        std::error_code ec;
        const auto size = std::filesystem::file_size(name, ec);
        if (!ec) info.FileSize = static_cast<uint32_t>(std::min<uintmax_t>(size, UINT32_MAX));
        info.BitRate = static_cast<int32_t>(uint64_t(info.SampleRate) * info.BitsPerSample * info.Channels / 1000);
      }
    } else if (bassReady_) {
      if (HSTREAM h = bass_.BASS_StreamCreateFile(FALSE, name.c_str(), 0, 0, 0)) {
        BASS_CHANNELINFO ci{};
        bass_.BASS_ChannelGetInfo(h, &ci);
        info.Format = static_cast<int32_t>(ci.ctype);
        bass_.BASS_StreamFree(h);
      }
    }
    supportedBy = bassOnly;
    result = true;
  } else if (ext == ".MP1" || ext == ".MP2" || ext == ".MP3") {
    tags::TMPEGaudio mpeg;
    mpeg.ReadFromFile(name);
    SetHeader(info, mpeg.FileLength(), mpeg.SampleRate(), mpeg.BitRate(), mpeg.Duration(),
              mpeg.ChannelMode() == "Mono" ? 1 : 2);
    TagsFromMpegStyle(mpeg, info);
    std::string layer = mpeg.Layer();
    info.Format = layer == "Layer III" ? 0x10005 : layer == "Layer II" ? 0x10004 : layer == "Layer I" ? 0x10003 : 0;
    supportedBy = bassOnly;
    result = true;
  } else if (ext == ".OGG") {
    tags::TOggVorbis ogg;
    ogg.ReadFromFile(name);
    SetHeader(info, ogg.FileSize(), ogg.SampleRate(), ogg.BitRate(), ogg.Duration(), ogg.Channels());
    SetTexts(info, ogg.Title(), ogg.Artist(), ogg.Album(), ogg.Date(), ogg.Genre(), ogg.Track(), ogg.Comment());
    info.Format = 0x10002;
    supportedBy = bassOnly;
    result = true;
  } else if (ext == ".AAC") {
    tags::TAACfile aac;
    aac.ReadFromFile(name);
    SetHeader(info, aac.FileSize(), aac.SampleRate(), static_cast<int>(std::lround(aac.BitRate() / 1000.0)),
              aac.Duration(), aac.Channels());
    TagsFromMpegStyle(aac, info);
    info.Format = 0x10B00;
    if (aacReady_) {
      if (aac.HeaderTypeID() == 2) {
        TStreamInfo measured = info;
        if (MeasureWithBass(name, measured)) {
          info.Duration = measured.Duration;
          info.BitRate = measured.BitRate;
        }
      }
      supportedBy = sbBassOnly;
    }
    result = true;
  } else if (ext == ".WMA" || ext == ".ASF") {
    tags::TWMAfile wma;
    wma.ReadFromFile(name);
    SetHeader(info, wma.FileSize(), wma.SampleRate(), wma.BitRate(), wma.Duration(), wma.Channels());
    SetTexts(info, wma.Title(), wma.Artist(), wma.Album(), wma.Year(), wma.Genre(), wma.Track(), wma.Comment());
    info.Format = 0x10300;
    if (wmaReady_) supportedBy = sbBassOnly;
    result = true;
  } else if (ext == ".CDA" && families_->CDLoaded()) {
    std::string driveLetter = UpperAscii(name.substr(0, 1));
    DWORD drive = 0;
    for (size_t i = 0; i < cdDrives_.size(); ++i)
      if (!cdDrives_[i].empty() && cdDrives_[i].substr(0, 1) == driveLetter) drive = static_cast<DWORD>(i);
    int number = 0;
    if (name.size() >= 6) number = std::atoi(name.substr(name.size() - 6, 2).c_str());
    DWORD len = families_->CDTrackLength(drive, static_cast<DWORD>(number - 1));
    info.FileSize = len == DWORD(-1) ? 0 : len;
    info.SampleRate = 44100;
    info.BitRate = 1411;
    info.Duration = static_cast<int32_t>(uint64_t(info.FileSize) * 10 / 1764);
    info.Channels = 2;
    info.Track = static_cast<uint8_t>(number - 1);
    info.Format = 0x10200;
    supportedBy = sbBassOnly;
    result = true;
  } else if (ext == ".MO3" || ext == ".IT" || ext == ".XM" || ext == ".S3M" || ext == ".MTM" || ext == ".MOD" ||
             ext == ".UMX") {
    FileSizeOf(name, info.FileSize);
    if (ModuleTitleField(ext).length) info.Title = ModuleTitleFromFile(name, ext);
    else info.Title = platform::ExtractFileName(name);
    if (bassReady_) {
      if (HMUSIC h = bass_.BASS_MusicLoad(FALSE, name.c_str(), 0, 0, 0x20000, 0)) {
        QWORD len = bass_.BASS_ChannelGetLength(h, BASS_POS_BYTE);
        info.Duration = static_cast<int32_t>(std::lround(bass_.BASS_ChannelBytes2Seconds(h, len) * 1000));
        BASS_CHANNELINFO ci{};
        bass_.BASS_ChannelGetInfo(h, &ci);
        info.SampleRate = ci.freq;
        info.BitsPerSample = (ci.flags & BASS_SAMPLE_8BITS) ? 8 : (ci.flags & BASS_SAMPLE_FLOAT) ? 32 : 16;
        info.Channels = static_cast<uint16_t>(ci.chans);
        info.Format = static_cast<int32_t>(ci.ctype);
        info.BitRate = 0;
        bass_.BASS_MusicFree(h);
        supportedBy = sbBassOnly;
        result = true;
      }
    }
  } else if (std::strstr("*.MID;*.MIDI;*.RMI;*.KAR;", ("*" + ext + ";").c_str())) {
    if (soundFontReady_) {
      FileSizeOf(name, info.FileSize);
      if (HSTREAM h = families_->MIDIStreamCreateFile(name, 0, 44100)) {
        QWORD len = bass_.BASS_ChannelGetLength(h, BASS_POS_BYTE);
        info.Duration = static_cast<int32_t>(std::lround(bass_.BASS_ChannelBytes2Seconds(h, len) * 1000));
        bass_.BASS_StreamFree(h);
      }
      info.SampleRate = 44100;
      info.BitRate = 0;
      info.Format = 0x10D00;
      supportedBy = sbBassOnly;
      result = true;
    }
  } else {
    FileSizeOf(name, info.FileSize);
    std::string list = ".AIFF;" + UpperAscii(AddOnExtList()) + (aacReady_ ? ".M4A;.MP4;" : "");
    // The add-on lists read "*.flac;*.fla": whole entries are matched by the extension and its ";".
    if (list.find(ext + ";") != std::string::npos) {
      if (MeasureWithBass(name, info)) {
        supportedBy = sbBassOnly;
        result = true;
      }
    }
  }

  // Winamp input plug-ins: the first slot listing the extension's first three
  // letters whose file information gives a length takes the file.
  if (pluginBuffersReady_) {
    std::string key = ext.substr(1, 3);
    for (int slot = 0; slot < plugins::kMaxInputPlugins; ++slot) {
      In_Module* m = plugins::GetInputModule(slot);
      if (!m || !m->GetFileInfo) continue;
      plugins::TPluginInfo pi = plugins::GetPluginInfo(slot);
      if (UpperAscii(pi.FileExtensions).find(key) == std::string::npos) continue;
      char title[256] = {};
      int length = 0;
      m->GetFileInfo(name.c_str(), title, &length);
      if (length <= 0) continue;
      title[255] = 0;
      pluginNum = slot;
      pluginName = pi.Name;
      if (info.Title.empty()) info.Title = title;
      info.Duration = length;
      if (info.FileSize == 0) FileSizeOf(name, info.FileSize);
      if (supportedBy == sbBassOnly) {
        supportedBy = sbBassAndPlugin;
      } else {
        supportedBy = sbPluginOnly;
        if (ext == ".MID" || ext == ".MIDI" || ext == ".RMI" || ext == ".KAR") info.Format = 0x10D00;
        else if (ext == ".AC3") info.Format = 0x11000;
        else if (ext == ".SPX") info.Format = 0x10C00;
        else if (ext == ".APE") info.Format = 0x10700;
      }
      result = true;
      break;
    }
  }

  if (result && info.Title.empty()) info.Title = platform::ExtractFileName(name);
  return result;
}

}  // namespace engine
