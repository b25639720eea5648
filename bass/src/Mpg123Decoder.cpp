// Local MPEG audio files (Layer I/II/III) through libmpg123, which is small and already mapped by
// the sound server's client library, where FFmpeg would map about a hundred libraries for them.
//
// Only files that plainly are MPEG audio come here (ProbeMpegAudio); everything else, and whatever
// libmpg123 refuses, goes to FFmpeg as before. libmpg123 decodes straight into the channel's format
// (16-bit or float; 8-bit is made from 16-bit), removes the encoder delay and padding a LAME/Xing
// header names (gapless), and seeks sample-exactly through its frame index. A change of sample rate
// or channel count inside the file ends the stream there, as the FFmpeg path does.
//
// Threading: a decoder is used by one thread at a time (the channel's lock); handles of libmpg123
// share nothing.
#include "Core.h"
#include "HeaderWalks.h"
#include "LazyMpg123.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace orvbass {
namespace {

struct MpgDec {
  ORV_FILE* file = nullptr;
  mpg123_handle* mh = nullptr;
  SampleFmt outFmt = SampleFmt::S16;
  int chans = 2, frameBytes = 4;
  long rate = 44100;
  int encoding = MPG123_ENC_SIGNED_16;
  int64_t length = -1;   // frames
  int64_t returned = 0;  // index of the next frame read() returns
  bool eof = false;
  // Whether libmpg123 now puts out the channel's format, and how much of another it has put out
  // since it changed to that one.
  bool ours = true;
  size_t foreignBytes = 0;
  std::string id3v1, id3v2;
  QWORD audioStart = 0;
  std::vector<int16_t> wide;  // 16-bit samples on their way to 8-bit

  ~MpgDec() {
    if (mh) {
      mpg123_close(mh);
      mpg123_delete(mh);
    }
  }
};

mpg123_ssize_t IoRead(void* handle, void* buf, size_t n) {
  auto* d = static_cast<MpgDec*>(handle);
  return mpg123_ssize_t(FileRead(d->file, buf, DWORD(std::min<size_t>(n, 1u << 30))));
}

off_t IoSeek(void* handle, off_t offset, int whence) {
  auto* d = static_cast<MpgDec*>(handle);
  int64_t target = offset;
  if (whence == SEEK_CUR) target += int64_t(FileTell(d->file));
  else if (whence == SEEK_END) target += int64_t(FileSize(d->file));
  if (target < 0) return -1;
  return FileSeek(d->file, QWORD(target)) ? off_t(target) : -1;
}

// Whether libmpg123's output format is now the channel's.
bool FormatIsOurs(MpgDec* d) {
  long rate = 0;
  int chans = 0, enc = 0;
  return mpg123_getformat(d->mh, &rate, &chans, &enc) == MPG123_OK && rate == d->rate && chans == d->chans &&
         enc == d->encoding;
}

// Reads into "out" up to "bytes" of the channel's format; stops early only at the end. Output of
// another format is read and dropped: a false sync in damaged data gives a frame or two of it, and
// a seek may land where libmpg123 last decoded such frames (its first output then is still of that
// format). A lasting change of rate or channels goes on and ends the stream, as the FFmpeg path does.
size_t ReadDecoded(MpgDec* d, uint8_t* out, size_t bytes) {
  constexpr size_t kMaxForeignBytes = 8 * 1152 * 2 * 4;  // eight frames of stereo float
  uint8_t scratch[16384];
  size_t done = 0;
  int idle = 0;
  while (done < bytes && !d->eof) {
    size_t got = 0;
    const int r = d->ours ? mpg123_read(d->mh, out + done, bytes - done, &got)
                          : mpg123_read(d->mh, scratch, sizeof scratch, &got);
    // With MPG123_NEW_FORMAT, the bytes read are still of the format before.
    if (d->ours) done += got;
    else d->foreignBytes += got;
    if (r == MPG123_OK) {
      // A read that makes nothing over and over would never end.
      idle = got ? 0 : idle + 1;
      if (idle > 1000 || d->foreignBytes > kMaxForeignBytes) d->eof = true;
      continue;
    }
    if (r == MPG123_NEW_FORMAT) {
      d->ours = FormatIsOurs(d);
      d->foreignBytes = 0;
      continue;
    }
    // MPG123_DONE, or an error libmpg123 could not resynchronise past.
    d->eof = true;
  }
  return done;
}

DWORD DecRead(void* self, void* buffer, DWORD length, BOOL* ended) {
  auto* d = static_cast<MpgDec*>(self);
  length -= length % DWORD(d->frameBytes);
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done;
  if (d->outFmt == SampleFmt::U8) {
    d->wide.resize(length);
    done = ReadDecoded(d, reinterpret_cast<uint8_t*>(d->wide.data()), size_t(length) * 2) / 2;
    // As a 16-bit to unsigned 8-bit conversion does it everywhere: the high byte, offset.
    for (size_t i = 0; i < done; ++i) out[i] = uint8_t((d->wide[i] >> 8) + 128);
  } else {
    done = ReadDecoded(d, out, length);
  }
  d->returned += int64_t(done / size_t(d->frameBytes));
  if (d->eof) {
    *ended = TRUE;
    // The header's length can be wrong (a cut file); the decode is the truth.
    d->length = d->returned;
  }
  return DWORD(done);
}

BOOL DecSeek(void* self, QWORD pos) {
  auto* d = static_cast<MpgDec*>(self);
  const int64_t target = int64_t(pos / QWORD(d->frameBytes));
  // libmpg123 goes back a few frames before the target (the Layer III bit reservoir) and decodes
  // up to it, so what follows is exactly what a decode from the start gives there.
  off_t r = mpg123_seek(d->mh, off_t(target), SEEK_SET);
  if (r < 0) return FALSE;
  d->eof = false;
  d->foreignBytes = 0;
  d->returned = target;
  return TRUE;
}

QWORD DecLength(void* self) {
  auto* d = static_cast<MpgDec*>(self);
  return d->length < 0 ? QWORD(-1) : QWORD(d->length) * QWORD(d->frameBytes);
}

const char* DecTags(void* self, DWORD type) {
  auto* d = static_cast<MpgDec*>(self);
  const std::string* s = type == BASS_TAG_ID3 ? &d->id3v1 : type == BASS_TAG_ID3V2 ? &d->id3v2 : nullptr;
  return s && !s->empty() ? s->data() : nullptr;
}

QWORD DecFilePos(void* self, DWORD mode) {
  auto* d = static_cast<MpgDec*>(self);
  switch (mode) {
    case BASS_FILEPOS_CURRENT: return QWORD(std::max<off_t>(mpg123_tell_stream(d->mh), 0));
    case BASS_FILEPOS_DOWNLOAD:
    case BASS_FILEPOS_END: return FileSize(d->file);
    case BASS_FILEPOS_START: return d->audioStart;
    default: return QWORD(-1);
  }
}

void DecClose(void* self) { delete static_cast<MpgDec*>(self); }

// Frames decoded before a seek target so that what follows is what a decode from the start gives
// there: a Layer III frame's data may begin up to 511 bytes (MPEG-1) or 255 bytes (MPEG-2/2.5) back
// in earlier frames, which at the lowest bit rates hold 60 (MPEG-1, 32 kbit/s at 48 kHz) or 11
// (8 kbit/s at 24 kHz) bytes of it each; a few more frames rebuild the overlap and synthesis state.
// libmpg123's default of 4 left seeks in low-rate VBR files wrong for whole frames. MPEG-1 then
// gives exactly the straight decode's samples. MPEG-2/2.5 Layer III can still differ from it in a
// rare sample by one step: libmpg123's synthesis rounds a little differently depending on where in
// its ring the frame lands, and its seeks do not restart that ring.
long PrerollFrames(const MpegHeader& h) { return h.version == 1 ? 12 : 32; }

const ORV_DECODER_FUNCS kFuncs = {DecRead, DecSeek, DecLength, DecTags, DecFilePos, DecClose};

}  // namespace

bool OpenMpg123(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  // Only a file that can be read again from its start: the probe reads its head first.
  if (!FileSeek(file, 0)) return Fail(BASS_ERROR_FILEFORM, false);
  const QWORD size = FileSize(file);
  MpegStart start;
  const bool mpeg = ProbeMpegAudio(FileReaderAt(file), size, start);
  if (!mpeg || !orvmpg::Mpg123().loaded) {
    FileSeek(file, 0);
    return Fail(BASS_ERROR_FILEFORM, false);
  }
  auto d = std::make_unique<MpgDec>();
  d->file = file;
  Id3Blocks tags = ReadId3Blocks(FileReaderAt(file), size);
  d->id3v1 = std::move(tags.v1);
  d->id3v2 = std::move(tags.v2);
  d->audioStart = start.audioStart;
  FileSeek(file, 0);

  d->outFmt = FmtOfFlags(flags);
  d->encoding = d->outFmt == SampleFmt::F32 ? MPG123_ENC_FLOAT_32 : MPG123_ENC_SIGNED_16;
  const bool mono = (flags & BASS_SAMPLE_MONO) != 0;
  int err = MPG123_OK;
  d->mh = mpg123_new(nullptr, &err);
  if (!d->mh) return Fail(BASS_ERROR_MEM, false);
  // Tags are read above; no resampling, ever; the whole file is searched for the next frame
  // after damage (a bounded search would end the stream at the first long stretch of junk).
  long mflags = MPG123_GAPLESS | MPG123_QUIET | MPG123_SKIP_ID3V2 | (mono ? MPG123_MONO_MIX : 0);
  if (mpg123_param(d->mh, MPG123_FLAGS, mflags, 0) != MPG123_OK ||
      mpg123_param(d->mh, MPG123_RESYNC_LIMIT, -1, 0) != MPG123_OK ||
      mpg123_param(d->mh, MPG123_PREFRAMES, PrerollFrames(start.header), 0) != MPG123_OK || mpg123_format_none(d->mh) != MPG123_OK)
    return Fail(BASS_ERROR_FILEFORM, false);
  const long* rates = nullptr;
  size_t nrates = 0;
  mpg123_rates(&rates, &nrates);
  for (size_t i = 0; i < nrates; ++i)
    mpg123_format(d->mh, rates[i], mono ? MPG123_MONO : MPG123_MONO | MPG123_STEREO, d->encoding);
  if (mpg123_replace_reader_handle(d->mh, IoRead, IoSeek, nullptr) != MPG123_OK ||
      mpg123_open_handle(d->mh, d.get()) != MPG123_OK) {
    FileSeek(file, 0);
    return Fail(BASS_ERROR_FILEFORM, false);
  }
  int chans = 0, enc = 0;
  mpg123_frameinfo2 fi{};
  if (mpg123_getformat(d->mh, &d->rate, &chans, &enc) != MPG123_OK || enc != d->encoding || chans < 1 ||
      chans > 2 || d->rate <= 0 || mpg123_info2(d->mh, &fi) != MPG123_OK || fi.layer < 1 || fi.layer > 3) {
    d.reset();  // closes the handle before the file is handed on
    FileSeek(file, 0);
    return Fail(BASS_ERROR_FILEFORM, false);
  }
  d->chans = chans;
  d->frameBytes = chans * BytesOf(d->outFmt);
  // Without a Xing/Info frame count the length is known only by walking every frame header (which
  // also fills the seek index); BASS_STREAM_PRESCAN asks for that walk in any case.
  if (!start.xing || (flags & BASS_STREAM_PRESCAN)) mpg123_scan(d->mh);
  off_t len = mpg123_length(d->mh);
  if (len >= 0) d->length = int64_t(len);

  out->funcs = &kFuncs;
  out->freq = DWORD(d->rate);
  out->chans = DWORD(d->chans);
  out->flags = d->outFmt == SampleFmt::F32 ? BASS_SAMPLE_FLOAT : d->outFmt == SampleFmt::U8 ? BASS_SAMPLE_8BITS : 0;
  out->ctype = fi.layer == 1 ? BASS_CTYPE_STREAM_MP1 : fi.layer == 2 ? BASS_CTYPE_STREAM_MP2 : BASS_CTYPE_STREAM_MP3;
  out->origres = 0;
  out->self = d.release();
  return true;
}

}  // namespace orvbass
