// AAC in ADTS streams and in MP4/M4A containers.
#include "FormatAddon.h"
#include "Mp4Length.h"

namespace {

const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_AAC, "Advanced Audio Coding", "*.aac;*.adts"},
    {BASS_CTYPE_STREAM_MP4, "MPEG-4 Audio", "*.mp4;*.m4a;*.m4b;*.m4p"},
};
// Apple Lossless in MP4 belongs to bass_alac; only AAC codecs are taken from MP4 here.
const orvaddon::Route kAdts[] = {{"aac", "aac,aac_fixed,aac_latm", BASS_CTYPE_STREAM_AAC}};
const orvaddon::Route kMp4[] = {{"mov,mp4,m4a,3gp,3g2,mj2", "aac,aac_fixed,aac_latm", BASS_CTYPE_STREAM_MP4}};

// An ADTS stream says nothing of its length: count the samples of its frame headers (1024 per
// raw data block). QWORD(-1) when the headers do not chain from the start to the end.
QWORD AdtsSamples(const ORV_CORE_API* core, ORV_FILE* file) {
  QWORD size = core->FileSize(file), pos = 0, samples = 0;
  uint8_t h[10];
  if (core->FileRead(file, h, 10) == 10 && h[0] == 'I' && h[1] == 'D' && h[2] == '3')
    pos = 10 + (QWORD(h[6] & 0x7F) << 21 | QWORD(h[7] & 0x7F) << 14 | QWORD(h[8] & 0x7F) << 7 | (h[9] & 0x7F));
  while (pos + 7 <= size) {
    if (!core->FileSeek(file, pos) || core->FileRead(file, h, 7) != 7) break;
    if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0) break;
    QWORD len = QWORD(h[3] & 3) << 11 | QWORD(h[4]) << 3 | h[5] >> 5;
    if (len < 7) break;
    samples += 1024 * QWORD((h[6] & 3) + 1);
    pos += len;
  }
  return pos + 7 > size && samples ? samples : QWORD(-1);
}

BOOL OpenFile(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  const ORV_CORE_API* core = orvaddon::Core();
  if (!core) return FALSE;
  // FFmpeg's MP4 demuxer reports the edit list's duration while the decoder trims only the
  // priming, and its seeks land frames away: the length is counted from the boxes (or, when they
  // do not tell, by one decoding pass), and seeks decode from the start (about 1/1000 of the
  // playing time).
  orvaddon::Mp4Audio mp4;
  QWORD size = core->FileSize(file);
  bool unknownSize = size == 0 || size == QWORD(-1);  // a network or user stream
  bool boxes = orvaddon::ReadMp4Audio(
      [&](uint64_t off, void* buf, uint32_t n) -> uint32_t {
        return core->FileSeek(file, off) ? core->FileRead(file, buf, n) : 0;
      },
      size, &mp4);
  if (!core->FileSeek(file, 0)) return orvaddon::Fail(BASS_ERROR_FILEFORM);
  if (orvaddon::OpenByRoutes(kMp4, 1, file, flags, out)) {
    QWORD length = QWORD(-1);
    // Plain AAC: 1024 samples an access unit at the entry's rate (HE-AAC doubles it: counted).
    if (boxes && mp4.sampleRate == out->freq && mp4.timescale) {
      QWORD skip = mp4.skip * out->freq / mp4.timescale;
      if (mp4.frames * 1024 > skip) length = (mp4.frames * 1024 - skip) * orvaddon::FrameBytes(*out);
    }
    // A stream of unknown size (from the network) is not read through to count it.
    if (length == QWORD(-1) && unknownSize) return TRUE;
    orvaddon::Reopen again{file, flags, kMp4[0]};
    return orvaddon::WrapExact(out, length, true, &again);
  }
  if (!core->FileSeek(file, 0)) return orvaddon::Fail(BASS_ERROR_FILEFORM);
  QWORD samples = unknownSize ? QWORD(-1) : AdtsSamples(core, file);
  if (!core->FileSeek(file, 0) || !orvaddon::OpenByRoutes(kAdts, 1, file, flags, out)) return FALSE;
  // A broadcast (no size) has no length to count and cannot seek.
  if (unknownSize) return TRUE;
  // Frames hold no time stamps to land on: seeking decodes from the start.
  orvaddon::Reopen again{file, flags, kAdts[0]};
  return orvaddon::WrapExact(out, samples == QWORD(-1) ? QWORD(-1) : samples * orvaddon::FrameBytes(*out), true,
                             &again);
}

const ORV_ADDON kAddon = {ORV_ADDON_ABI, {ORVELLA_BASS_VERSION, 2, kFormats}, OpenFile, nullptr, orvaddon::ForgetCore};

}  // namespace

ORV_EXPORT const ORV_ADDON* OrvBassAddonGet(const ORV_CORE_API* core) {
  if (!core || core->abi != ORV_ADDON_ABI) return nullptr;
  orvaddon::SetCore(core);
  return &kAddon;
}
