// Native FLAC files ("fLaC", after at most one ID3v2 tag) through libFLAC, which is small and
// already mapped by the sound server's client library, where FFmpeg would map about a hundred
// libraries for them.
//
// The output is what the FFmpeg path makes of the same file, to the bit: FFmpeg's FLAC decoder
// hands on 16-bit samples for up to 16 bits per sample and 32-bit ones above, each shifted up to
// the top of its word; the same words are made here from libFLAC's frames and converted by the
// conversions of PcmConvert.h. Lengths come from STREAMINFO, seeks land on the sample
// (libFLAC's seek_absolute), tags are the ID3 blocks the FFmpeg path gives for such a file.
//
// What would not come out the same stays with FFmpeg (the opener declines): Ogg FLAC, a mono
// downmix of more than two channels or of two with a speaker mask, more than 24 bits per sample
// (nothing here writes such files to check the FFmpeg path against), an unknown total length,
// network streams and files that cannot seek; and anything libFLAC refuses before its first frame.
//
// Damaged audio: a frame failing its CRC is silence of its length (libFLAC's choice; the frame
// after it, which libFLAC 1.4.2 silences too, is decoded again), and frames lost altogether are
// made up with silence, so positions and the length stay as on the FFmpeg path, whose decoder
// plays whatever the damaged bits make; a cut frame at the end is dropped and a frame of another
// depth skipped, as there; a frame of another sample rate or channel count ends the stream, as there.
//
// Threading: a decoder is used by one thread at a time (the channel's lock); libFLAC's decoder
// objects share nothing.
#include "Core.h"
#include "HeaderWalks.h"
#include "LazyFlac.h"
#include "Net.h"
#include "PcmConvert.h"

#include <strings.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace orvbass {
namespace {

struct FlacDec {
  ORV_FILE* file = nullptr;
  FLAC__StreamDecoder* fd = nullptr;
  // STREAMINFO
  bool gotInfo = false;
  unsigned rate = 0, chans = 0, bps = 0, maxBlock = 0;
  uint64_t total = 0;
  bool channelMask = false;  // a WAVEFORMATEXTENSIBLE_CHANNEL_MASK comment names the speakers
  // Samples as FFmpeg's decoder hands them on, interleaved: 16-bit or 32-bit words.
  PcmLayout mid;
  unsigned shift = 0;
  SampleFmt outFmt = SampleFmt::S16;
  int outFrameBytes = 4;
  bool downmix = false;
  // One decoded frame: frames [pendHead, pendFrames) of "pending" are still to be returned.
  std::vector<uint8_t> pending;
  size_t pendFrames = 0, pendHead = 0;
  int64_t length = -1;   // frames
  int64_t returned = 0;  // index of the next frame read() returns
  bool eof = false;
  bool shapeChanged = false;  // a frame of another rate, channel count or depth: the stream ends before it
  // Frames lost to damage (libFLAC drops a frame failing its CRC) are made up with silence, so
  // times and the length stay the file's: where the next frame should start (-1: learn it from
  // the next frame), and the frames of silence owed before "pending".
  int64_t nextSample = -1;
  uint64_t silence = 0;
  bool seeking = false;
  // Damage met during one process call, and the second frame that call handed over (at frame
  // "secondAt" of "pending"; 0: none): libFLAC 1.4.2 gives the frame after a damaged one as
  // silence too, so that one is decoded again.
  int damage = 0;
  size_t secondAt = 0, secondFrames = 0;
  uint64_t secondFirst = 0;
  // End of the last frame decoded again: a seek back to a frame no later than that would meet the
  // same damage again and again (a damaged number can send libFLAC back in the file).
  uint64_t redecodedTo = 0;
  QWORD audioStart = 0;
  std::string id3v1, id3v2;

  ~FlacDec() {
    if (fd) {
      FLAC__stream_decoder_finish(fd);
      FLAC__stream_decoder_delete(fd);
    }
  }
};

FLAC__StreamDecoderReadStatus IoRead(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes, void* self) {
  auto* d = static_cast<FlacDec*>(self);
  const DWORD got = *bytes ? FileRead(d->file, buffer, DWORD(std::min<size_t>(*bytes, 1u << 30))) : 0;
  *bytes = got;
  return got ? FLAC__STREAM_DECODER_READ_STATUS_CONTINUE : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
}

FLAC__StreamDecoderSeekStatus IoSeek(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* self) {
  auto* d = static_cast<FlacDec*>(self);
  return FileSeek(d->file, QWORD(offset)) ? FLAC__STREAM_DECODER_SEEK_STATUS_OK : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
}

FLAC__StreamDecoderTellStatus IoTell(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* self) {
  *offset = FileTell(static_cast<FlacDec*>(self)->file);
  return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderLengthStatus IoLength(const FLAC__StreamDecoder*, FLAC__uint64* length, void* self) {
  *length = FileSize(static_cast<FlacDec*>(self)->file);
  return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__bool IoEof(const FLAC__StreamDecoder*, void* self) {
  auto* d = static_cast<FlacDec*>(self);
  return FileTell(d->file) >= FileSize(d->file);
}

// Takes a decoded frame (during a seek: its part from the target on) as FFmpeg's decoder would
// hand it on.
FLAC__StreamDecoderWriteStatus OnFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                       const FLAC__int32* const buffer[], void* self) {
  auto* d = static_cast<FlacDec*>(self);
  const FLAC__FrameHeader& h = frame->header;
  if (h.sample_rate != d->rate || h.channels != d->chans || d->shapeChanged) {
    d->shapeChanged = true;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }
  const size_t n = h.blocksize, fb = size_t(d->mid.frameBytes);
  if (h.bits_per_sample != d->bps) {
    // FFmpeg's decoder refuses such a frame and goes on: no samples, and no gap either.
    if (!d->seeking && h.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER)
      d->nextSample = int64_t(h.number.sample_number + n);
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }
  // One process call may hand over two frames: after a damaged or lost one, libFLAC gives it as
  // silence once it has found the next frame, and then that one. They queue up in "pending".
  size_t at = d->pendFrames;
  // libFLAC numbers every frame by its first sample. During a seek the frame is the target's
  // (handed on from the target), and what follows it is learnt from the next frame.
  const uint64_t first = h.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER ? h.number.sample_number
                                                                                : uint64_t(h.number.frame_number) * n;
  if (!d->seeking) {
    // A frame number far ahead is damage too (it passed the header's CRC-8 by chance): no gap
    // is filled beyond 16 of the largest frames, nor past STREAMINFO's total.
    const uint64_t gap = d->nextSample >= 0 && first > uint64_t(d->nextSample) ? first - uint64_t(d->nextSample) : 0;
    if (gap && gap <= 16 * uint64_t(d->maxBlock) && first + n <= d->total) {
      if (at == 0) {
        d->silence = gap;
      } else if (gap <= d->maxBlock) {
        if ((at + gap) * fb > d->pending.size()) d->pending.resize((at + gap) * fb);
        std::memset(d->pending.data() + at * fb, 0, size_t(gap) * fb);  // zero words are silence in any format
        at += size_t(gap);
      }
    }
    d->nextSample = int64_t(first + n);
  }
  // Only a file whose frames are larger than its STREAMINFO says gets here with more.
  if ((at + n) * fb > d->pending.size()) d->pending.resize((at + n) * fb);
  if (at > 0 && !d->seeking) {
    d->secondAt = at;
    d->secondFirst = first;
    d->secondFrames = n;
  }
  uint8_t* p = d->pending.data() + at * fb;
  const unsigned ch = d->chans, shift = d->shift;
  const bool big = d->mid.bigEndian;
  if (d->mid.coding == PcmCoding::S16) {
    for (size_t i = 0; i < n; ++i)
      for (unsigned c = 0; c < ch; ++c, p += 2) {
        const uint16_t v = uint16_t(uint32_t(buffer[c][i]) << shift);
        p[big ? 1 : 0] = uint8_t(v);
        p[big ? 0 : 1] = uint8_t(v >> 8);
      }
  } else {
    for (size_t i = 0; i < n; ++i)
      for (unsigned c = 0; c < ch; ++c, p += 4) {
        const uint32_t v = uint32_t(buffer[c][i]) << shift;
        for (int b = 0; b < 4; ++b) p[big ? 3 - b : b] = uint8_t(v >> (8 * b));
      }
  }
  d->pendFrames = at + n;
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void OnMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* m, void* self) {
  auto* d = static_cast<FlacDec*>(self);
  if (m->type == FLAC__METADATA_TYPE_STREAMINFO && !d->gotInfo) {
    const FLAC__StreamMetadata_StreamInfo& si = m->data.stream_info;
    d->gotInfo = true;
    d->rate = si.sample_rate;
    d->chans = si.channels;
    d->bps = si.bits_per_sample;
    d->maxBlock = si.max_blocksize;
    d->total = si.total_samples;
  } else if (m->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
    static const char kMask[] = "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=";
    const FLAC__StreamMetadata_VorbisComment& vc = m->data.vorbis_comment;
    for (FLAC__uint32 i = 0; i < vc.num_comments; ++i) {
      const FLAC__StreamMetadata_VorbisComment_Entry& e = vc.comments[i];
      if (e.entry && e.length >= sizeof kMask - 1 && strncasecmp(reinterpret_cast<const char*>(e.entry), kMask, sizeof kMask - 1) == 0)
        d->channelMask = true;
    }
  }
}

// Damaged frames are libFLAC's to handle (it resynchronises and gives lost frames as silence);
// only counted here (see DecodeFrame).
void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* self) { ++static_cast<FlacDec*>(self)->damage; }

// After damage, the second frame of a process call is silence where libFLAC has the real one:
// decode it again from its start (a seek to it). When that fails it stays silence.
void RedecodeSecond(FlacDec* d) {
  const size_t at = d->secondAt, n = d->secondFrames;
  const uint64_t first = d->secondFirst;
  d->redecodedTo = first + n;
  d->pendFrames = at;
  d->seeking = true;
  bool again = FLAC__stream_decoder_seek_absolute(d->fd, first) && d->pendFrames == at + n;
  d->seeking = false;
  if (!again) {
    const size_t fb = size_t(d->mid.frameBytes);
    std::memset(d->pending.data() + at * fb, 0, n * fb);
    d->pendFrames = at + n;
    // On from the frame after it (handed over by the seek); failing that, the stream ends here.
    d->seeking = true;
    again = FLAC__stream_decoder_flush(d->fd) && FLAC__stream_decoder_seek_absolute(d->fd, first + n);
    d->seeking = false;
    if (!again) {
      d->pendFrames = at + n;
      d->eof = true;
    }
    d->nextSample = -1;
    return;
  }
  d->nextSample = int64_t(first + n);
}

// Decodes the next frame of the stream into "pending"; false at the end.
bool DecodeFrame(FlacDec* d) {
  d->pendFrames = d->pendHead = 0;
  d->silence = 0;
  // A call that neither decodes a frame nor moves on would repeat for ever; libFLAC always reads
  // on, so this only guards against a stalled file.
  for (int idle = 0; !d->eof && idle < 1000;) {
    FLAC__uint64 before = 0, after = 0;
    const bool hadPos = FLAC__stream_decoder_get_decode_position(d->fd, &before);
    d->damage = 0;
    d->secondAt = 0;
    if (!FLAC__stream_decoder_process_single(d->fd) || d->shapeChanged) break;
    if (d->pendFrames) {
      if (d->damage && d->secondAt && d->secondFirst + d->secondFrames > d->redecodedTo &&
          d->secondFirst + d->secondFrames <= d->total)
        RedecodeSecond(d);
      return true;
    }
    if (FLAC__stream_decoder_get_state(d->fd) == FLAC__STREAM_DECODER_END_OF_STREAM) break;
    const bool moved = !hadPos || !FLAC__stream_decoder_get_decode_position(d->fd, &after) || after != before;
    idle = moved ? 0 : idle + 1;
  }
  d->pendFrames = d->pendHead = 0;
  d->silence = 0;
  d->eof = true;
  return false;
}

DWORD DecRead(void* self, void* buffer, DWORD length, BOOL* ended) {
  auto* d = static_cast<FlacDec*>(self);
  auto* out = static_cast<uint8_t*>(buffer);
  const size_t want = length / DWORD(d->outFrameBytes);
  size_t done = 0;
  while (done < want) {
    if (d->silence) {
      const size_t n = size_t(std::min<uint64_t>(d->silence, want - done));
      std::memset(out + done * size_t(d->outFrameBytes), d->outFmt == SampleFmt::U8 ? 0x80 : 0, n * size_t(d->outFrameBytes));
      d->silence -= n;
      done += n;
      continue;
    }
    if (d->pendHead == d->pendFrames) {
      if (d->eof || !DecodeFrame(d)) break;
      continue;
    }
    const size_t n = std::min(d->pendFrames - d->pendHead, want - done);
    const uint8_t* src = d->pending.data() + d->pendHead * size_t(d->mid.frameBytes);
    uint8_t* dst = out + done * size_t(d->outFrameBytes);
    if (d->downmix) DownmixStereo(d->mid, d->outFmt, src, dst, n);
    else ConvertSamples(d->mid, d->outFmt, src, dst, n * d->chans);
    d->pendHead += n;
    done += n;
  }
  d->returned += int64_t(done);
  if (d->eof && d->pendHead == d->pendFrames && !d->silence) {
    *ended = TRUE;
    // STREAMINFO's total can be wrong (a cut file); the decode is the truth.
    d->length = d->returned;
  }
  return DWORD(done * size_t(d->outFrameBytes));
}

BOOL DecSeek(void* self, QWORD pos) {
  auto* d = static_cast<FlacDec*>(self);
  const int64_t target = int64_t(pos / QWORD(d->outFrameBytes));
  if (d->length >= 0 && target > d->length) return FALSE;
  d->pendFrames = d->pendHead = 0;
  d->silence = 0;
  d->shapeChanged = false;
  d->nextSample = -1;
  if (d->length >= 0 && target == d->length) {
    // The end itself: nothing to decode there (libFLAC refuses a seek to it).
    d->eof = true;
    d->returned = target;
    return TRUE;
  }
  d->eof = false;
  // libFLAC decodes the frame holding the target and hands on its part from there.
  d->seeking = true;
  const bool landed = FLAC__stream_decoder_seek_absolute(d->fd, FLAC__uint64(target));
  if (landed) {
    d->seeking = false;
    d->returned = target;
    return TRUE;
  }
  // A failed seek leaves libFLAC in its seek-error state: start it again where the stream was.
  d->pendFrames = d->pendHead = 0;
  d->shapeChanged = false;
  const bool back =
      FLAC__stream_decoder_flush(d->fd) && FLAC__stream_decoder_seek_absolute(d->fd, FLAC__uint64(d->returned));
  d->seeking = false;
  if (!back) {
    d->pendFrames = d->pendHead = 0;
    d->eof = true;
  }
  return FALSE;
}

QWORD DecLength(void* self) {
  auto* d = static_cast<FlacDec*>(self);
  return d->length < 0 ? QWORD(-1) : QWORD(d->length) * QWORD(d->outFrameBytes);
}

const char* DecTags(void* self, DWORD type) {
  auto* d = static_cast<FlacDec*>(self);
  const std::string* s = type == BASS_TAG_ID3 ? &d->id3v1 : type == BASS_TAG_ID3V2 ? &d->id3v2 : nullptr;
  return s && !s->empty() ? s->data() : nullptr;
}

QWORD DecFilePos(void* self, DWORD mode) {
  auto* d = static_cast<FlacDec*>(self);
  switch (mode) {
    case BASS_FILEPOS_CURRENT: {
      FLAC__uint64 pos = 0;
      return FLAC__stream_decoder_get_decode_position(d->fd, &pos) ? QWORD(pos) : FileTell(d->file);
    }
    case BASS_FILEPOS_DOWNLOAD:
    case BASS_FILEPOS_END: return FileSize(d->file);
    case BASS_FILEPOS_START: return d->audioStart;
    default: return QWORD(-1);
  }
}

void DecClose(void* self) { delete static_cast<FlacDec*>(self); }

const ORV_DECODER_FUNCS kFuncs = {DecRead, DecSeek, DecLength, DecTags, DecFilePos, DecClose};

// Whether the file is native FLAC: "fLaC" at the start or right after one ID3v2 tag, as FFmpeg's
// demuxer takes it (libFLAC would skip more tags; FFmpeg refuses such a file).
bool LooksLikeFlac(ORV_FILE* file, QWORD size) {
  uint8_t h[10];
  if (!FileSeek(file, 0) || FileRead(file, h, 10) < 4) return false;
  if (std::memcmp(h, "fLaC", 4) == 0) return true;
  if (std::memcmp(h, "ID3", 3) != 0 || (h[6] | h[7] | h[8] | h[9]) & 0x80) return false;
  const QWORD at = 10 + (QWORD(h[6]) << 21 | QWORD(h[7]) << 14 | QWORD(h[8]) << 7 | h[9]) + ((h[5] & 0x10) ? 10 : 0);
  return at + 4 <= size && FileSeek(file, at) && FileRead(file, h, 4) == 4 && std::memcmp(h, "fLaC", 4) == 0;
}

bool Decline(ORV_FILE* file) {
  FileSeek(file, 0);
  return Fail(BASS_ERROR_FILEFORM, false);
}

}  // namespace

bool IsNativeFlac(ORV_FILE* file) {
  if (!file || FileIsNet(file) || !FileSeek(file, 0)) return false;
  const bool flac = LooksLikeFlac(file, FileSize(file));
  FileSeek(file, 0);
  return flac;
}

bool OpenFlac(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  // Only a file that can be read again from its start: libFLAC reads its head before it is known
  // whether the FFmpeg path must take it.
  if (!file || !out || FileIsNet(file) || !FileSeek(file, 0)) return Fail(BASS_ERROR_FILEFORM, false);
  const QWORD size = FileSize(file);
  if (size == 0 || !LooksLikeFlac(file, size) || !orvflac::Flac().loaded) return Decline(file);

  auto d = std::make_unique<FlacDec>();
  d->file = file;
  Id3Blocks tags = ReadId3Blocks(FileReaderAt(file), size);
  d->id3v1 = std::move(tags.v1);
  d->id3v2 = std::move(tags.v2);
  if (!FileSeek(file, 0)) return Decline(file);

  d->fd = FLAC__stream_decoder_new();
  if (!d->fd) return Decline(file);
  FLAC__stream_decoder_set_md5_checking(d->fd, false);
  FLAC__stream_decoder_set_metadata_respond(d->fd, FLAC__METADATA_TYPE_VORBIS_COMMENT);
  if (FLAC__stream_decoder_init_stream(d->fd, IoRead, IoSeek, IoTell, IoLength, IoEof, OnFrame, OnMetadata, OnError,
                                       d.get()) != FLAC__STREAM_DECODER_INIT_STATUS_OK ||
      !FLAC__stream_decoder_process_until_end_of_metadata(d->fd) || !d->gotInfo) {
    d.reset();
    return Decline(file);
  }
  const bool mono = (flags & BASS_SAMPLE_MONO) != 0;
  // An unknown total would be an estimate on the FFmpeg path; rates above 384 kHz and more than
  // eight channels are refused there with their own errors.
  if (d->total == 0 || d->rate == 0 || d->rate > 384000 || d->chans < 1 || d->chans > 8 || d->bps < 4 ||
      d->bps > 24 || (mono && (d->chans > 2 || (d->chans == 2 && d->channelMask)))) {
    d.reset();
    return Decline(file);
  }
  FLAC__uint64 start = 0;
  if (FLAC__stream_decoder_get_decode_position(d->fd, &start)) d->audioStart = QWORD(start);

  const bool wide = d->bps > 16;
  d->mid.coding = wide ? PcmCoding::S32 : PcmCoding::S16;
  d->mid.bigEndian = std::endian::native == std::endian::big;
  d->mid.chans = int(d->chans);
  d->mid.frameBytes = int(d->chans) * (wide ? 4 : 2);
  d->mid.plainStereo = !d->channelMask;
  d->shift = (wide ? 32 : 16) - d->bps;
  d->outFmt = FmtOfFlags(flags);
  d->downmix = mono && d->chans == 2;
  d->outFrameBytes = (mono ? 1 : int(d->chans)) * BytesOf(d->outFmt);
  d->length = int64_t(d->total);
  // Room for two of the largest frames STREAMINFO announces (see OnFrame), so reading on the mixer
  // thread never allocates.
  if (d->maxBlock < 16) d->maxBlock = FLAC__MAX_BLOCK_SIZE;
  d->pending.resize(2 * size_t(d->maxBlock) * size_t(d->mid.frameBytes));

  // The first frame now: a file whose audio libFLAC cannot decode is left to FFmpeg.
  if (!DecodeFrame(d.get())) {
    d.reset();
    return Decline(file);
  }
  out->funcs = &kFuncs;
  out->freq = DWORD(d->rate);
  out->chans = mono ? 1 : DWORD(d->chans);
  out->flags = d->outFmt == SampleFmt::F32 ? BASS_SAMPLE_FLOAT : d->outFmt == SampleFmt::U8 ? BASS_SAMPLE_8BITS : 0;
  out->ctype = BASS_CTYPE_STREAM_FLAC;
  out->origres = DWORD(d->bps);
  out->self = d.release();
  return true;
}

}  // namespace orvbass
