// DSP library and module table, the play thread and its stream procedure.
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

void PostFill() {
  THostState& h = Host();
  uint32_t tid = h.playThreadId.load();
  if (!tid || h.fillPosted.exchange(true)) return;
  if (!platform::PostThreadMessage(tid, WM_PLAYTHREAD_FILL, 0, 0)) h.fillPosted = false;
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
  uint32_t n;
  {
    std::lock_guard lock(h.ring.ReaderLock());
    n = h.ring.Read(buffer, length, uint32_t(std::max(1, h.ptBits.load() / 8 * h.ptChans.load())));
  }
  if (n < length && ended) return n | BASS_STREAMPROC_END;
  PostFill();
  return n;
}

// One block from the decoding channel through the DSP module into the ring.
// 1: nothing more to do now, 0: filled, -1: the decoding channel is gone.
int FillStep() {
  THostState& h = Host();
  DWORD out = h.ptOutput.load();
  if (!out || h.endOfInput.load()) return 1;
  std::unique_lock writer(h.ring.WriterLock());
  if (h.endOfInput.load()) return 1;
  const int bits = h.ptBits, channels = h.ptChans, rate = h.ptRate;
  const uint32_t a = PlayBlockBytes(bits, channels, rate);
  const bool dsp = h.dspActive.load();
  const uint32_t b = dsp ? 2 * a : a;
  if (h.ring.Free() <= b) return 1;
  engine::TBassCore& bass = *h.bass;
  uint8_t* buf = h.dspBuffer.data();
  DWORD got = bass.BASS_ChannelGetData(h.ptRead.load(), buf, a);
  if (got == DWORD(-1)) {
    h.endOfInput.store(true, std::memory_order_release);
    return bass.BASS_ErrorGetCode() == BASS_ERROR_HANDLE && !h.closing ? -1 : 1;
  }
  if (got == 0) {
    h.endOfInput.store(true, std::memory_order_release);
    if (h.ptRead.load() == h.ptSource.load()) return 1;
    if (bass.BASS_ChannelGetPosition(h.ptSource.load(), BASS_POS_BYTE) != QWORD(-1)) return 1;
    return bass.BASS_ErrorGetCode() == BASS_ERROR_HANDLE && !h.closing ? -1 : 1;
  }
  uint32_t f = got;
  if (h.pad && f < a) {
    std::memset(buf + f, 0, a - f);
    f = a;
  }
  uint32_t bytes = f;
  const uint32_t frameBytes = uint32_t(bits / 8 * channels);
  if (dsp) {
    bool faulted = false;
    int result = 0;
    h.dspMutex.lock();
    int index = h.dspIndex.load();
    winampDSPModule* m = h.dspActive && !h.dspFaulted && index >= 0 ? h.dspModules[index] : nullptr;
    if (m && m->ModifySamples) {
      result = RunGuarded(m, reinterpret_cast<short*>(buf), int(f / frameBytes), bits, channels, rate, &faulted);
    } else {
      result = int(f / frameBytes);  // deactivated meanwhile, or bypassed after a fault
    }
    h.dspMutex.unlock();
    if (faulted) {
      h.dspFaulted = true;
      ++h.dspFaults;
      platform::PostMessage(h.engineWindow, WM_PLUGIN_DSPERROR, 0, 0);
    }
    // A module may at most double the frames: the buffer and the room asked for hold no more.
    bytes = uint32_t(std::clamp<int64_t>(result, 0, int64_t(b / frameBytes))) * frameBytes;
  }
  if (bytes) h.ring.Write(buf, bytes);
  int status;
  if (got < a && !h.pad) {
    h.endOfInput.store(true, std::memory_order_release);
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

void PlayThreadMain() {
  THostState& h = Host();
  h.playThreadId = platform::GetCurrentThreadId();
  bool stop = false;
  platform::MSG m;
  while (!stop && platform::GetMessage(&m)) {
    if (m.message == platform::WM_CLOSE || m.message == platform::WM_QUIT) {
      stop = true;
    } else if (m.message == WM_PLAYTHREAD_FILL && !m.hwnd) {
      h.fillPosted = false;
      if (h.ptOutput.load() && FillStep() == -1)
        platform::PostMessage(h.engineWindow, engine::WM_PLUGIN_DECODEFAIL, h.ptSource.load(), 0);
    } else {
      platform::DispatchMessage(&m);
    }
    if (!h.ptOutput.load()) stop = true;
  }
  h.playThreadId = 0;
}

}  // namespace

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

// ---------------------------------------------------------------------------
// DSP library and modules

bool IsDSPBufferReady() { return !Host().dspBuffer.empty(); }

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
  // The lock keeps every ModifySamples call out while modules change.
  std::lock_guard lock(h.dspMutex);
  int old = h.dspIndex;
  if (old >= 0 && h.dspActive && !h.dspFaulted && h.dspModules[old]->Quit) h.dspModules[old]->Quit(h.dspModules[old]);
  h.dspActive = false;
  h.dspIndex = -1;
  h.dspFaulted = false;
  winampDSPModule* m = h.dspModules[index];
  m->hwndParent = reinterpret_cast<HWND>(h.hostWindow);
  bool ok = m->Init && m->Init(m) == 0;
  h.dspActive = ok;
  if (!ok) return -1;
  h.dspIndex = index;
  return 0;
}

int DeactivateDSPModule() {
  THostState& h = Host();
  if (h.dspCount == 0) return -1;
  std::lock_guard lock(h.dspMutex);
  int index = h.dspIndex;
  if (h.dspActive) {
    h.dspActive = false;
    // A module that faulted is not called again: its state is not to be trusted.
    if (index >= 0 && !h.dspFaulted && h.dspModules[index]->Quit) h.dspModules[index]->Quit(h.dspModules[index]);
  }
  h.dspIndex = -1;
  h.dspFaulted = false;
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
  THostState& h = Host();
  if (!h.dspActive.load()) return count;
  std::lock_guard lock(h.dspMutex);
  int index = h.dspIndex.load();
  if (!h.dspActive || h.dspFaulted || index < 0) return count;
  winampDSPModule* m = h.dspModules[index];
  int r = m && m->ModifySamples ? m->ModifySamples(m, samples, count, bits, channels, rate) : count;
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
  try {
    h.playThread = std::thread(&PlayThreadMain);
  } catch (...) {
    h.ptOutput = 0;
    h.bass->BASS_StreamFree(s);
    platform::ShowMessage("Unable to create Play Thread.", platform::kCaptionError, platform::MsgIcon::Error);
    return 0;
  }
  // Bounded wait: the thread reports itself at once.
  for (int i = 0; i < 500 && h.playThreadId.load() == 0; ++i) platform::PumpAndSleep(2);
  return s;
}

void StopPlayThread() {
  THostState& h = Host();
  h.closing = true;
  DWORD s = h.ptOutput.exchange(0);
  // After the free returns the library calls the stream procedure no more.
  if (s && h.bass) h.bass->BASS_StreamFree(s);
  if (h.playThread.joinable()) {
    // A thread just created may not have its queue yet.
    for (int i = 0; i < 1000 && h.playThreadId.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (uint32_t tid = h.playThreadId.load()) platform::PostThreadMessage(tid, platform::WM_CLOSE, 0, 0);
    h.playThread.join();
  }
  h.playThreadId = 0;
}

bool PlayThreadRunning() { return Host().playThreadId.load() != 0; }

}  // namespace plugins
