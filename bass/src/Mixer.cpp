// The mixer thread (fills and mixes playing channels into the output) and the sync thread (runs
// sync procedures when the device clock reaches them).
#include "Core.h"
#include "KeptForProcess.h"
#include "Output.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace orvbass {

uint64_t DevicePlayed() {
  Output* out = L().output.get();
  return out ? out->Played() : UINT64_MAX;
}

uint64_t DeviceWritten() {
  Output* out = L().output.get();
  return out ? out->Written() : 0;
}

static std::vector<ChannelPtr> PlayingChannels() {
  std::vector<ChannelPtr> v;
  std::lock_guard<std::mutex> lk(L().mutex);
  for (auto& [h, c] : L().channels)
    if (c->playing.load()) v.push_back(c);
  return v;
}

static void MixerLoop() {
  pthread_setname_np(pthread_self(), "bass mixer");  // tells profiles and per-thread figures apart
  Lib& lib = L();
  Output* out = lib.output.get();
  std::vector<float> mix;
  bool held = false;  // waiting for whole blocks (since heldSince)
  std::chrono::steady_clock::time_point heldSince{};
  uint64_t seen = 0;  // wake-ups counted when this pass began
  // Sleeps until "secs" have passed or a wake-up came since the pass began (one that came while
  // the pass looked at the output is not lost: the output's request may be the only one for a while).
  auto waitFor = [&](double secs) {
    std::unique_lock<std::mutex> lk(lib.mixMutex);
    lib.mixWake.wait_for(lk, std::chrono::duration<double>(std::clamp(secs, 0.0005, 0.2)),
                         [&] { return lib.mixQuit || lib.mixWakes != seen; });
    return !lib.mixQuit;
  };
  for (;;) {
    {
      std::lock_guard<std::mutex> lk(lib.mixMutex);
      if (lib.mixQuit) break;
      seen = lib.mixWakes;
    }
    auto list = PlayingChannels();
    if (list.empty()) {
      // Nothing plays until a channel is played, which wakes this thread: a player left stopped
      // or paused costs no wake-ups.
      out->Idle();
      std::unique_lock<std::mutex> lk(lib.mixMutex);
      lib.mixWake.wait(lk, [&] { return lib.mixQuit || lib.mixWakes != seen; });
      if (lib.mixQuit) break;
      continue;
    }
    uint32_t room = out->Room();
    if (room < out->Period()) {
      // A little past the moment the room is there, so one wake-up does one block.
      if (!waitFor(out->SecondsUntilRoom(out->Period()) + 0.001)) break;
      continue;
    }
    const uint32_t period = out->Block(room);
    auto t0 = std::chrono::steady_clock::now();
    if (out->Unlimited()) {
      // A clock without limit outruns a stream fed by another thread: a block of what has come so
      // far would be short, and the next pass would find little more, so every block would cost a
      // hand-over. Wait a moment for whole blocks instead; data that stays late is mixed as it is
      // after a while.
      bool ready = true;
      for (auto& c : list) {
        std::lock_guard<std::recursive_mutex> lk(c->mutex);
        if (!c->alive || c->state != Channel::State::Playing || c->locked || c->endReached) continue;
        if (!ChannelBlockReady(*c, period, lib.outFreq)) {
          ready = false;
          break;
        }
      }
      if (ready) {
        held = false;
      } else if (!held || t0 - heldSince < std::chrono::milliseconds(20)) {
        if (!held) heldSince = t0;
        held = true;
        // 1 ms: a producing thread makes several blocks meanwhile, so this thread wakes (and
        // preempts it) less often; a queue of seconds in front of it does not fill that soon.
        if (!waitFor(0.001)) break;
        continue;
      } else {
        held = false;
      }
    }
    uint64_t dev = out->Written(), played = out->Played();
    mix.assign(size_t(period) * 2, 0.0f);
    bool anyData = false, anyStalled = false;
    uint32_t produced = 0;
    uint64_t drainUntil = 0;
    std::vector<ChannelPtr> autofree;
    for (auto& c : list) {
      std::lock_guard<std::recursive_mutex> lk(c->mutex);
      if (!c->alive || c->state != Channel::State::Playing) continue;
      if (!c->locked && !c->endReached) {
        float g = float((c->isMusic ? lib.gvolMusic.load() : lib.gvolStream.load()) / 10000.0);
        uint32_t n = ChannelMix(*c, mix.data(), period, dev, lib.outFreq, g);
        produced = std::max(produced, n);
        if (n > 0) anyData = true;
        if (c->stalled) anyStalled = true;
      }
      if (c->endReached) {
        if (played >= c->endDevFrame) {
          c->state = Channel::State::Stopped;
          c->playing = false;
          if (c->flags & BASS_STREAM_AUTOFREE) autofree.push_back(c);
        } else {
          drainUntil = std::max(drainUntil, c->endDevFrame);
        }
      }
      ChannelTrim(*c, played);
    }
    for (auto& c : autofree) FreeChannel(c->handle, false, false);
    if (!anyData && (out->Unlimited() || !anyStalled)) {
      // Nothing to hear: let queued sound drain (or wait for a stalled stream) without writing.
      double secs = drainUntil > played ? double(drainUntil - played) / lib.outFreq : 0.002;
      out->Idle();
      if (!waitFor(std::min(secs, 0.01))) break;
      continue;
    }
    // A stream that ended mid-block is followed by nothing: only a stalled stream (whose data is
    // late) makes the device play silence.
    uint32_t frames = (anyStalled && !out->Unlimited()) ? period : produced;
    float master = lib.masterVolume.load();
    if (master != 1.0f)
      for (auto& s : mix) s *= master;
    out->Write(mix.data(), frames);
    SyncWake();
    double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    lib.cpu.store(float(100.0 * spent * lib.outFreq / period));
  }
}

void MixerStart() {
  Lib& lib = L();
  {
    std::lock_guard<std::mutex> lk(lib.mixMutex);
    lib.mixQuit = false;
  }
  lib.mixer = std::thread(MixerLoop);
}

void MixerStop() {
  Lib& lib = L();
  {
    std::lock_guard<std::mutex> lk(lib.mixMutex);
    lib.mixQuit = true;
  }
  lib.mixWake.notify_all();
  if (lib.mixer.joinable()) lib.mixer.join();
}

void MixerWake() {
  Lib& lib = L();
  {
    std::lock_guard<std::mutex> lk(lib.mixMutex);
    ++lib.mixWakes;
  }
  lib.mixWake.notify_all();
}


// ---------------------------------------------------------------------------------------------
namespace {

struct Pending {
  uint64_t dev;
  uint64_t seq;
  std::weak_ptr<Channel> ch;
  Sync sync;
  DWORD data;
  uint32_t gen;
};

struct SyncQueue {
  std::mutex m;
  std::condition_variable cv;      // work or quit
  std::condition_variable idle;    // a callback finished
  std::vector<Pending> items;      // kept sorted by (dev, seq)
  uint64_t seq = 0;
  bool quit = false;
  Channel* running = nullptr;
  std::thread::id threadId;
  std::thread thread;
};

SyncQueue& Q() {
  static SyncQueue* q = KeptForProcess(new SyncQueue);  // never destroyed, like the library state
  return *q;
}

bool SyncStillSet(Channel& c, HSYNC h) {
  for (auto& s : c.syncs)
    if (s.handle == h) return true;
  return false;
}

void SyncLoop() {
  pthread_setname_np(pthread_self(), "bass sync");
  SyncQueue& q = Q();
  std::unique_lock<std::mutex> lk(q.m);
  q.threadId = std::this_thread::get_id();
  while (!q.quit) {
    if (q.items.empty()) {
      q.cv.wait(lk);
      continue;
    }
    Pending& front = q.items.front();
    lk.unlock();
    uint64_t played = DevicePlayed();
    lk.lock();
    if (q.items.empty()) continue;
    if (q.items.front().dev > played) {
      double secs = double(q.items.front().dev - played) / std::max<DWORD>(L().outFreq, 1);
      q.cv.wait_for(lk, std::chrono::duration<double>(std::clamp(secs, 0.001, 0.05)));
      continue;
    }
    (void)front;
    Pending p = q.items.front();
    q.items.erase(q.items.begin());
    ChannelPtr ch = p.ch.lock();
    if (!ch || !ch->alive.load() || ch->generation.load() != p.gen) continue;
    q.running = ch.get();
    lk.unlock();
    bool run = false;
    {
      std::lock_guard<std::recursive_mutex> cl(ch->mutex);
      if (ch->alive.load() && SyncStillSet(*ch, p.sync.handle)) {
        run = true;
        if (p.sync.onetime) RemoveSyncLocked(*ch, p.sync.handle);
      }
    }
    // The procedure runs without the channel lock: it may free the channel or post and wait.
    if (run) p.sync.proc(p.sync.handle, ch->handle, p.data, p.sync.user);
    lk.lock();
    q.running = nullptr;
    q.idle.notify_all();
  }
  q.threadId = std::thread::id();
}

}  // namespace

void SyncThreadStart() {
  SyncQueue& q = Q();
  {
    std::lock_guard<std::mutex> lk(q.m);
    q.quit = false;
    q.items.clear();
  }
  q.thread = std::thread(SyncLoop);
}

void SyncThreadStop() {
  SyncQueue& q = Q();
  {
    std::lock_guard<std::mutex> lk(q.m);
    q.quit = true;
  }
  q.cv.notify_all();
  if (q.thread.joinable()) q.thread.join();
  std::lock_guard<std::mutex> lk(q.m);
  q.items.clear();
}

void ScheduleSync(const ChannelPtr& ch, const Sync& s, DWORD data, uint64_t devFrame) {
  SyncQueue& q = Q();
  {
    std::lock_guard<std::mutex> lk(q.m);
    Pending p{devFrame, q.seq++, ch, s, data, ch->generation.load()};
    auto it = std::upper_bound(q.items.begin(), q.items.end(), p,
                               [](const Pending& a, const Pending& b) { return a.dev < b.dev; });
    q.items.insert(it, p);
  }
  q.cv.notify_all();
}

void SyncWake() {
  SyncQueue& q = Q();
  {
    std::lock_guard<std::mutex> lk(q.m);
    if (q.items.empty()) return;  // nothing due: let the sync thread sleep
  }
  q.cv.notify_all();
}

void WaitForChannelCallbacks(Channel* ch) {
  SyncQueue& q = Q();
  std::unique_lock<std::mutex> lk(q.m);
  if (std::this_thread::get_id() == q.threadId) return;
  q.idle.wait(lk, [&] { return q.running != ch; });
}

bool OnLibraryThread() {
  auto me = std::this_thread::get_id();
  if (L().mixer.get_id() == me) return true;
  std::lock_guard<std::mutex> lk(Q().m);
  return Q().threadId == me;
}

}  // namespace orvbass
