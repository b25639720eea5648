#include "video/MediaDetails.h"

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <array>
#include <map>
#include <set>

// FFmpeg opened when the first details are read; without it the media detector cannot be made.
#include "bass/src/LazyFFmpeg.h"

namespace video {

namespace {

const std::map<unsigned, const char*>& FormatTags() {
  static const std::map<unsigned, const char*> t = {
      {1, "PCM"}, {2, "ADPCM"}, {3, "IEEE_FLOAT"}, {5, "IBM_CVSD"}, {6, "ALAW"}, {7, "MULAW"}, {16, "OKI_ADPCM"},
      {17, "DVI_ADPCM"}, {18, "MEDIASPACE_ADPCM"}, {19, "SIERRA_ADPCM"}, {20, "G723_ADPCM"}, {21, "DIGISTD"},
      {22, "DIGIFIX"}, {23, "DIALOGIC_OKI_ADPCM"}, {24, "MEDIAVISION_ADPCM"}, {32, "YAMAHA_ADPCM"}, {33, "SONARC"},
      {34, "DSPGROUP_TRUESPEECH"}, {35, "ECHOSC1"}, {36, "AUDIOFILE_AF36"}, {37, "APTX"}, {38, "AUDIOFILE_AF10"},
      {48, "DOLBY_AC2"}, {49, "GSM610"}, {50, "MSNAUDIO"}, {51, "ANTEX_ADPCME"}, {52, "CONTROL_RES_VQLPC"},
      {53, "DIGIREAL"}, {54, "DIGIADPCM"}, {55, "CONTROL_RES_CR10"}, {56, "NMS_VBXADPCM"}, {57, "CS_IMAADPCM"},
      {58, "ECHOSC3"}, {59, "ROCKWELL_ADPCM"}, {60, "ROCKWELL_DIGITALK"}, {61, "XEBEC"}, {64, "G721_ADPCM"},
      {65, "G728_CELP"}, {80, "MPEG"}, {85, "MPEGLAYER3"}, {96, "CIRRUS"}, {97, "ESPCM"}, {98, "VOXWARE"},
      {99, "CANOPUS_ATRAC"}, {100, "G726_ADPCM"}, {101, "G722_ADPCM"}, {102, "DSAT"}, {103, "DSAT_DISPLAY"},
      {117, "VOXWARE"}, {128, "SOFTSOUND"}, {256, "RHETOREX_ADPCM"}, {512, "CREATIVE_ADPCM"},
      {514, "CREATIVE_FASTSPEECH8"}, {515, "CREATIVE_FASTSPEECH10"}, {544, "QUARTERDECK"}, {768, "FM_TOWNS_SND"},
      {1024, "BTV_DIGITAL"}, {4096, "OLIGSM"}, {4097, "OLIADPCM"}, {4098, "OLICELP"}, {4099, "OLISBC"},
      {4100, "OLIOPR"}, {4352, "LH_CODEC"}, {5120, "NORRIS"}};
  return t;
}

// FourCC video subtypes named by their four characters.
const std::set<std::string>& FourccSubtypes() {
  static const std::set<std::string> s = {"CLPL", "YUYV", "IYUV", "YVU9", "Y411", "Y41P", "YUY2", "YVYU", "UYVY",
                                          "Y211", "YV12", "CLJR", "IF09", "CPLA", "MJPG", "TVMJ", "WAKE", "CFCC",
                                          "IJPG", "Plum", "DVCS", "DVSD", "MDVF", "dvhd", "dvsl", "DIVX"};
  return s;
}

std::string TagText(uint32_t tag) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((tag >> (8 * i)) & 0xff);
    s += (c >= 32 && c < 127) ? c : ' ';
  }
  return s;
}

struct Deadline {
  std::chrono::steady_clock::time_point until;
};
int Interrupt(void* opaque) {
  return std::chrono::steady_clock::now() > static_cast<Deadline*>(opaque)->until ? 1 : 0;
}

void NameVideo(const AVCodecParameters* p, TMediaDetails& d) {
  d.MediaVideoMajorType = "Video";
  uint32_t tag = p->codec_tag;
  // The list of tag tables ends with a null entry.
  if (tag == 0) tag = av_codec_get_tag(std::array<const AVCodecTag*, 2>{avformat_get_riff_video_tags(), nullptr}.data(), p->codec_id);
  const std::string fourcc = tag ? TagText(tag) : std::string();
  const std::string w = std::to_string(p->width), h = std::to_string(p->height);
  if (p->codec_id == AV_CODEC_ID_MPEG1VIDEO) {
    d.MediaVideoSubType = "MPEG1Payload";
    d.MediaMpeg1Width = w;
    d.MediaMpeg1Height = h;
    d.MediaMpeg1Bits = std::to_string(p->bits_per_coded_sample);
    d.MediaMpeg1Comp = fourcc;
    return;
  }
  if (p->codec_id == AV_CODEC_ID_MPEG2VIDEO) {
    d.MediaVideoSubType = "MPEG2_VIDEO";
    d.MediaMpeg2Width = w;
    d.MediaMpeg2Height = h;
    d.MediaMpeg2Bits = std::to_string(p->bits_per_coded_sample);
    d.MediaMpeg2Comp = fourcc;
    return;
  }
  if (fourcc == "MP42") d.MediaVideoSubType = "MS-MPEG4";
  else if (fourcc == "dvsd") d.MediaVideoSubType = "dvsd_";
  else if (FourccSubtypes().count(fourcc)) d.MediaVideoSubType = fourcc;
  else d.MediaOtherSubType = "Unknown ";
  d.MediaVideoWidth = w;
  d.MediaVideoHeight = h;
  d.MediaVideoBitPlanes = std::to_string(p->bits_per_coded_sample > 0 ? p->bits_per_coded_sample : 24);
  d.MediaVideoFourCC = fourcc;
  d.MediaVideoComp = FourccCodecName(fourcc);
}

void NameAudio(const AVCodecParameters* p, TMediaDetails& d) {
  d.MediaAudioMajorType = "Audio";
  switch (p->codec_id) {
    case AV_CODEC_ID_AC3:
      d.MediaAudioSubType = "DOLBY_AC3";
      d.MediaMpegAudioTag = "DolbyAC3";
      return;
    case AV_CODEC_ID_DTS:
      d.MediaAudioSubType = "DTS";
      d.MediaMpegAudioTag = "Unknown";
      return;
    case AV_CODEC_ID_PCM_DVD:
      d.MediaAudioSubType = "DVD_LPCM_AUDIO";
      d.MediaMpegAudioTag = "DVD_LPCMAudio";
      return;
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
      d.MediaAudioSubType = "MPEG1AudioPayload";
      break;
    default:
      if (p->codec_id >= AV_CODEC_ID_PCM_S16LE && p->codec_id < AV_CODEC_ID_ADPCM_IMA_QT) d.MediaAudioSubType = "PCM";
      else d.MediaOtherSubType = "Unknown ";
      break;
  }
  unsigned tag = p->codec_tag;
  if (tag == 0 || tag > 0xffff)
    tag = av_codec_get_tag(std::array<const AVCodecTag*, 2>{avformat_get_riff_audio_tags(), nullptr}.data(), p->codec_id);
  d.MediaAudioFormatTag = WaveFormatTagName(tag);
  int bits = p->bits_per_coded_sample;
  if (bits <= 0) bits = av_get_bits_per_sample(p->codec_id);
  d.MediaAudioHertz = std::to_string(p->sample_rate);
  d.MediaAudioBitrate = std::to_string(static_cast<int64_t>(p->sample_rate) * bits);
  d.MediaAudioChannels = std::to_string(p->ch_layout.nb_channels);
}

void NameStreams(AVFormatContext* fc, TMediaDetails& d) {
  if (avformat_find_stream_info(fc, nullptr) < 0 && fc->nb_streams == 0) {
    d.Status = "ERROR: dsMediaDet.get_OutputStreams failed";
    return;
  }
  if (fc->nb_streams < 1) {
    d.Status = "ERROR: dsMediaStream < 1";
    return;
  }
  for (unsigned i = 0; i < fc->nb_streams; ++i) {
    const AVStream* s = fc->streams[i];
    // A stream without its own length has the container's.
    double seconds = -1;
    if (s->duration > 0 && s->time_base.den > 0) seconds = static_cast<double>(s->duration) * av_q2d(s->time_base);
    else if (fc->duration > 0) seconds = static_cast<double>(fc->duration) / AV_TIME_BASE;
    if (seconds >= 0 && seconds < 1e9) d.MediaDuration = FormatStreamTime(static_cast<int64_t>(seconds));
    const AVCodecParameters* p = s->codecpar;
    switch (p->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        if (s->disposition & AV_DISPOSITION_ATTACHED_PIC) {
          d.MediaOtherMajorType = "Unknown";
          break;
        }
        NameVideo(p, d);
        break;
      case AVMEDIA_TYPE_AUDIO:
        NameAudio(p, d);
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        d.MediaOtherMajorType = p->codec_id == AV_CODEC_ID_DVD_SUBTITLE ? "MPEG2_PES" : "Text";
        if (p->codec_id == AV_CODEC_ID_DVD_SUBTITLE) d.MediaVideoSubType = "DVD_SUBPICTURE";
        else d.MediaOtherSubType = "Unknown ";
        break;
      default:
        d.MediaOtherMajorType = "Unknown";
        d.MediaOtherSubType = "Unknown ";
        break;
    }
  }
}

AVFormatContext* NewContext(Deadline& deadline) {
  AVFormatContext* fc = avformat_alloc_context();
  if (!fc) return nullptr;
  fc->interrupt_callback.callback = &Interrupt;
  fc->interrupt_callback.opaque = &deadline;
  fc->probesize = 5 * 1024 * 1024;
  fc->max_analyze_duration = 5 * AV_TIME_BASE;
  return fc;
}

struct MemoryReader {
  const uint8_t* data;
  size_t size, pos;
};
int MemRead(void* opaque, uint8_t* buf, int n) {
  auto* m = static_cast<MemoryReader*>(opaque);
  const size_t left = m->size - m->pos;
  if (left == 0) return AVERROR_EOF;
  const size_t k = std::min<size_t>(left, static_cast<size_t>(n));
  std::memcpy(buf, m->data + m->pos, k);
  m->pos += k;
  return static_cast<int>(k);
}
int64_t MemSeek(void* opaque, int64_t offset, int whence) {
  auto* m = static_cast<MemoryReader*>(opaque);
  if (whence == AVSEEK_SIZE) return static_cast<int64_t>(m->size);
  int64_t base = (whence & 3) == SEEK_CUR ? static_cast<int64_t>(m->pos) : (whence & 3) == SEEK_END ? static_cast<int64_t>(m->size) : 0;
  const int64_t to = base + offset;
  if (to < 0 || to > static_cast<int64_t>(m->size)) return -1;
  m->pos = static_cast<size_t>(to);
  return to;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> TMediaDetails::Fields() const {
  return {{"File", File},
          {"Status", Status},
          {"MediaVideoMajorType", MediaVideoMajorType},
          {"MediaOtherMajorType", MediaOtherMajorType},
          {"MediaVideoSubType", MediaVideoSubType},
          {"MediaOtherSubType", MediaOtherSubType},
          {"MediaDuration", MediaDuration},
          {"MediaVideoFourCC", MediaVideoFourCC},
          {"MediaVideoWidth", MediaVideoWidth},
          {"MediaVideoHeight", MediaVideoHeight},
          {"MediaVideoBitPlanes", MediaVideoBitPlanes},
          {"MediaVideoComp", MediaVideoComp},
          {"MediaAudioMajorType", MediaAudioMajorType},
          {"MediaAudioSubType", MediaAudioSubType},
          {"MediaAudioFormatTag", MediaAudioFormatTag},
          {"MediaAudioFormat", MediaAudioFormat},
          {"MediaAudioHertz", MediaAudioHertz},
          {"MediaAudioBitrate", MediaAudioBitrate},
          {"MediaAudioChannels", MediaAudioChannels},
          {"MediaMpeg1Width", MediaMpeg1Width},
          {"MediaMpeg1Height", MediaMpeg1Height},
          {"MediaMpeg1Bits", MediaMpeg1Bits},
          {"MediaMpeg1Comp", MediaMpeg1Comp},
          {"MediaMpeg2Width", MediaMpeg2Width},
          {"MediaMpeg2Height", MediaMpeg2Height},
          {"MediaMpeg2Bits", MediaMpeg2Bits},
          {"MediaMpeg2Comp", MediaMpeg2Comp},
          {"MediaMpegAudioTag", MediaMpegAudioTag}};
}

std::vector<std::string> MediaDetailsLines(const TMediaDetails& d) {
  std::vector<std::string> lines;
  for (const auto& [name, value] : d.Fields()) lines.push_back(name + "=" + value);
  return lines;
}

std::string FormatStreamTime(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char buf[48];
  if (seconds < 3600)
    std::snprintf(buf, sizeof buf, "%02lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  else
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>((seconds % 3600) / 60), static_cast<long long>(seconds % 60));
  return buf;
}

std::string WaveFormatTagName(unsigned tag) {
  auto it = FormatTags().find(tag);
  return it == FormatTags().end() ? "Unknown" : it->second;
}

TMediaDetails ReadMediaDetails(const std::string& file, int deadlineMs) {
  TMediaDetails d;
  d.File = file;
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) {
    d.Status = "ERROR: FILE NOT FOUND";
    return d;
  }
  if (!S_ISREG(st.st_mode)) {
    d.Status = "ERROR: NOT A REGULAR FILE";
    return d;
  }
  Deadline deadline{std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs)};
  AVFormatContext* fc = NewContext(deadline);
  if (!fc) {
    d.Status = "ERROR: CLSID_MediaDet failed";
    return d;
  }
  av_log_set_level(AV_LOG_QUIET);
  if (avformat_open_input(&fc, file.c_str(), nullptr, nullptr) < 0) {  // frees fc on failure
    d.Status = "ERROR: dsMediaDet.put_FileName failed";
    return d;
  }
  NameStreams(fc, d);
  avformat_close_input(&fc);
  return d;
}

TMediaDetails ReadMediaDetailsFromMemory(const uint8_t* data, size_t size, int deadlineMs) {
  TMediaDetails d;
  Deadline deadline{std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs)};
  AVFormatContext* fc = NewContext(deadline);
  if (!fc) return d;
  av_log_set_level(AV_LOG_QUIET);
  MemoryReader reader{data, size, 0};
  constexpr int kBuf = 4096;
  auto* buf = static_cast<uint8_t*>(av_malloc(kBuf));
  AVIOContext* io = avio_alloc_context(buf, kBuf, 0, &reader, &MemRead, nullptr, &MemSeek);
  fc->pb = io;
  fc->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (avformat_open_input(&fc, nullptr, nullptr, nullptr) < 0) {
    d.Status = "ERROR: dsMediaDet.put_FileName failed";
  } else {
    NameStreams(fc, d);
    avformat_close_input(&fc);
  }
  if (io) {
    av_freep(&io->buffer);
    avio_context_free(&io);
  }
  return d;
}

}  // namespace video
