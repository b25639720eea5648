// basswma.so: Windows Media Audio and ASF files (and MP3 inside ASF) through the core's FFmpeg
// decoder, with the Windows Media header tags read from the ASF header by our own reader.
#include "AddonCore.h"
#include "AsfHeader.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kMaxHeader = 16u << 20;

const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_WMA, "Windows Media Audio", "*.wma;*.wmv;*.asf"},
    {BASS_CTYPE_STREAM_WMA_MP3, "MP3 in ASF", "*.asf"},
};

// The FFmpeg decoder with our tags and buffering answers in front of it.
struct WmaDecoder {
  ORV_DECODER inner;
  std::string tags;
};

DWORD ReadFn(void* self, void* buffer, DWORD length, BOOL* ended) {
  auto* d = static_cast<WmaDecoder*>(self);
  return d->inner.funcs->read(d->inner.self, buffer, length, ended);
}
BOOL SeekFn(void* self, QWORD pos) {
  auto* d = static_cast<WmaDecoder*>(self);
  return d->inner.funcs->seek ? d->inner.funcs->seek(d->inner.self, pos) : FALSE;
}
QWORD LengthFn(void* self) {
  auto* d = static_cast<WmaDecoder*>(self);
  return d->inner.funcs->length ? d->inner.funcs->length(d->inner.self) : QWORD(-1);
}
const char* TagsFn(void* self, DWORD type) {
  auto* d = static_cast<WmaDecoder*>(self);
  if (type == BASS_TAG_WMA) return d->tags.c_str();
  // Script-command metadata (BASS_TAG_WMA_META) only arrives in broadcasts; files have none.
  if (type == BASS_TAG_WMA_META) return nullptr;
  return d->inner.funcs->tags ? d->inner.funcs->tags(d->inner.self, type) : nullptr;
}
QWORD FilePositionFn(void* self, DWORD mode) {
  auto* d = static_cast<WmaDecoder*>(self);
  // A local file is always wholly available.
  if (mode == BASS_FILEPOS_WMA_BUFFER) return 100;
  return d->inner.funcs->filePosition ? d->inner.funcs->filePosition(d->inner.self, mode) : QWORD(-1);
}
void CloseFn(void* self) {
  auto* d = static_cast<WmaDecoder*>(self);
  d->inner.funcs->close(d->inner.self);
  delete d;
}
const ORV_DECODER_FUNCS kFuncs = {ReadFn, SeekFn, LengthFn, TagsFn, FilePositionFn, CloseFn};

BOOL OpenFile(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  const ORV_CORE_API* core = orvaddon::Core();
  if (!core) return FALSE;
  uint8_t head[30];
  if (core->FileRead(file, head, sizeof head) != sizeof head) return orvaddon::Fail(BASS_ERROR_FILEFORM);
  uint64_t hsize = orvwma::AsfHeaderSize(head, sizeof head);
  if (!hsize || hsize > kMaxHeader) return orvaddon::Fail(BASS_ERROR_FILEFORM);
  std::vector<uint8_t> header(static_cast<size_t>(hsize));
  std::copy(head, head + sizeof head, header.begin());
  DWORD rest = DWORD(hsize - sizeof head);
  if (core->FileRead(file, header.data() + sizeof head, rest) != rest) return orvaddon::Fail(BASS_ERROR_FILEFORM);
  orvwma::AsfInfo info;
  if (!orvwma::ParseAsfHeader(header.data(), header.size(), &info)) return orvaddon::Fail(BASS_ERROR_FILEFORM);
  if (!core->FileSeek(file, 0)) return orvaddon::Fail(BASS_ERROR_FILEFORM);
  // MP3 inside ASF reports its own type; everything else is Windows Media audio.
  DWORD ctype = info.audioFormatTag == 0x55 ? BASS_CTYPE_STREAM_WMA_MP3 : BASS_CTYPE_STREAM_WMA;
  const char* codecs = ctype == BASS_CTYPE_STREAM_WMA_MP3 ? "mp3,mp3float" : "wmav1,wmav2,wmapro,wmavoice,wmalossless";
  auto d = std::make_unique<WmaDecoder>();
  if (!core->OpenFFmpeg(file, flags, "asf", codecs, ctype, &d->inner)) return FALSE;
  // ASF packets carry no sample-exact times: the length comes from one decoding pass and seeking
  // decodes from the start.
  // Not for broadcasts or streams of unknown size: they would be read to their (far) end.
  QWORD size = core->FileSize(file);
  if (!info.broadcast && size != 0 && size != QWORD(-1)) {
    orvaddon::Reopen again{file, flags, {"asf", codecs, ctype}};
    if (!orvaddon::WrapExact(&d->inner, QWORD(-1), true, &again)) return FALSE;
  }
  if (info.fileSize == 0) info.fileSize = core->FileSize(file);
  d->tags = orvwma::AsfTagBlock(info);
  *out = d->inner;
  out->funcs = &kFuncs;
  out->self = d.release();
  return TRUE;
}

const ORV_ADDON kAddon = {ORV_ADDON_ABI, {ORVELLA_BASS_VERSION, 2, kFormats}, OpenFile, nullptr, orvaddon::ForgetCore};

}  // namespace

ORV_EXPORT const ORV_ADDON* OrvBassAddonGet(const ORV_CORE_API* core) {
  if (!core || core->abi != ORV_ADDON_ABI) return nullptr;
  orvaddon::SetCore(core);
  return &kAddon;
}
