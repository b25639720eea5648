// Streams fed by the application: a stream procedure, or data pushed with BASS_StreamPutData.
#include "Core.h"

#include <cstring>
#include <deque>

namespace orvbass {
namespace {

struct UserStream {
  STREAMPROC* proc = nullptr;
  void* user = nullptr;
  HSTREAM handle = 0;  // set when the channel exists
  bool push = false;
  std::deque<uint8_t> queue;  // push streams
  bool pushEnded = false;
  bool dummy = false;
  int frameBytes = 4;
};

DWORD UsRead(void* self, void* buffer, DWORD length, BOOL* ended) {
  auto* u = static_cast<UserStream*>(self);
  if (u->dummy) {
    *ended = TRUE;
    return 0;
  }
  if (u->push) {
    DWORD n = DWORD(std::min<size_t>(u->queue.size(), length));
    n -= n % DWORD(u->frameBytes);
    std::copy(u->queue.begin(), u->queue.begin() + n, static_cast<uint8_t*>(buffer));
    u->queue.erase(u->queue.begin(), u->queue.begin() + n);
    if (u->pushEnded && u->queue.size() < size_t(u->frameBytes)) *ended = TRUE;
    return n;
  }
  DWORD r = u->proc(u->handle, buffer, length, u->user);
  if (r & BASS_STREAMPROC_END) *ended = TRUE;
  r &= ~BASS_STREAMPROC_END;
  if (r > length) r = length;  // a procedure claiming more than asked is not trusted
  return r;
}

void UsClose(void* self) { delete static_cast<UserStream*>(self); }

const ORV_DECODER_FUNCS kUserFuncs = {UsRead, nullptr, nullptr, nullptr, nullptr, UsClose};

}  // namespace

bool MakeUserStream(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc, void* user, ORV_DECODER* out) {
  if (freq < 1 || freq > 384000) return SetError(BASS_ERROR_FORMAT);
  if (chans < 1 || chans > 8) return SetError(BASS_ERROR_FORMAT);
  auto* u = new UserStream;
  u->proc = proc;
  u->user = user;
  u->push = proc == STREAMPROC_PUSH;
  u->dummy = proc == STREAMPROC_DUMMY;
  if (u->dummy && !(flags & BASS_STREAM_DECODE)) {
    // A dummy stream only makes sense for DSP on data given through GetData: not supported.
    delete u;
    return SetError(BASS_ERROR_NOTAVAIL);
  }
  SampleFmt f = FmtOfFlags(flags);
  u->frameBytes = BytesOf(f) * int(chans);
  out->funcs = &kUserFuncs;
  out->self = u;
  out->freq = freq;
  out->chans = chans;
  out->flags = flags & (BASS_SAMPLE_8BITS | BASS_SAMPLE_FLOAT);
  if (out->flags == (BASS_SAMPLE_8BITS | BASS_SAMPLE_FLOAT)) out->flags = BASS_SAMPLE_FLOAT;
  out->ctype = BASS_CTYPE_STREAM;
  out->origres = 0;
  return true;
}

// The channel keeps its handle in the user stream once registered.
void BindUserStream(Channel& c) {
  if (c.dec.funcs != &kUserFuncs) return;
  auto* u = static_cast<UserStream*>(c.dec.self);
  u->handle = c.handle;
  c.unlockedReads = !u->push && !u->dummy;
}

DWORD PushData(Channel& c, const void* data, DWORD length) {
  if (c.dec.funcs != &kUserFuncs || !static_cast<UserStream*>(c.dec.self)->push)
    return Fail<DWORD>(BASS_ERROR_NOTAVAIL, DWORD(-1));
  auto* u = static_cast<UserStream*>(c.dec.self);
  if (u->pushEnded) return Fail<DWORD>(BASS_ERROR_ENDED, DWORD(-1));
  bool end = (length & BASS_STREAMPROC_END) != 0;
  length &= ~BASS_STREAMPROC_END;
  if (length && !data) return Fail<DWORD>(BASS_ERROR_ILLPARAM, DWORD(-1));
  auto* p = static_cast<const uint8_t*>(data);
  u->queue.insert(u->queue.end(), p, p + length);
  if (end) u->pushEnded = true;
  c.stalled = false;
  SetError(BASS_OK);
  return DWORD(u->queue.size());
}

}  // namespace orvbass
