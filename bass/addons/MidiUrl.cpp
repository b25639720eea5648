// BASS_MIDI_StreamCreateURL: a MIDI file fetched whole with libcurl (they are small), then played
// from memory. The download procedure sees the bytes as they arrive and a NULL block at the end.
#include "AddonCore.h"
#include "bassmidi.h"

#include <curl/curl.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxBytes = 64u << 20;

struct Download {
  std::vector<uint8_t> data;
  DOWNLOADPROC* proc;
  void* user;
  bool tooBig = false;
};

size_t OnData(char* p, size_t size, size_t n, void* self) {
  auto* d = static_cast<Download*>(self);
  size_t bytes = size * n;
  if (d->data.size() + bytes > kMaxBytes) {
    d->tooBig = true;
    return 0;
  }
  d->data.insert(d->data.end(), p, p + bytes);
  if (d->proc) d->proc(p, DWORD(bytes), d->user);
  return bytes;
}

// Status lines go to the download procedure when BASS_STREAM_STATUS is asked.
size_t OnHeader(char* p, size_t size, size_t n, void* self) {
  auto* d = static_cast<Download*>(self);
  size_t bytes = size * n;
  std::string line(p, bytes);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (d->proc && !line.empty()) d->proc(line.c_str(), DWORD(line.size()), d->user);
  return bytes;
}

}  // namespace

ORV_EXPORT HSTREAM BASS_MIDI_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc,
                                             void* user, DWORD freq) {
  if (!orvaddon::Core()) return 0;
  if (!url || !*url) return orvaddon::Fail(BASS_ERROR_ILLPARAM), 0;
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  CURL* c = curl_easy_init();
  if (!c) return orvaddon::Fail(BASS_ERROR_MEM), 0;
  Download d{{}, proc, user};
  curl_easy_setopt(c, CURLOPT_URL, url);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 15L);
  curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnData);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &d);
  if (offset) curl_easy_setopt(c, CURLOPT_RESUME_FROM_LARGE, curl_off_t(offset));
  if ((flags & BASS_STREAM_STATUS) && proc) {
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &d);
  }
  CURLcode rc = curl_easy_perform(c);
  curl_easy_cleanup(c);
  if (proc) proc(nullptr, 0, user);
  if (d.tooBig) return orvaddon::Fail(BASS_ERROR_FILEFORM), 0;
  if (rc == CURLE_OPERATION_TIMEDOUT) return orvaddon::Fail(BASS_ERROR_TIMEOUT), 0;
  if (rc != CURLE_OK) return orvaddon::Fail(BASS_ERROR_FILEOPEN), 0;
  // Play the downloaded bytes as a memory file; the stream keeps its own parsed copy.
  return BASS_MIDI_StreamCreateFile(TRUE, d.data.data(), 0, d.data.size(),
                                    flags & ~(BASS_STREAM_STATUS | BASS_UNICODE), freq);
}
