// File streams through FFmpeg: demux, decode, convert to the channel's sample format.
//
// The decoder's timeline is the sample index of the decoded audio as FFmpeg delivers it (encoder
// delay and padding already removed by libavcodec's skip-samples handling): index = frame pts
// (in samples) minus the pts of the first frame after opening. Seeking goes to a point before the
// target (a preroll so the decoder's state is rebuilt), then decodes and drops samples up to the
// exact target.
#include "Core.h"
#include "HeaderWalks.h"
#include "LazyFFmpeg.h"
#include "Net.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace orvbass {
namespace {

constexpr int kIoBuffer = 32768;

struct FFDec {
  ORV_FILE* file = nullptr;
  AVIOContext* avio = nullptr;
  AVFormatContext* fmt = nullptr;
  AVCodecContext* cc = nullptr;
  SwrContext* swr = nullptr;
  AVPacket* pkt = nullptr;
  AVFrame* frame = nullptr;
  int stream = -1;
  AVRational tb{1, 1};
  SampleFmt outFmt = SampleFmt::S16;
  int inChans = 2, outChans = 2, rate = 44100, frameBytes = 4;
  // Converted bytes not yet returned: [pendingHead, pendingSize) of a buffer that is only ever
  // written before it is read (no zero-filling of what the conversion overwrites anyway).
  std::unique_ptr<uint8_t[]> pending;
  size_t pendingCap = 0, pendingSize = 0, pendingHead = 0;
  int64_t firstPts = AV_NOPTS_VALUE;  // samples
  int64_t nextIndex = 0;              // index of the next decoded sample
  int64_t skipUntil = 0;              // drop samples before this index (seeking)
  int64_t returned = 0;               // index of the next sample read() returns
  int64_t length = -1;                // frames
  bool draining = false, eof = false;
  int badPackets = 0;
  QWORD viewEnd = 0;  // when set, FFmpeg sees the file end here (a damaged chunk follows)
  std::string id3v1, id3v2, ogg;
  QWORD audioStart = 0;
  bool seekable = true;
  bool haveStart = false;
  // MPEG audio without a Xing header: where each frame starts. FFmpeg's own seeking estimates the
  // position from the bit rate there, so seeks go to a frame start and count samples from it.
  std::vector<QWORD> frameIndex;
  int frameSpf = 0;
  bool countOnly = false;  // after such a seek: ignore packet timestamps
  // Ogg: the last page's granule position is where the stream ends; FFmpeg does not always cut
  // the last packet there (short files), so the decoder does.
  bool capAtLength = false;
  // A chained Ogg stream's new comments, as a tag list, until taken (network streams).
  std::string metaUpdate;
  bool metaPending = false;

  ~FFDec() {
    av_frame_free(&frame);
    av_packet_free(&pkt);
    swr_free(&swr);
    avcodec_free_context(&cc);
    if (fmt) avformat_close_input(&fmt);
    if (avio) {
      av_freep(&avio->buffer);
      avio_context_free(&avio);
    }
  }
};

int IoRead(void* opaque, uint8_t* buf, int size) {
  auto* d = static_cast<FFDec*>(opaque);
  if (d->viewEnd) size = int(std::min<int64_t>(size, int64_t(d->viewEnd) - int64_t(std::min(FileTell(d->file), d->viewEnd))));
  DWORD got = size > 0 ? FileReadSome(d->file, buf, DWORD(size)) : 0;
  return got == 0 ? AVERROR_EOF : int(got);
}

int64_t IoSeek(void* opaque, int64_t offset, int whence) {
  auto* d = static_cast<FFDec*>(opaque);
  QWORD size = d->viewEnd ? d->viewEnd : FileSize(d->file);
  if (whence & AVSEEK_SIZE) return size ? int64_t(size) : -1;
  whence &= ~AVSEEK_FORCE;
  int64_t target = offset;
  if (whence == SEEK_CUR) target = int64_t(FileTell(d->file)) + offset;
  else if (whence == SEEK_END) target = int64_t(size) + offset;
  if (target < 0) return -1;
  return FileSeek(d->file, QWORD(target)) ? target : -1;
}

void ReadTags(FFDec* d) {
  // A file that cannot seek (a buffered user file) would lose its head to the tag reading.
  if (!FileSeek(d->file, 0)) return;
  Id3Blocks tags = ReadId3Blocks(FileReaderAt(d->file), FileSize(d->file));
  d->id3v1 = std::move(tags.v1);
  d->id3v2 = std::move(tags.v2);
  FileSeek(d->file, 0);
}

// Room for `bytes` pending bytes (what is pending is kept).
uint8_t* PendingRoom(FFDec* d, size_t bytes) {
  if (bytes > d->pendingCap) {
    size_t cap = std::max(bytes, d->pendingCap * 2);
    std::unique_ptr<uint8_t[]> grown(new uint8_t[cap]);
    if (d->pendingSize) std::memcpy(grown.get(), d->pending.get(), d->pendingSize);
    d->pending = std::move(grown);
    d->pendingCap = cap;
  }
  return d->pending.get();
}

// Decodes until at least one converted sample is pending, or the end. Returns false at the end.
// With `direct` given and nothing pending, a frame that fits in the caller's `room` bytes at
// `dst` is converted there instead (saving a copy) and *direct says how many bytes it made.
bool DecodeMore(FFDec* d, uint8_t* dst = nullptr, size_t room = 0, size_t* direct = nullptr) {
  while (!d->eof) {
    int ret = avcodec_receive_frame(d->cc, d->frame);
    if (ret == 0) {
      int64_t pts = d->frame->best_effort_timestamp;
      int64_t index = d->nextIndex;
      if (pts != AV_NOPTS_VALUE && !d->countOnly) {
        int64_t s = av_rescale_q(pts, d->tb, AVRational{1, d->rate});
        if (d->firstPts == AV_NOPTS_VALUE) d->firstPts = s;
        index = s - d->firstPts;
      } else if (d->firstPts == AV_NOPTS_VALUE) {
        d->firstPts = 0;
      }
      int n = d->frame->nb_samples;
      if (d->frame->ch_layout.nb_channels != d->inChans || d->frame->sample_rate != d->rate ||
          d->frame->format != d->cc->sample_fmt) {
        // A mid-stream format change is not supported: end the stream there.
        av_frame_unref(d->frame);
        d->eof = true;
        return false;
      }
      const size_t fb = size_t(d->frameBytes), want = size_t(n) * fb;
      const bool toCaller = direct && d->pendingSize == d->pendingHead && room >= want;
      size_t base = 0;
      uint8_t* outp;
      if (toCaller) {
        outp = dst;
      } else {
        base = d->pendingSize;
        outp = PendingRoom(d, base + want) + base;
      }
      int got = swr_convert(d->swr, &outp, n, const_cast<const uint8_t**>(d->frame->extended_data), n);
      av_frame_unref(d->frame);
      if (got < 0) got = 0;
      int64_t drop = std::clamp<int64_t>(d->skipUntil - index, 0, got);
      const size_t kept = size_t(got - drop) * fb;
      if (drop && kept) std::memmove(outp, outp + size_t(drop) * fb, kept);
      if (toCaller) *direct = kept;
      else d->pendingSize = base + kept;
      d->nextIndex = index + got;
      if (kept) return true;
      continue;
    }
    if (ret == AVERROR_EOF) {
      d->eof = true;
      break;
    }
    if (ret != AVERROR(EAGAIN)) {
      d->eof = true;
      break;
    }
    if (d->draining) {
      d->eof = true;
      break;
    }
    ret = av_read_frame(d->fmt, d->pkt);
    if (ret < 0) {
      d->draining = true;
      avcodec_send_packet(d->cc, nullptr);
      continue;
    }
    if (d->pkt->stream_index == d->stream) {
      AVStream* st = d->fmt->streams[d->stream];
      if (st->event_flags & AVSTREAM_EVENT_FLAG_METADATA_UPDATED) {
        st->event_flags &= ~AVSTREAM_EVENT_FLAG_METADATA_UPDATED;
        std::string list;
        const AVDictionaryEntry* e = nullptr;
        while ((e = av_dict_get(st->metadata, "", e, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
          list += std::string(e->key) + "=" + e->value;
          list += '\0';
        }
        list += '\0';
        d->metaUpdate = list;
        d->metaPending = true;
      }
      if (!d->haveStart && d->pkt->pos >= 0) {
        d->audioStart = QWORD(d->pkt->pos);
        d->haveStart = true;
      }
      int s = avcodec_send_packet(d->cc, d->pkt);
      if (s < 0 && s != AVERROR(EAGAIN) && ++d->badPackets > 1000) d->eof = true;
    }
    av_packet_unref(d->pkt);
  }
  return false;
}

DWORD DecRead(void* self, void* buffer, DWORD length, BOOL* ended) {
  auto* d = static_cast<FFDec*>(self);
  auto* out = static_cast<uint8_t*>(buffer);
  DWORD done = 0;
  length -= length % DWORD(d->frameBytes);
  if (d->capAtLength && d->length >= 0)
    length = DWORD(std::min<int64_t>(length, std::max<int64_t>(d->length - d->returned, 0) * d->frameBytes));
  while (done < length) {
    size_t avail = d->pendingSize - d->pendingHead;
    if (avail == 0) {
      d->pendingSize = d->pendingHead = 0;
      size_t direct = 0;
      if (!DecodeMore(d, out + done, length - done, &direct)) break;
      done += DWORD(direct);
      continue;
    }
    size_t n = std::min<size_t>(avail, length - done);
    std::memcpy(out + done, d->pending.get() + d->pendingHead, n);
    d->pendingHead += n;
    done += DWORD(n);
  }
  d->returned += done / d->frameBytes;
  if (d->capAtLength && d->length >= 0 && d->returned >= d->length) {
    *ended = TRUE;
    return done;
  }
  if (d->eof && d->pendingSize == d->pendingHead) {
    *ended = TRUE;
    // The container's length can be an estimate; the decode is the truth.
    if (d->returned != d->length) d->length = d->returned;
  }
  return done;
}

BOOL DecSeek(void* self, QWORD pos) {
  auto* d = static_cast<FFDec*>(self);
  if (!d->seekable) return FALSE;
  int64_t target = int64_t(pos / QWORD(d->frameBytes));
  // Enough preroll for the decoder to rebuild its state (MP3 bit reservoir and overlap, Vorbis windows).
  int64_t preroll = (d->cc->codec_id == AV_CODEC_ID_MP3 || d->cc->codec_id == AV_CODEC_ID_MP2 ||
                     d->cc->codec_id == AV_CODEC_ID_MP1)
                        ? 1152 * 10
                        : (d->cc->codec_id == AV_CODEC_ID_VORBIS ? 8192 : 0);
  int64_t from = target - preroll;
  int64_t first = d->firstPts == AV_NOPTS_VALUE ? 0 : d->firstPts;
  int r;
  if (!d->frameIndex.empty()) {
    size_t k = size_t(std::clamp<int64_t>(std::max<int64_t>(from, 0) / d->frameSpf, 0, int64_t(d->frameIndex.size()) - 1));
    r = av_seek_frame(d->fmt, d->stream, int64_t(d->frameIndex[k]), AVSEEK_FLAG_BYTE);
    from = int64_t(k) * d->frameSpf;
    d->countOnly = true;
  } else {
    int64_t ts = av_rescale_q(std::max<int64_t>(from, 0) + first, AVRational{1, d->rate}, d->tb);
    r = av_seek_frame(d->fmt, d->stream, ts, AVSEEK_FLAG_BACKWARD);
    if (r < 0 && from <= 0) r = av_seek_frame(d->fmt, d->stream, INT64_MIN + 1, AVSEEK_FLAG_BACKWARD);
  }
  if (r < 0) return FALSE;
  avcodec_flush_buffers(d->cc);
  d->pendingSize = d->pendingHead = 0;
  d->eof = d->draining = false;
  d->skipUntil = target;
  d->nextIndex = std::max<int64_t>(from, 0);
  d->returned = target;
  return TRUE;
}

QWORD DecLength(void* self) {
  auto* d = static_cast<FFDec*>(self);
  return d->length < 0 ? QWORD(-1) : QWORD(d->length) * QWORD(d->frameBytes);
}

const char* DecTags(void* self, DWORD type) {
  auto* d = static_cast<FFDec*>(self);
  const std::string* s = nullptr;
  if (type == BASS_TAG_ID3) s = &d->id3v1;
  else if (type == BASS_TAG_ID3V2) s = &d->id3v2;
  else if (type == BASS_TAG_OGG) s = &d->ogg;
  return s && !s->empty() ? s->data() : nullptr;
}

QWORD DecFilePos(void* self, DWORD mode) {
  auto* d = static_cast<FFDec*>(self);
  switch (mode) {
    case BASS_FILEPOS_CURRENT: return QWORD(std::max<int64_t>(avio_tell(d->avio), 0));
    case BASS_FILEPOS_DOWNLOAD:
    case BASS_FILEPOS_END: return FileSize(d->file);
    case BASS_FILEPOS_START: return d->audioStart;
    default: return QWORD(-1);
  }
}

void DecClose(void* self) { delete static_cast<FFDec*>(self); }

const ORV_DECODER_FUNCS kFuncs = {DecRead, DecSeek, DecLength, DecTags, DecFilePos, DecClose};

DWORD CoreType(const char* demux, AVCodecID codec, const AVCodecParameters* par) {
  std::string n = demux;
  if (n == "wav" || n == "w64") {
    if (codec == AV_CODEC_ID_PCM_F32LE || codec == AV_CODEC_ID_PCM_F64LE) return BASS_CTYPE_STREAM_WAV_FLOAT;
    if (codec == AV_CODEC_ID_PCM_U8 || codec == AV_CODEC_ID_PCM_S16LE || codec == AV_CODEC_ID_PCM_S24LE ||
        codec == AV_CODEC_ID_PCM_S32LE)
      return BASS_CTYPE_STREAM_WAV_PCM;
    return BASS_CTYPE_STREAM_WAV + (par->codec_tag & 0xFFFF);
  }
  if (n == "aiff") return BASS_CTYPE_STREAM_AIFF;
  if (n == "ogg") return BASS_CTYPE_STREAM_OGG;
  if (codec == AV_CODEC_ID_MP1) return BASS_CTYPE_STREAM_MP1;
  if (codec == AV_CODEC_ID_MP2) return BASS_CTYPE_STREAM_MP2;
  if (codec == AV_CODEC_ID_MP3) return BASS_CTYPE_STREAM_MP3;
  return BASS_CTYPE_STREAM;  // an add-on's format that did not name its type
}

bool CoreAccepts(const char* demux, AVCodecID codec) {
  std::string n = demux;
  if (n == "wav") {
    return codec == AV_CODEC_ID_PCM_U8 || codec == AV_CODEC_ID_PCM_S16LE || codec == AV_CODEC_ID_PCM_S24LE ||
           codec == AV_CODEC_ID_PCM_S32LE || codec == AV_CODEC_ID_PCM_F32LE || codec == AV_CODEC_ID_PCM_F64LE;
  }
  if (n == "aiff") {
    return codec == AV_CODEC_ID_PCM_S8 || codec == AV_CODEC_ID_PCM_S16BE || codec == AV_CODEC_ID_PCM_S24BE ||
           codec == AV_CODEC_ID_PCM_S32BE || codec == AV_CODEC_ID_PCM_F32BE || codec == AV_CODEC_ID_PCM_F64BE ||
           codec == AV_CODEC_ID_PCM_S16LE;
  }
  if (n == "mp3") return codec == AV_CODEC_ID_MP1 || codec == AV_CODEC_ID_MP2 || codec == AV_CODEC_ID_MP3;
  if (n == "ogg") return codec == AV_CODEC_ID_VORBIS;
  return false;
}

}  // namespace

bool InList(const char* list, const char* name) {
  if (!list) return true;
  std::string l = std::string(",") + list + ",";
  // FFmpeg names like "mov,mp4,m4a" match when any of their parts is listed.
  std::string n = name;
  size_t start = 0;
  while (start <= n.size()) {
    size_t end = n.find(',', start);
    if (end == std::string::npos) end = n.size();
    if (l.find("," + n.substr(start, end - start) + ",") != std::string::npos) return true;
    start = end + 1;
  }
  return false;
}

void FFmpegNetComplete(void* self) {
  auto* d = static_cast<FFDec*>(self);
  QWORD keep = FileTell(d->file);
  ReadTags(d);
  if (std::string(d->fmt->iformat->name) == "mp3") {
    std::vector<QWORD> index;
    int spf = 0;
    int64_t exact = MpegLength(FileReaderAt(d->file), FileSize(d->file), d->id3v2.size(), index, spf);
    if (exact >= 0) {
      d->length = exact;
      d->frameIndex.swap(index);
      d->frameSpf = spf;
    }
  }
  FileSeek(d->file, keep);
  d->avio->seekable = AVIO_SEEKABLE_NORMAL;
  d->seekable = true;
}

bool FFmpegTakeMetaUpdate(void* self, std::string& out) {
  auto* d = static_cast<FFDec*>(self);
  if (!d->metaPending) return false;
  d->metaPending = false;
  out = d->metaUpdate;
  return true;
}

bool FFmpegTagBlock(void* self, DWORD type, std::string& out) {
  auto* d = static_cast<FFDec*>(self);
  const std::string* s = type == BASS_TAG_ID3 ? &d->id3v1 : type == BASS_TAG_ID3V2 ? &d->id3v2
                         : type == BASS_TAG_OGG ? &d->ogg : nullptr;
  if (!s || s->empty()) return false;
  out = *s;
  return true;
}

bool OpenFFmpeg(ORV_FILE* file, DWORD flags, const char* demuxers, const char* codecs, DWORD ctype,
                ORV_DECODER* out, bool coreOnly) {
  // FFmpeg is opened here, by the first file stream; without it no format is known.
  if (!orvav::Av().loaded) return Fail(BASS_ERROR_FILEFORM, false);
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
  auto d = std::make_unique<FFDec>();
  d->file = file;
  // A user file that cannot seek (buffered) is read from its start: what earlier probes read of it
  // is replayed.
  const bool canSeek = FileSeek(file, 0);
  if (!canSeek && !FileRewind(file)) return Fail(BASS_ERROR_FILEFORM, false);
  // A network file is read front to back while it downloads: its tail (ID3v1, the exact MPEG
  // length) is read once the download completes (FFmpegNetComplete).
  const bool net = FileIsNet(file);
  if (!net) ReadTags(d.get());  // before FFmpeg owns the file position
  if (canSeek) {
    char magic[4];
    if (FileRead(file, magic, 4) == 4 && std::memcmp(magic, "OggS", 4) == 0) d->ogg = OggComments(FileReaderAt(file));
  }
  if (!net) {
    // A damaged chunk after the audio is hidden from FFmpeg (the file ends there for it); one
    // before the audio leaves nothing FFmpeg could play. A file that cannot seek is walked over
    // its first megabyte (no further than FFmpeg's probe), which it then gives FFmpeg again.
    const RiffDamage damage =
        FindRiffDamage(canSeek ? FileReaderAt(file) : FileHeadReader(file, 1 << 20), FileSize(file));
    if (damage.at && !damage.afterAudio) return Fail(BASS_ERROR_FILEFORM, false);
    if (damage.at) d->viewEnd = damage.at;
  }
  if (!FileRewind(file)) return Fail(BASS_ERROR_FILEFORM, false);
  auto* iobuf = static_cast<uint8_t*>(av_malloc(kIoBuffer));
  if (!iobuf) return Fail(BASS_ERROR_MEM, false);
  d->avio = avio_alloc_context(iobuf, kIoBuffer, 0, d.get(), IoRead, nullptr, IoSeek);
  if (!d->avio) {
    av_free(iobuf);
    return Fail(BASS_ERROR_MEM, false);
  }
  d->fmt = avformat_alloc_context();
  if (!d->fmt) return Fail(BASS_ERROR_MEM, false);
  d->fmt->pb = d->avio;
  d->fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
  d->fmt->probesize = 1 << 20;
  if (!canSeek) d->avio->seekable = 0;  // FFmpeg would seek to the end and lose its place
  if (net) {
    d->avio->seekable = 0;  // no seek to the end while the rest has not arrived
    d->fmt->probesize = 64 << 10;
    d->fmt->max_analyze_duration = AV_TIME_BASE / 2;
  }
  AVDictionary* opts = nullptr;
  av_dict_set(&opts, "usetoc", "0", 0);  // MP3: exact frame timestamps when seeking
  if (avformat_open_input(&d->fmt, nullptr, nullptr, &opts) < 0) {
    av_dict_free(&opts);
    d->fmt = nullptr;  // freed by avformat_open_input
    return Fail(BASS_ERROR_FILEFORM, false);
  }
  av_dict_free(&opts);
  const char* demux = d->fmt->iformat->name;
  if (coreOnly && std::string(demux) != "wav" && std::string(demux) != "aiff" && std::string(demux) != "mp3" &&
      std::string(demux) != "ogg")
    return Fail(BASS_ERROR_FILEFORM, false);
  if (!InList(demuxers, demux)) return Fail(BASS_ERROR_FILEFORM, false);
  if (avformat_find_stream_info(d->fmt, nullptr) < 0) return Fail(BASS_ERROR_FILEFORM, false);
  d->stream = av_find_best_stream(d->fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (d->stream < 0) return Fail(BASS_ERROR_FILEFORM, false);
  AVStream* st = d->fmt->streams[d->stream];
  st->event_flags &= ~AVSTREAM_EVENT_FLAG_METADATA_UPDATED;  // the first comments are no update
  AVCodecParameters* par = st->codecpar;
  if (coreOnly && !CoreAccepts(demux, par->codec_id)) return Fail(BASS_ERROR_FILEFORM, false);
  // FFmpeg's fixed-point MPEG Layer I/II decoders dither with a state that runs from the start of
  // the file, so no seek could reproduce their output; the float decoders are deterministic.
  const AVCodec* codec = par->codec_id == AV_CODEC_ID_MP1   ? avcodec_find_decoder_by_name("mp1float")
                         : par->codec_id == AV_CODEC_ID_MP2 ? avcodec_find_decoder_by_name("mp2float")
                                                            : nullptr;
  if (!codec) codec = avcodec_find_decoder(par->codec_id);
  if (!codec) return Fail(BASS_ERROR_CODEC, false);
  if (codecs && !InList(codecs, codec->name)) return Fail(BASS_ERROR_FILEFORM, false);
  d->cc = avcodec_alloc_context3(codec);
  if (!d->cc || avcodec_parameters_to_context(d->cc, par) < 0) return Fail(BASS_ERROR_MEM, false);
  d->cc->pkt_timebase = st->time_base;
  if (avcodec_open2(d->cc, codec, nullptr) < 0) return Fail(BASS_ERROR_CODEC, false);
  for (unsigned i = 0; i < d->fmt->nb_streams; ++i)
    if (int(i) != d->stream) d->fmt->streams[i]->discard = AVDISCARD_ALL;
  d->tb = st->time_base;
  d->rate = d->cc->sample_rate;
  d->inChans = d->cc->ch_layout.nb_channels;
  if (d->rate <= 0 || d->rate > 384000 || d->inChans <= 0) return Fail(BASS_ERROR_FORMAT, false);
  if (d->inChans > 8) return Fail(BASS_ERROR_SPEAKER, false);
  d->outFmt = FmtOfFlags(flags);
  d->outChans = (flags & BASS_SAMPLE_MONO) ? 1 : d->inChans;
  d->frameBytes = d->outChans * BytesOf(d->outFmt);

  AVChannelLayout inLayout{}, outLayout{};
  if (d->cc->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&inLayout, d->inChans);
  else av_channel_layout_copy(&inLayout, &d->cc->ch_layout);
  if (d->outChans == d->inChans) av_channel_layout_copy(&outLayout, &inLayout);
  else av_channel_layout_default(&outLayout, d->outChans);
  AVSampleFormat outSf = d->outFmt == SampleFmt::F32 ? AV_SAMPLE_FMT_FLT
                         : d->outFmt == SampleFmt::U8 ? AV_SAMPLE_FMT_U8
                                                      : AV_SAMPLE_FMT_S16;
  int sr = swr_alloc_set_opts2(&d->swr, &outLayout, outSf, d->rate, &inLayout, d->cc->sample_fmt, d->rate, 0, nullptr);
  av_channel_layout_uninit(&inLayout);
  av_channel_layout_uninit(&outLayout);
  if (sr < 0 || swr_init(d->swr) < 0) return Fail(BASS_ERROR_FORMAT, false);
  d->pkt = av_packet_alloc();
  d->frame = av_frame_alloc();
  if (!d->pkt || !d->frame) return Fail(BASS_ERROR_MEM, false);

  // Length in frames from the container: PCM and Ogg are exact; MP3 corrected below. A file read
  // front to back (a buffered user file) may have only FFmpeg's guess from its bit rate: no length
  // then, rather than an end in the middle of the sound.
  const bool guessed = !canSeek && !net && d->fmt->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
  if (!guessed && st->duration != AV_NOPTS_VALUE && st->duration > 0)
    d->length = av_rescale_q(st->duration, st->time_base, AVRational{1, d->rate});
  else if (!guessed && d->fmt->duration != AV_NOPTS_VALUE && d->fmt->duration > 0)
    d->length = av_rescale(d->fmt->duration, d->rate, AV_TIME_BASE);
  d->seekable = (d->avio->seekable & AVIO_SEEKABLE_NORMAL) != 0;
  d->capAtLength = std::string(demux) == "ogg" && st->duration != AV_NOPTS_VALUE && st->duration > 0;
  if (std::string(demux) == "mp3" && !net) {
    // The container's MPEG length is an estimate; count it exactly (file position restored after).
    QWORD keep = FileTell(file);
    int64_t exact = MpegLength(FileReaderAt(file), FileSize(file), d->id3v2.size(), d->frameIndex, d->frameSpf);
    FileSeek(file, keep);
    if (exact >= 0) d->length = exact;
  }

  // Decode the first samples now: a file FFmpeg cannot decode is refused at creation.
  if (!DecodeMore(d.get())) return Fail(BASS_ERROR_FILEFORM, false);

  if (ctype == 0) ctype = CoreType(demux, par->codec_id, par);
  int bits = par->bits_per_raw_sample ? par->bits_per_raw_sample : par->bits_per_coded_sample;
  // Lossless codecs (PCM, FLAC, ALAC, ...) have an original resolution; lossy ones report 0.
  const AVCodecDescriptor* desc = avcodec_descriptor_get(par->codec_id);
  bool pcm = desc && (desc->props & AV_CODEC_PROP_LOSSLESS) && !(desc->props & AV_CODEC_PROP_LOSSY);
  out->funcs = &kFuncs;
  out->freq = DWORD(d->rate);
  out->chans = DWORD(d->outChans);
  out->flags = d->outFmt == SampleFmt::F32 ? BASS_SAMPLE_FLOAT : d->outFmt == SampleFmt::U8 ? BASS_SAMPLE_8BITS : 0;
  out->ctype = ctype;
  out->origres = pcm ? DWORD(bits) : 0;
  out->self = d.release();
  return true;
}

}  // namespace orvbass
