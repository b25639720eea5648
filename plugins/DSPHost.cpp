// DSP library and module table, the play thread and its stream procedure.
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "engine/Dynamic_Bass.h"
#include "engine/EngineTypes.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "plugins/PluginCtrlState.h"

namespace plugins {

namespace {

// ---------------------------------------------------------------------------
// Fault containment for ModifySamples on the play thread: a fault while the
// flag of this thread is set jumps back to the call; any other fault goes to
// the handler that was there before.

thread_local sigjmp_buf* t_dspJump = nullptr;
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction g_previous[4];

int SignalSlot(int sig) {
  for (int i = 0; i < 4; ++i)
    if (kFaultSignals[i] == sig) return i;
  return -1;
}

void FaultHandler(int sig, siginfo_t* info, void* context) {
  if (sigjmp_buf* jump = t_dspJump) {
    t_dspJump = nullptr;
    siglongjmp(*jump, sig);
  }
  int slot = SignalSlot(sig);
  const struct sigaction& old = g_previous[slot < 0 ? 0 : slot];
  if ((old.sa_flags & SA_SIGINFO) && old.sa_sigaction) {
    old.sa_sigaction(sig, info, context);
    return;
  }
  if (old.sa_handler == SIG_IGN) return;
  if (old.sa_handler != SIG_DFL && old.sa_handler) {
    old.sa_handler(sig);
    return;
  }
  signal(sig, SIG_DFL);  // the fault repeats on return and ends the program as it would have
}

int RunGuarded(winampDSPModule* m, short* samples, int frames, int bits, int channels, int rate, bool* faulted) {
  sigjmp_buf jump;
  volatile int result = 0;
  *faulted = false;
  if (sigsetjmp(jump, 1) == 0) {
    t_dspJump = &jump;
    result = m->ModifySamples(m, samples, frames, bits, channels, rate);
    t_dspJump = nullptr;
  } else {
    t_dspJump = nullptr;
    *faulted = true;
    result = 0;
  }
  return result;
}

// How long the UI thread waits for a module call before it leaves the call
// behind. Blocks take a few milliseconds; a module that sits this long is stuck.
constexpr int kModuleWaitMs = 3000;

void PostFill() {
  THostState& h = Host();
  uint32_t tid = h.playThreadId.load();
  if (!tid || h.fillPosted.exchange(true)) return;
  if (!platform::PostThreadMessage(tid, WM_PLAYTHREAD_FILL, 0, 0)) h.fillPosted = false;
}

// ---------------------------------------------------------------------------
// Module calls. A thread that runs the active module enters a gate: it waits
// while another call is in progress or the UI thread changes modules, then
// registers its call and runs it without any lock held. The UI thread, to
// change modules, closes the gate and waits for the call in progress with an
// event wait that goes on answering sends (the module may be asking the host
// window something). A call that does not come back in time is left behind.

enum class DSPRun { kBypassed, kDone, kFaulted, kAbandoned };

// Runs the active module over a block on the calling thread. `guarded`
// contains faults (the play thread); *result is the module's answer for kDone.
DSPRun RunActiveModule(short* samples, int frames, int bits, int channels, int rate, bool guarded, int* result) {
  THostState& h = Host();
  std::shared_ptr<TDSPCall> call;
  winampDSPModule* m = nullptr;
  {
    std::unique_lock lock(h.dspMutex);
    h.dspCv.wait(lock, [&] { return !h.dspChanging && !h.dspCall; });
    int index = h.dspIndex.load();
    if (!h.dspActive || h.dspFaulted || index < 0) return DSPRun::kBypassed;
    m = h.dspModules[index];
    if (!m || !m->ModifySamples) return DSPRun::kBypassed;
    call = std::make_shared<TDSPCall>();
    call->thread = platform::GetCurrentThreadId();
    h.dspCall = call;
  }
  bool faulted = false;
  if (guarded) *result = RunGuarded(m, samples, frames, bits, channels, rate, &faulted);
  else *result = m->ModifySamples(m, samples, frames, bits, channels, rate);
  int inside = TDSPCall::kInside;
  if (!call->state.compare_exchange_strong(inside, TDSPCall::kReturned)) {
    // Left behind: the host has gone on without this call; nothing of it may be touched.
    return DSPRun::kAbandoned;
  }
  {
    std::lock_guard lock(h.dspMutex);
    h.dspCall.reset();
    if (faulted) h.dspFaulted = true;
  }
  h.dspCv.notify_all();
  call->done.Set();
  if (faulted) {
    ++h.dspFaults;
    platform::PostMessage(h.engineWindow, WM_PLUGIN_DSPERROR, 0, 0);
    return DSPRun::kFaulted;
  }
  return DSPRun::kDone;
}

// UI thread: leaves a call that has not returned behind, with its module and
// library: the module is never called again (not even Quit) and the library is
// never unloaded. Reported like a fault. False when the call returned first.
bool AbandonCall(const std::shared_ptr<TDSPCall>& call) {
  int inside = TDSPCall::kInside;
  if (!call->state.compare_exchange_strong(inside, TDSPCall::kAbandoned)) return false;
  THostState& h = Host();
  {
    std::lock_guard lock(h.dspMutex);
    if (h.dspCall == call) h.dspCall.reset();
    h.dspActive = false;
    h.dspIndex = -1;
    h.dspFaulted = false;
    h.abandonedLibraries.push_back(std::move(h.dspLib));
    h.dspLib = platform::DynamicLibrary();
    h.dspPath.clear();
    h.dspHeader = nullptr;
    h.dspModules.fill(nullptr);
    h.dspCount = 0;
  }
  h.dspCv.notify_all();
  ++h.dspFaults;
  platform::PostMessage(h.engineWindow, WM_PLUGIN_DSPERROR, 0, 0);
  return true;
}

// UI thread: waits for the module call in progress (if any), answering sends,
// at most kModuleWaitMs before leaving it behind. Returns the call left behind.
std::shared_ptr<TDSPCall> WaitForModuleCall() {
  THostState& h = Host();
  for (;;) {
    std::shared_ptr<TDSPCall> call;
    {
      std::lock_guard lock(h.dspMutex);
      call = h.dspCall;
    }
    if (!call) return nullptr;
    if (call->done.Wait(kModuleWaitMs)) continue;
    if (AbandonCall(call)) return call;
    // It returned just now: wait for it to leave the gate.
  }
}

bool LaunchPlayThread();

// UI thread: no module call runs from here to EndChange, so modules can be
// started and quit and the table changed.
void BeginChange() {
  THostState& h = Host();
  {
    std::lock_guard lock(h.dspMutex);
    h.dspChanging = true;
  }
  std::shared_ptr<TDSPCall> left = WaitForModuleCall();
  if (left && h.play && left->thread == h.play->id.load()) {
    // The play thread stays inside the module: the stream goes on with a new thread.
    std::shared_ptr<TPlayThread> old = std::move(h.play);
    old->thread.detach();
    h.playThreadId = 0;
    h.fillPosted = false;
    if (h.ptOutput.load() && LaunchPlayThread()) PostFill();
  }
}

void EndChange() {
  THostState& h = Host();
  {
    std::lock_guard lock(h.dspMutex);
    h.dspChanging = false;
  }
  h.dspCv.notify_all();
}

// The play thread's output stream procedure (audio library thread). It never
// waits: while the ring is pre-buffering or empty it asks for a fill and
// answers 0, so the stream stalls until data are there.
DWORD CALLBACK PlayStreamProc(HSTREAM, void* buffer, DWORD length, void*) {
  THostState& h = Host();
  bool ended = h.endOfInput.load(std::memory_order_acquire);
  if (h.prebuffering.load() && !ended) {
    PostFill();
    return 0;
  }
  uint32_t n, used;
  {
    std::lock_guard lock(h.ring.ReaderLock());
    n = h.ring.Read(buffer, length, uint32_t(std::max(1, h.ptBits.load() / 8 * h.ptChans.load())));
    used = h.ring.Used();
  }
  if (n < length && ended) return n | BASS_STREAMPROC_END;
  // While the ring still holds more than half its length, the fill can wait: the play thread then
  // wakes once per half a ring and fills it in a few steps, instead of waking for every read.
  if (n < length || used <= h.ring.Size() / 2) PostFill();
  return n;
}

constexpr int kFillLeftBehind = -2;

// One block from the decoding channel through the DSP module into the ring.
// 1: nothing more to do now, 0: filled, -1: the decoding channel is gone,
// kFillLeftBehind: the module kept this thread past the host's wait.
// The ring's writer lock is not held while the module runs (the UI thread
// empties the ring on seeks); a block made across an emptying is dropped.
int FillStep(TPlayThread& self) {
  THostState& h = Host();
  DWORD out = h.ptOutput.load();
  if (!out || h.endOfInput.load()) return 1;
  const int bits = h.ptBits, channels = h.ptChans, rate = h.ptRate;
  const uint32_t a = PlayBlockBytes(bits, channels, rate);
  const uint32_t frameBytes = uint32_t(bits / 8 * channels);
  engine::TBassCore& bass = *h.bass;
  uint8_t* buf = self.buffer->data();
  bool dsp;
  uint32_t b, epoch, want;
  DWORD got;
  {
    std::lock_guard writer(h.ring.WriterLock());
    if (h.endOfInput.load()) return 1;
    dsp = h.dspActive.load();
    b = dsp ? 2 * a : a;
    const uint32_t free = h.ring.Free();
    if (free <= b) return 1;
    // A module takes one block at a time, and a broadcast's late data are padded a block at a
    // time; otherwise as many whole blocks as the ring and the buffer have room for go in one
    // step (the same bytes in fewer calls and hand-overs).
    want = dsp || h.pad ? a : std::max<uint32_t>(1, std::min<uint32_t>(uint32_t(self.buffer->size()) / a, (free - 1) / a)) * a;
    epoch = h.ring.Epoch();
    got = bass.BASS_ChannelGetData(h.ptRead.load(), buf, want);
    if (got != DWORD(-1)) h.inFlight.store(got);
    if (got == DWORD(-1)) {
      h.endOfInput.store(true, std::memory_order_release);
      return bass.BASS_ErrorGetCode() == BASS_ERROR_HANDLE && !h.closing ? -1 : 1;
    }
    // A network stream whose data are late stalls: that is not its end. The output's next request
    // asks for a fill again.
    if (got == 0 && bass.BASS_ChannelIsActive(h.ptRead.load()) == BASS_ACTIVE_STALLED) return 1;
    if (got == 0) {
      h.endOfInput.store(true, std::memory_order_release);
      if (h.ptRead.load() == h.ptSource.load()) return 1;
      if (bass.BASS_ChannelGetPosition(h.ptSource.load(), BASS_POS_BYTE) != QWORD(-1)) return 1;
      return bass.BASS_ErrorGetCode() == BASS_ERROR_HANDLE && !h.closing ? -1 : 1;
    }
  }
  uint32_t f = got;
  if (h.pad && f < a) {
    std::memset(buf + f, 0, a - f);
    f = a;
  }
  uint32_t bytes = f;
  if (dsp) {
    int frames = int(f / frameBytes), result = frames;
    switch (RunActiveModule(reinterpret_cast<short*>(buf), frames, bits, channels, rate, true, &result)) {
      case DSPRun::kAbandoned:
        h.inFlight.store(0);  // the block is lost with the module
        return kFillLeftBehind;
      case DSPRun::kBypassed:  // deactivated meanwhile, or bypassed after a fault
        result = frames;
        break;
      case DSPRun::kFaulted:  // the block contributes nothing
        result = 0;
        break;
      case DSPRun::kDone:
        break;
    }
    // A module may at most double the frames: the buffer and the room asked for hold no more.
    bytes = uint32_t(std::clamp<int64_t>(result, 0, int64_t(b / frameBytes))) * frameBytes;
  }
  std::lock_guard writer(h.ring.WriterLock());
  h.inFlight.store(0);
  if (h.ring.Epoch() != epoch) {
    // Emptied for a seek or a resume while this block was in work: it belongs to before.
    PostFill();
    return 1;
  }
  if (bytes) h.ring.Write(buf, bytes);
  int status;
  if (got < want && !h.pad && bass.BASS_ChannelIsActive(h.ptRead.load()) == BASS_ACTIVE_STOPPED) {
    h.endOfInput.store(true, std::memory_order_release);
    status = 1;
  } else if (got < want && !h.pad) {
    // Short but not ended: what a network stream had so far. The next fill comes with the
    // output's next request.
    status = 1;
  } else {
    DWORD state = bass.BASS_ChannelIsActive(out);
    if ((h.prebuffering || state == BASS_ACTIVE_PLAYING || state == BASS_ACTIVE_STALLED) && h.ring.Free() > b)
      PostFill();
    status = 0;
  }
  if (h.prebuffering && (h.ring.Free() <= b || h.ring.Used() >= 2 * h.ptUnit.load())) h.prebuffering = false;
  return status;
}

void PlayThreadMain(std::shared_ptr<TPlayThread> self) {
  pthread_setname_np(pthread_self(), "play thread");  // tells profiles and per-thread figures apart
  THostState& h = Host();
  uint32_t id = platform::GetCurrentThreadId();
  self->id = id;
  h.playThreadId = id;
  self->started.Set();
  bool stop = false, leftBehind = false;
  platform::MSG m;
  while (!stop && platform::GetMessage(&m)) {
    if (m.message == platform::WM_CLOSE || m.message == platform::WM_QUIT) {
      stop = true;
    } else if (m.message == WM_PLAYTHREAD_FILL && !m.hwnd) {
      h.fillPosted = false;
      if (h.ptOutput.load()) {
        int r = FillStep(*self);
        if (r == kFillLeftBehind) {  // the host has a new thread (or none): touch nothing more
          leftBehind = true;
          break;
        }
        if (r == -1) platform::PostMessage(h.engineWindow, engine::WM_PLUGIN_DECODEFAIL, h.ptSource.load(), 0);
      }
    } else {
      platform::DispatchMessage(&m);
    }
    if (!h.ptOutput.load()) stop = true;
  }
  if (!leftBehind) {
    // The identifier is cleared only while it is still this thread's.
    uint32_t mine = id;
    h.playThreadId.compare_exchange_strong(mine, 0);
  }
  self->exited.Set();
}

// UI thread: starts a play thread for the settings in the host state and
// waits until it runs.
bool LaunchPlayThread() {
  THostState& h = Host();
  if (h.dspBuffer.use_count() > 1)  // still held by a thread left behind in a module
    h.dspBuffer = std::make_shared<std::vector<uint8_t>>(kDSPBufferSize);
  auto t = std::make_shared<TPlayThread>();
  t->buffer = h.dspBuffer;
  try {
    t->thread = std::thread(&PlayThreadMain, t);
  } catch (...) {
    return false;
  }
  h.play = t;
  t->started.Wait(-1);  // the thread reports at once; sends are answered meanwhile
  return true;
}

}  // namespace

bool RunGuardedCall(void (*fn)(void*), void* context) {
  sigjmp_buf jump;
  if (sigsetjmp(jump, 1) == 0) {
    t_dspJump = &jump;
    fn(context);
    t_dspJump = nullptr;
    return true;
  }
  t_dspJump = nullptr;
  return false;
}

void InstallFaultHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction sa {};
    sa.sa_sigaction = &FaultHandler;
    sa.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 4; ++i) sigaction(kFaultSignals[i], &sa, &g_previous[i]);
  });
}

uint32_t PlayBlockBytes(int bits, int channels, int rate) {
  uint32_t a = uint32_t(channels) * (bits <= 8 ? 576u : 1152u);
  return rate > 22050 ? 2 * a : a;
}

int DSPFaultCount() { return Host().dspFaults.load(); }

bool RunPluginGuarded(void (*call)(void*), void* arg) {
  InstallFaultHandler();
  sigjmp_buf jump;
  sigjmp_buf* const outer = t_dspJump;  // a call already guarded on this thread (a nested event loop)
  volatile bool faulted = false;
  if (sigsetjmp(jump, 1) == 0) {
    t_dspJump = &jump;
    call(arg);
  } else {
    faulted = true;
  }
  t_dspJump = outer;
  return !faulted;
}

// ---------------------------------------------------------------------------
// DSP library and modules

bool IsDSPBufferReady() { return Host().dspBuffer != nullptr; }

namespace {
bool LoadDSPLibrary(const std::string& path) {
  THostState& h = Host();
  h.dspLib.Close();
  h.dspPath.clear();
  if (!h.dspLib.Open(path)) return false;
  if (!h.dspLib.Symbol("winampDSPGetHeader2")) {
    h.dspLib.Close();
    return false;
  }
  h.dspPath = path;
  return true;
}

std::string DSPPath(const std::string& name) {
  return !name.empty() && name[0] == '/' ? name : platform::ProgramFolder() + "plugins/" + name;
}
}  // namespace

int LoadDSPPlugin(const std::string& name, winampDSPHeader** header, winampDSPModule** modules) {
  THostState& h = Host();
  std::string path = DSPPath(name);
  auto hand = [&] {
    if (header) *header = h.dspHeader;
    if (modules) std::copy(h.dspModules.begin(), h.dspModules.end(), modules);
    return h.dspCount;
  };
  if (h.dspCount > 0 && platform::LowerAscii(path) == platform::LowerAscii(h.dspPath)) return hand();
  DeactivateDSPModule();
  {
    std::lock_guard lock(h.dspMutex);
    h.dspIndex = -1;
    h.dspCount = 0;
    h.dspHeader = nullptr;
    h.dspModules.fill(nullptr);
  }
  if (!LoadDSPLibrary(path)) return hand();
  auto get = h.dspLib.Function<winampDSPGetHeaderType>("winampDSPGetHeader2");
  winampDSPHeader* hdr = get();
  std::lock_guard lock(h.dspMutex);
  h.dspHeader = hdr;
  for (int i = 0; hdr && hdr->getModule && i < kMaxDSPModules; ++i) {
    winampDSPModule* m = hdr->getModule(i);
    if (!m) break;
    m->hDllInstance = h.dspLib.Handle();
    h.dspModules[i] = m;
    h.dspCount = i + 1;
  }
  return hand();
}

int ActivateDSPModule(int index) {
  THostState& h = Host();
  if (!IsDSPBufferReady() || !h.hostWindow || h.dspCount == 0 || index < 0 || index >= h.dspCount) return -1;
  if (index == h.dspIndex && h.dspActive) return 0;
  BeginChange();
  if (index >= h.dspCount) {  // the library was left behind with a stuck call while we waited
    EndChange();
    return -1;
  }
  int old = h.dspIndex;
  bool quit = old >= 0 && h.dspActive && !h.dspFaulted;
  {
    std::lock_guard lock(h.dspMutex);
    h.dspActive = false;
    h.dspIndex = -1;
    h.dspFaulted = false;
  }
  // Quit and Init run outside the lock (the gate keeps module calls out): they may send to the host window.
  if (quit && h.dspModules[old]->Quit) h.dspModules[old]->Quit(h.dspModules[old]);
  winampDSPModule* m = h.dspModules[index];
  m->hwndParent = reinterpret_cast<HWND>(h.hostWindow);
  bool ok = m->Init && m->Init(m) == 0;
  {
    std::lock_guard lock(h.dspMutex);
    h.dspActive = ok;
    if (ok) h.dspIndex = index;
  }
  EndChange();
  return ok ? 0 : -1;
}

int DeactivateDSPModule() {
  THostState& h = Host();
  if (h.dspCount == 0) return -1;
  BeginChange();
  int index = h.dspIndex;
  // A module that faulted is not called again: its state is not to be trusted.
  bool quit = h.dspActive && index >= 0 && !h.dspFaulted;
  {
    std::lock_guard lock(h.dspMutex);
    h.dspActive = false;
    h.dspIndex = -1;
    h.dspFaulted = false;
  }
  if (quit && h.dspModules[index]->Quit) h.dspModules[index]->Quit(h.dspModules[index]);
  EndChange();
  return 0;
}

int UnloadDSPPlugin() {
  THostState& h = Host();
  if (DeactivateDSPModule() != 0) return -1;
  std::lock_guard lock(h.dspMutex);
  h.dspLib.Close();
  h.dspPath.clear();
  h.dspHeader = nullptr;
  h.dspModules.fill(nullptr);
  h.dspCount = 0;
  return 0;
}

bool IsDSPActive() { return Host().dspActive.load(); }
int ActiveDSPModule() { return Host().dspIndex.load(); }
int DSPModuleCount() { return Host().dspCount; }
std::string GetDSPLibraryName() { return Host().dspPath; }

int DSPDoSamples(short* samples, int count, int bits, int channels, int rate) {
  if (!Host().dspActive.load()) return count;
  int r = count;
  // Faults here are not contained: the input plug-in's thread is its own.
  if (RunActiveModule(samples, count, bits, channels, rate, false, &r) != DSPRun::kDone) return count;
  return r > 0 ? r : count;
}

// ---------------------------------------------------------------------------
// Play thread

DWORD StartPlayThread(DWORD readChannel, DWORD sourceChannel, int rate, bool pad, int bits, int channels) {
  THostState& h = Host();
  if (!h.ready || !h.bass) return 0;
  StopPlayThread();
  h.closing = false;
  h.pad = pad;
  bits = bits == 8 ? 8 : 16;
  HSTREAM s = h.bass->BASS_StreamCreate(DWORD(rate), DWORD(channels), bits == 8 ? BASS_SAMPLE_8BITS : 0,
                                        &PlayStreamProc, nullptr);
  if (!s) return 0;
  h.ptRate = rate;
  h.ptBits = bits;
  h.ptChans = channels;
  uint32_t unit = uint32_t(bits / 8) * uint32_t(rate) * uint32_t(channels) * 2 / 10;
  // An output without a device queue (a capture whose clock runs as fast as data come) drains
  // the ring as fast as this thread fills it: a ring of seconds instead of 600 ms lets each
  // wake-up of either side do that much more work, and the two hand over that much less often.
  BASS_INFO info{};
  if (h.bass->BASS_GetInfo(&info) && info.latency == 0) unit *= 5;
  h.ptUnit = unit;
  uint32_t size = h.ring.Size();
  if ((size < 2 * unit || size > 4 * unit) && !h.ring.Resize(3 * unit)) {
    h.bass->BASS_StreamFree(s);
    return 0;
  }
  h.ptRead = readChannel;
  h.ptSource = sourceChannel;
  ResetRing();
  h.fillPosted = false;
  h.ptOutput = s;
  h.playThreadId = 0;
  if (!LaunchPlayThread()) {
    h.ptOutput = 0;
    h.bass->BASS_StreamFree(s);
    platform::ShowMessage("Unable to create Play Thread.", platform::kCaptionError, platform::MsgIcon::Error);
    return 0;
  }
  return s;
}

void StopPlayThread() {
  THostState& h = Host();
  h.closing = true;
  DWORD s = h.ptOutput.exchange(0);
  // After the free returns the library calls the stream procedure no more.
  if (s && h.bass) h.bass->BASS_StreamFree(s);
  if (std::shared_ptr<TPlayThread> t = std::move(h.play)) {
    platform::PostThreadMessage(t->id.load(), platform::WM_CLOSE, 0, 0);
    // The thread may be inside a module that asks the host something: the wait
    // answers sends, and a module that keeps it too long is left behind with it.
    bool ended = true;
    while (!t->exited.Wait(kModuleWaitMs)) {
      std::shared_ptr<TDSPCall> call;
      {
        std::lock_guard lock(h.dspMutex);
        call = h.dspCall;
      }
      // Only a module call holds the thread this long (another thread's stuck call
      // keeps it at the gate); leave that call behind and see again.
      if (call && AbandonCall(call) && call->thread == t->id.load()) {
        ended = false;
        break;
      }
    }
    if (ended) t->thread.join();
    else t->thread.detach();
  }
  h.playThreadId = 0;
}

bool PlayThreadRunning() { return Host().playThreadId.load() != 0; }

}  // namespace plugins
