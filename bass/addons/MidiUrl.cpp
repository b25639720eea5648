// BASS_MIDI_StreamCreateURL: a MIDI file fetched whole through the core's download code (they are
// small), then played from memory. The download runs on a library thread with the network
// timeout; only http(s) addresses are fetched.
#include "AddonCore.h"
#include "bassmidi.h"

#include <cstddef>

namespace {

constexpr QWORD kMaxBytes = 64u << 20;

}  // namespace

ORV_EXPORT HSTREAM BASS_MIDI_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc,
                                             void* user, DWORD freq) {
  const ORV_CORE_API* core = orvaddon::Core();
  if (!core) return 0;
  if (!url || !*url) return orvaddon::Fail(BASS_ERROR_ILLPARAM), 0;
  if (core->size < offsetof(ORV_CORE_API, FreeDownload) + sizeof(core->FreeDownload))
    return orvaddon::Fail(BASS_ERROR_NOTAVAIL), 0;
  void* data = nullptr;
  QWORD size = 0;
  if (!core->DownloadURL(url, offset, flags, proc, user, kMaxBytes, &data, &size)) return 0;
  // Play the downloaded bytes as a memory file; the stream keeps its own parsed copy.
  HSTREAM h = size ? BASS_MIDI_StreamCreateFile(TRUE, data, 0, size, flags & ~(BASS_STREAM_STATUS | BASS_UNICODE), freq)
                   : (orvaddon::Fail(BASS_ERROR_FILEFORM), 0u);
  core->FreeDownload(data);
  return h;
}
