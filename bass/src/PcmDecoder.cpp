// Plain PCM and float WAVE and AIFF files decoded by the core itself: opening FFmpeg maps about a
// hundred libraries (20+ MB, tens of milliseconds) for the simplest formats there are.
//
// Only what the FFmpeg path takes as a core format comes here (HeaderWalks.h's WalkRiffWave and
// WalkAiff), and only from files that can be read again from their start; everything else, a mono
// downmix of more than two channels among it, goes to FFmpeg as before. The output is what
// FFmpeg's decoder and libswresample make of the same samples, to the bit (the conversions of
// PcmConvert.h, which say what differs).
//
// Threading: a decoder is used by one thread at a time (the channel's lock).
#include "Core.h"
#include "HeaderWalks.h"
#include "PcmConvert.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace orvbass {
namespace {

constexpr size_t kReadBytes = 65536;

struct PcmDec {
  ORV_FILE* file = nullptr;
  PcmLayout in;
  SampleFmt outFmt = SampleFmt::S16;
  int outChans = 2;
  int outFrameBytes = 4;
  bool downmix = false;
  QWORD pos = 0;  // frame index of the next frame read() returns
  std::string id3v1, id3v2;
  std::vector<uint8_t> raw;  // file bytes of up to kReadBytes of whole frames
};

DWORD DecRead(void* self, void* buffer, DWORD length, BOOL* ended) {
  auto* d = static_cast<PcmDec*>(self);
  auto* out = static_cast<uint8_t*>(buffer);
  const QWORD want = std::min<QWORD>(length / DWORD(d->outFrameBytes), d->in.frames - std::min(d->pos, d->in.frames));
  const size_t chunkFrames = std::max<size_t>(1, kReadBytes / size_t(d->in.frameBytes));
  QWORD done = 0;
  while (done < want) {
    const size_t n = size_t(std::min<QWORD>(chunkFrames, want - done));
    const size_t bytes = n * size_t(d->in.frameBytes);
    // A user file may hand over less than asked; read on until it gives nothing.
    size_t got = 0;
    while (got < bytes) {
      DWORD r = FileRead(d->file, d->raw.data() + got, DWORD(bytes - got));
      if (r == 0) break;
      got += r;
    }
    const size_t frames = got / size_t(d->in.frameBytes);
    uint8_t* dst = out + done * QWORD(d->outFrameBytes);
    if (d->downmix) DownmixStereo(d->in, d->outFmt, d->raw.data(), dst, frames);
    else ConvertSamples(d->in, d->outFmt, d->raw.data(), dst, frames * size_t(d->in.chans));
    done += frames;
    d->pos += frames;
    if (frames < n) {
      // The file is shorter than it was (cut while playing): it ends here, on a whole frame.
      d->in.frames = d->pos;
      if (got % size_t(d->in.frameBytes)) FileSeek(d->file, d->in.dataStart + d->pos * QWORD(d->in.frameBytes));
      break;
    }
  }
  if (d->pos >= d->in.frames) *ended = TRUE;
  return DWORD(done * QWORD(d->outFrameBytes));
}

BOOL DecSeek(void* self, QWORD pos) {
  auto* d = static_cast<PcmDec*>(self);
  const QWORD frame = pos / QWORD(d->outFrameBytes);
  if (frame > d->in.frames) return FALSE;
  if (!FileSeek(d->file, d->in.dataStart + frame * QWORD(d->in.frameBytes))) return FALSE;
  d->pos = frame;
  return TRUE;
}

QWORD DecLength(void* self) {
  auto* d = static_cast<PcmDec*>(self);
  return d->in.frames * QWORD(d->outFrameBytes);
}

const char* DecTags(void* self, DWORD type) {
  auto* d = static_cast<PcmDec*>(self);
  const std::string* s = type == BASS_TAG_ID3 ? &d->id3v1 : type == BASS_TAG_ID3V2 ? &d->id3v2 : nullptr;
  return s && !s->empty() ? s->data() : nullptr;
}

QWORD DecFilePos(void* self, DWORD mode) {
  auto* d = static_cast<PcmDec*>(self);
  switch (mode) {
    case BASS_FILEPOS_CURRENT: return d->in.dataStart + d->pos * QWORD(d->in.frameBytes);
    case BASS_FILEPOS_DOWNLOAD:
    case BASS_FILEPOS_END: return FileSize(d->file);
    case BASS_FILEPOS_START: return d->in.dataStart;
    default: return QWORD(-1);
  }
}

void DecClose(void* self) { delete static_cast<PcmDec*>(self); }

const ORV_DECODER_FUNCS kFuncs = {DecRead, DecSeek, DecLength, DecTags, DecFilePos, DecClose};

bool Decline(ORV_FILE* file) {
  FileSeek(file, 0);
  return Fail(BASS_ERROR_FILEFORM, false);
}

}  // namespace

bool OpenPcm(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  // Only a file that can be read again from its start: the walk reads its head first.
  if (!FileSeek(file, 0)) return Fail(BASS_ERROR_FILEFORM, false);
  const QWORD size = FileSize(file);
  if (size == 0) return Decline(file);
  PcmLayout in;
  if (!WalkRiffWave(FileReaderAt(file), size, in)) {
    in = PcmLayout{};
    if (!WalkAiff(FileReaderAt(file), size, in)) return Decline(file);
  }
  const bool mono = (flags & BASS_SAMPLE_MONO) != 0;
  // libswresample's downmix of more channels (or of two that are not left and right) weighs them
  // by their speaker positions: FFmpeg's.
  if (mono && (in.chans > 2 || (in.chans == 2 && !in.plainStereo))) return Decline(file);

  auto d = std::make_unique<PcmDec>();
  d->file = file;
  d->in = in;
  d->outFmt = FmtOfFlags(flags);
  d->outChans = mono ? 1 : in.chans;
  d->downmix = mono && in.chans == 2;
  d->outFrameBytes = d->outChans * BytesOf(d->outFmt);
  Id3Blocks tags = ReadId3Blocks(FileReaderAt(file), size);
  d->id3v1 = std::move(tags.v1);
  d->id3v2 = std::move(tags.v2);
  if (!FileSeek(file, in.dataStart)) return Decline(file);
  // Room for one read of whole frames, so reading on the mixer thread never allocates.
  d->raw.resize(std::max<size_t>(1, kReadBytes / size_t(in.frameBytes)) * size_t(in.frameBytes));

  const bool isFloat = in.coding == PcmCoding::F32 || in.coding == PcmCoding::F64;
  out->funcs = &kFuncs;
  out->freq = DWORD(in.rate);
  out->chans = DWORD(d->outChans);
  out->flags = d->outFmt == SampleFmt::F32 ? BASS_SAMPLE_FLOAT : d->outFmt == SampleFmt::U8 ? BASS_SAMPLE_8BITS : 0;
  out->ctype = in.aiff ? BASS_CTYPE_STREAM_AIFF : isFloat ? BASS_CTYPE_STREAM_WAV_FLOAT : BASS_CTYPE_STREAM_WAV_PCM;
  // FFmpeg's 24- and 32-bit decoders name their own depth; the others keep the header's.
  out->origres = in.coding == PcmCoding::S24 ? 24 : in.coding == PcmCoding::S32 ? 32 : DWORD(in.bits);
  out->self = d.release();
  return true;
}

}  // namespace orvbass
