#include "plugins/VisDrive2.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <cerrno>

#include "engine/EngineTypes.h"
#include "platform/DynamicLibrary.h"
#include "platform/Encoding.h"
#include "platform/MessageBox.h"
#include "plugins/Drawers.h"
#include "plugins/PluginCtrl.h"
#include "plugins/PluginCtrlState.h"

namespace plugins {

namespace {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr int kMaxModules = 8;
// Bounded waits of the UI thread on the drive thread (rounds x step ms).
constexpr int kStartWaitRounds = 100, kStartWaitMs = 30;
constexpr int kStopWaitRounds = 100, kStopWaitMs = 50;
constexpr int kSearchRounds = 100, kSearchMs = 50;
// Messages of the driver's UI-thread helper window.
constexpr UINT kMsgBox = platform::WM_APP + 40;
constexpr UINT kMsgEmbed = platform::WM_APP + 41;
constexpr UINT kMsgShowFrame = platform::WM_APP + 42;
constexpr UINT kMsgReattach = platform::WM_APP + 43;  // wParam 1: to the target in lParam, 0: back

// ---------------------------------------------------------------------------
// Built-in frames: message-layer windows with an offscreen pixel surface.

// The module holds `lock` while it draws; the UI thread reads only `shown`
// under its own lock, so a module stuck in the middle of a frame never blocks a repaint.
struct TSurface {
  std::mutex lock;
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // guarded by lock
  std::mutex shownLock;
  std::vector<uint32_t> shown;  // as last given back; guarded by shownLock
  int unlocks = 0;              // guarded by shownLock
};

class TSurfaceFrameHost : public TVisFrameHost {
 public:
  HWND CreateFrame(int width, int height, const std::string&) override {
    HWND w = platform::CreateMessageWindow(
        [](HWND h, UINT m, WPARAM wp, LPARAM lp) { return platform::DefWindowProc(h, m, wp, lp); });
    if (!w) return nullptr;
    auto s = std::make_shared<TSurface>();
    s->width = width;
    s->height = height;
    s->pixels.assign(size_t(width) * size_t(height), 0xFF000000u);
    s->shown = s->pixels;
    std::lock_guard lock(mutex_);
    frames_[w] = std::move(s);
    return w;
  }
  void DestroyFrame(HWND frame) override {
    {
      std::lock_guard lock(mutex_);
      frames_.erase(frame);
    }
    platform::DestroyWindow(frame);
  }
  void ShowFrame(HWND, bool) override {}
  unsigned long NativeWindow(HWND) override { return 0; }
  bool LockSurface(HWND frame, OrvellaVisSurface* out) override {
    std::shared_ptr<TSurface> s = Find(frame);
    if (!s || !out) return false;
    s->lock.lock();
    {
      std::lock_guard lock(mutex_);
      held_[frame] = s;  // keeps it alive while locked even if the frame goes
    }
    out->width = s->width;
    out->height = s->height;
    out->stride = s->width;
    out->pixels = s->pixels.data();
    return true;
  }
  void UnlockSurface(HWND frame) override {
    std::shared_ptr<TSurface> s;
    {
      std::lock_guard lock(mutex_);
      auto it = held_.find(frame);
      if (it == held_.end()) return;
      s = std::move(it->second);
      held_.erase(it);
    }
    {
      std::lock_guard shown(s->shownLock);
      s->shown = s->pixels;
      ++s->unlocks;
    }
    s->lock.unlock();
  }
  bool Copy(HWND frame, std::vector<uint32_t>& pixels, int& width, int& height) {
    std::shared_ptr<TSurface> s = Find(frame);
    if (!s) return false;
    std::lock_guard lock(s->shownLock);
    pixels = s->shown;
    width = s->width;
    height = s->height;
    return true;
  }
  int Unlocks(HWND frame) {
    std::shared_ptr<TSurface> s = Find(frame);
    if (!s) return 0;
    std::lock_guard lock(s->shownLock);
    return s->unlocks;
  }

 private:
  std::shared_ptr<TSurface> Find(HWND frame) {
    std::lock_guard lock(mutex_);
    auto it = frames_.find(frame);
    return it == frames_.end() ? nullptr : it->second;
  }
  std::mutex mutex_;
  std::map<HWND, std::shared_ptr<TSurface>> frames_;
  std::map<HWND, std::shared_ptr<TSurface>> held_;  // guarded by mutex_
};

TSurfaceFrameHost& BuiltInFrames() {
  static TSurfaceFrameHost* h = new TSurfaceFrameHost;  // plug-in threads may outlive statics
  return *h;
}

std::atomic<TVisFrameHost*> g_frameHost{nullptr};

// ---------------------------------------------------------------------------
// One run of the drive thread. The thread holds a reference; a run left behind
// inside a module call is kept for ever, so its library is never unloaded.

enum : int { kAlive = 0, kClosing = 1, kAbandoned = 2 };

struct TDriveRun {
  uint64_t serial = 0;
  std::string path;
  int index = -1;
  TChannelAttrb attr;
  int mode = 0;
  std::atomic<bool> attach{false}, drawer{false};

  std::thread thread;
  std::atomic<uint32_t> threadId{0};
  platform::Event started, exited;
  std::atomic<int> life{kAlive};

  // Drive thread's own, until it ends.
  platform::DynamicLibrary lib;
  std::array<winampVisModule*, kMaxModules> modules{};
  winampVisModule* active = nullptr;
  bool initialised = false, quitCalled = false;

  std::atomic<int> count{0};  // modules listed (the driver's VismodCounter)
  std::atomic<bool> stopRequested{false}, keepRunning{false}, failed{false};
  std::atomic<HWND> frame{nullptr};            // made by the embed service (UI thread)
  std::atomic<unsigned long> ownWindow{0};     // reported with query 611
  std::atomic<int> windowState{vwsNone};
  // UI thread's: the embed target, the frame's state before it was attached to
  // one, and the vis drawer's windows while the frame sits beside a drawer.
  HWND embedTarget = nullptr;
  int stateBeforeTarget = vwsNone;
  HWND drawerWindow = nullptr, drawerFrame = nullptr;
  std::atomic<bool> closedByUser{false};
  std::atomic<bool> shown{false}, visible{true};
  // Written by the drive thread before it posts codes 55 and 60.
  std::array<int32_t, 4> timing{};
  TVisPluginInfo info;
};

struct TDriver {
  HWND mainWindow = nullptr, engineWindow = nullptr, uiWindow = nullptr;
  bool ownMain = false;
  UINT dataMessage = 0;
  void* drawerLibrary = nullptr;
  TVisSharedRecord* shared = nullptr;
  int priority = 0;
  uint32_t uiThread = 0;
  TVisHostAnswers answers;
  platform::WNDPROC prevMainProc = nullptr;
  TChannelAttrb attr;  // UI thread's copy for the Winamp-like answers
  std::shared_ptr<TDriveRun> run;
  std::atomic<uint32_t> runThreadId{0};
  uint64_t serial = 0;
  uint64_t stoppedSerial = UINT64_MAX;
  std::vector<std::shared_ptr<TDriveRun>> abandoned;
  // Listing for the control window.
  platform::DynamicLibrary listLib;
  std::string listPath;
};

TDriver& D() {
  static TDriver* d = new TDriver;  // never destroyed: a left-behind thread may still look
  return *d;
}

const char* Interned(const std::string& s) { return InternedString(s); }
const char16_t* Interned16(const std::u16string& s) {
  static std::mutex m;
  static std::set<std::u16string>* pool = new std::set<std::u16string>;  // plug-ins may keep the pointers
  std::lock_guard lock(m);
  return pool->insert(s).first->c_str();
}

std::u16string Utf16(const std::string& s) {
  std::string le = platform::Utf8ToUtf16LE(s);
  std::u16string out(le.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = char16_t(uint8_t(le[2 * i]) | (uint16_t(uint8_t(le[2 * i + 1])) << 8));
  return out;
}

// Asks the UI thread to show a box (the drive thread must not).
void AskBox(const std::string& text, const std::string& caption) {
  TDriver& d = D();
  if (platform::GetCurrentThreadId() == d.uiThread || !d.uiWindow) {
    platform::ShowMessage(text, caption, platform::MsgIcon::Error);
    return;
  }
  auto* req = new std::pair<std::string, std::string>(text, caption);
  if (!platform::PostMessage(d.uiWindow, kMsgBox, 0, reinterpret_cast<LPARAM>(req))) delete req;
}

void PostToEngine(WPARAM code, LPARAM value) {
  TDriver& d = D();
  platform::PostMessage(d.engineWindow, d.dataMessage, code, value);
}

// ---------------------------------------------------------------------------
// Guarded calls into the module (drive thread).

struct TCall {
  winampVisModule* m;
  int result;
};
bool GuardedInit(winampVisModule* m, int* result) {
  TCall c{m, -1};
  bool ok = RunGuardedCall([](void* p) {
    auto* c = static_cast<TCall*>(p);
    c->result = c->m->Init ? c->m->Init(c->m) : 0;
  }, &c);
  *result = c.result;
  return ok;
}
bool GuardedRender(winampVisModule* m, int* result) {
  TCall c{m, 0};
  bool ok = RunGuardedCall([](void* p) {
    auto* c = static_cast<TCall*>(p);
    c->result = c->m->Render ? c->m->Render(c->m) : 0;
  }, &c);
  *result = c.result;
  return ok;
}
bool GuardedQuit(winampVisModule* m) {
  return RunGuardedCall([](void* p) {
    auto* m = static_cast<winampVisModule*>(p);
    if (m->Quit) m->Quit(m);
  }, m);
}

// Lists the library's modules (any thread; faults inside the library count as none).
int ListModules(platform::DynamicLibrary& lib, HWND parent, std::array<winampVisModule*, kMaxModules>& out,
                std::string* description) {
  out.fill(nullptr);
  auto get = lib.Function<winampVisGetHeaderType>("winampVisGetHeader");
  if (!get) return 0;
  struct Ctx {
    winampVisGetHeaderType get;
    HWND parent;
    std::array<winampVisModule*, kMaxModules>* out;
    int count;
    std::string description;
  } ctx{get, parent, &out, 0, {}};
  bool ok = RunGuardedCall([](void* p) {
    auto* c = static_cast<Ctx*>(p);
    winampVisHeader* h = c->get(c->parent);
    if (!h) return;
    if (h->description) c->description = h->description;
    if (!h->getModule) return;
    for (int i = 0; i < kMaxModules; ++i) {
      winampVisModule* m = h->getModule(i);
      if (!m) break;
      (*c->out)[i] = m;
      c->count = i + 1;
    }
  }, &ctx);
  if (!ok) {
    out.fill(nullptr);
    return 0;
  }
  for (int i = 0; i < ctx.count; ++i) {
    out[i]->hwndParent = reinterpret_cast<::HWND>(parent);
    out[i]->hDllInstance = lib.Handle();
  }
  if (description) *description = ctx.description;
  return ctx.count;
}

// ---------------------------------------------------------------------------
// Drive thread

void Render(TDriveRun& run) {
  TDriver& d = D();
  winampVisModule* m = run.active;
  if (!m || run.stopRequested || run.failed || run.closedByUser || !run.shown || !run.visible || !d.shared) return;
  int32_t rate, chans, specN, waveN;
  uint8_t data[4 * kVisBins];
  {
    std::lock_guard lock(d.shared->Lock);
    if (!d.shared->NewData) return;
    rate = d.shared->FrameRate;
    chans = d.shared->FrameChannels;
    specN = d.shared->SpectrumNch;
    waveN = d.shared->WaveformNch;
    std::memcpy(data, d.shared->Data, size_t(specN + waveN) * kVisBins);
    d.shared->NewData = false;  // taken: the next frame may be written while this one renders
  }
  m->sRate = rate;
  m->nCh = chans;
  for (int c = 0; c < 2; ++c) {
    if (c < specN && c < m->spectrumNch) std::memcpy(m->spectrumData[c], data + c * kVisBins, kVisBins);
    if (c < waveN && c < m->waveformNch) std::memcpy(m->waveformData[c], data + (specN + c) * kVisBins, kVisBins);
  }
  int result = 0;
  if (!GuardedRender(m, &result)) {
    run.failed = true;  // faulted: never called again
    return;
  }
  if (result != 0) {
    run.failed = true;
    run.quitCalled = true;
    GuardedQuit(m);
  }
}

void HandleCode(TDriveRun& run, WPARAM code, LPARAM value, bool* stop) {
  TDriver& d = D();
  switch (code) {
    case vcRender:
      Render(run);
      break;
    case vcClearNew:
      if (d.shared) {
        std::lock_guard lock(d.shared->Lock);
        d.shared->NewData = false;
        d.shared->ClearPending = false;
      }
      break;
    case vcHide:
    case vcShow:
      run.visible = code == vcShow;
      if (HWND f = run.frame.load()) platform::PostMessage(d.uiWindow, kMsgShowFrame, code == vcShow, LPARAM(f));
      break;
    case vcStop:
      *stop = true;
      break;
    case vcDrawer:
      // Taken by the next frame the module asks for.
      run.drawer = value != 0 && d.drawerLibrary;
      break;
    case vcAllowAttach:
      run.attach = value != 0;
      break;
    case vcReattach:
      if (value && !run.attach) break;
      platform::PostMessage(d.uiWindow, kMsgReattach, value ? 1 : 0, value);
      break;
    case vcMode:
    case vcInfo:
      if (d.shared) {
        std::lock_guard lock(d.shared->Lock);
        run.mode = d.shared->PlayerMode;
        if (code == vcInfo) {
          run.attr.SampleRate = d.shared->SampleRate;
          run.attr.BitRate = d.shared->BitRate;
          run.attr.Channels = d.shared->Channels;
          run.attr.Duration = d.shared->Duration;
          run.attr.Title = d.shared->Title;
          run.attr.FileName = d.shared->FileName;
        }
      }
      break;
    default:
      break;
  }
}

// Ends the run: quits the module, unloads the library, reports. Nothing is
// touched once the UI thread has left this run behind.
void Cleanup(TDriveRun& run) {
  int alive = kAlive;
  if (!run.life.compare_exchange_strong(alive, kClosing)) return;
  if (run.active && run.initialised && !run.failed && !run.quitCalled) {
    run.quitCalled = true;
    run.life = kAlive;  // Quit may hang: the UI thread may leave the run behind meanwhile
    GuardedQuit(run.active);
    alive = kAlive;
    if (!run.life.compare_exchange_strong(alive, kClosing)) return;
  }
  run.active = nullptr;
  run.modules.fill(nullptr);
  run.lib.Close();
  run.count = 0;
  if (!run.stopRequested) PostToEngine(vcFinished, LPARAM(run.serial));
}

void DriveMain(std::shared_ptr<TDriveRun> self) {
  TDriveRun& run = *self;
  TDriver& d = D();
  run.threadId = platform::GetCurrentThreadId();
  ApplyDrivePriority(d.priority);
  run.started.Set();
  auto end = [&] {
    Cleanup(run);
    run.exited.Set();
  };

  if (!run.lib.Open(run.path)) {
    AskBox("Failed loading vis module", platform::kCaptionError);
  } else {
    run.count = ListModules(run.lib, d.mainWindow, run.modules, nullptr);
    if (run.count == 0) run.lib.Close();
  }
  if (run.count == 0 || run.index < 0 || run.index >= run.count) {
    PostToEngine(vcShown, 0);
    return end();
  }
  winampVisModule* m = run.modules[size_t(run.index)];
  run.timing = {m->latencyMs, m->delayMs, m->spectrumNch, m->waveformNch};
  PostToEngine(vcTiming, LPARAM(run.serial));

  // Quit of another module would go here; one module runs per thread.
  m->sRate = run.attr.SampleRate;
  m->nCh = run.attr.Channels;
  run.active = m;
  int result = -1;
  bool ok = GuardedInit(m, &result);
  if (run.life.load() == kAbandoned) return;  // left behind inside Init: touch nothing
  if (!ok || result != 0) {
    run.failed = true;  // neither Render nor Quit after a failed or faulted Init
    AskBox("Failed initializing vis module", platform::kCaptionError);
    PostToEngine(vcShown, 0);
    return end();
  }
  run.initialised = true;

  // The window: a frame from the embed service, or the module's own reported window.
  for (int i = 0; i < kSearchRounds && !run.stopRequested; ++i) {
    if (run.frame.load() || run.ownWindow.load()) break;
    if (!platform::PumpAndSleep(kSearchMs)) break;
  }
  if (run.stopRequested || run.closedByUser || (!run.frame.load() && !run.ownWindow.load())) {
    if (!run.stopRequested && !run.closedByUser) PostToEngine(vcShown, 0);
    return end();
  }
  run.info.ThreadId = run.threadId;
  run.info.VisWindow = run.frame.load();
  run.info.WindowState = uint8_t(run.windowState.load());
  run.info.PluginPath = run.path.c_str();
  run.info.ModuleIndex = uint16_t(run.index);
  run.info.FirstShow = 1;
  run.shown = true;
  PostToEngine(vcShown, LPARAM(run.serial));

  platform::MSG msg;
  bool stop = false;
  while (!stop) {
    if (!platform::GetMessage(&msg)) {
      if (run.keepRunning) continue;
      break;
    }
    if (!msg.hwnd && msg.message == d.dataMessage) {
      HandleCode(run, msg.wParam, msg.lParam, &stop);
    } else if (msg.message == platform::WM_CLOSE && !msg.hwnd) {
      if (!run.keepRunning) stop = true;
    } else {
      platform::DispatchMessage(&msg);
    }
  }
  end();
}

// ---------------------------------------------------------------------------
// Embed-window service (answered on the UI thread)

HWND MakeEmbedFrame(embedWindowState* state) {
  TDriver& d = D();
  std::shared_ptr<TDriveRun> run = d.run;
  if (!run || run->stopRequested) return nullptr;
  int w = 320, h = 240;
  if (state && state->right - state->left > 0 && state->bottom - state->top > 0) {
    w = state->right - state->left;
    h = state->bottom - state->top;
  }
  if (HWND existing = run->frame.load()) {
    if (state && !state->me) state->me = reinterpret_cast<::HWND>(existing);
    return existing;
  }
  // Where Winamp puts a new frame: above the main window, else centred on the screen.
  TMainGeometry g = MainGeometry();
  int x = g.exists ? g.x : (g.screenWidth - w) / 2;
  int y = g.exists ? g.y - h - 34 : (g.screenHeight - h) / 2;
  HWND drawer = nullptr, drawerFrame = nullptr;
  const TVisDrawerLib* vis = VisDrawerLib();
  if (!run->embedTarget && run->drawer && vis) {
    // The drawer library's frame, docked to the main window. The module still
    // draws in a frame of ours: its pixels cannot go into another library's window.
    const TMiniBrowserLib* mb = MiniBrowserLib();
    ::HWND out = nullptr;
    drawer = reinterpret_cast<HWND>(vis->RunVisDrawer(reinterpret_cast<::HWND>(d.mainWindow), x, y, w, h, 2,
                                                      mb ? mb->subclassValue : 0, vis->handle, &out));
    drawerFrame = reinterpret_cast<HWND>(out);
    if (drawer && mb) {
      intptr_t value = 0;
      mb->AddMagneticWindow(reinterpret_cast<::HWND>(drawer), reinterpret_cast<::HWND>(d.mainWindow), &value);
    }
  }
  HWND frame = VisFrameHost()->CreateFrame(w, h, "Embed target");
  if (!frame) {
    if (drawer) vis->QuitVisDrawer();
    return nullptr;
  }
  if (state && !state->me) state->me = reinterpret_cast<::HWND>(frame);
  run->frame = frame;
  if (drawer) {
    run->drawerWindow = drawer;
    run->drawerFrame = drawerFrame;
    run->windowState = vwsDrawer;
  } else {
    run->windowState = vwsGenFrame;
  }
  if (run->embedTarget && VisFrameHost()->AttachFrame(frame, run->embedTarget)) {
    run->stateBeforeTarget = run->windowState.load();
    run->windowState = vwsEmbedTarget;
    return frame;
  }
  VisFrameHost()->ShowFrame(frame, true);
  return frame;
}

// Takes the run's frame down (UI thread): out of its embed target, the drawer told.
void DestroyRunFrame(TDriveRun& run) {
  HWND f = run.frame.exchange(nullptr);
  if (!f) return;
  if (run.windowState.load() == vwsEmbedTarget) VisFrameHost()->AttachFrame(f, nullptr);
  VisFrameHost()->DestroyFrame(f);
  if (run.drawerWindow) {
    if (const TVisDrawerLib* vis = VisDrawerLib()) vis->QuitVisDrawer();
    run.drawerWindow = run.drawerFrame = nullptr;
  }
  run.windowState = vwsNone;
}

// Moves the module's frame into an embed target, or back to where it was (UI thread).
void Reattach(const std::shared_ptr<TDriveRun>& run, HWND target) {
  TDriver& d = D();
  HWND f = run ? run->frame.load() : nullptr;
  if (!f || run->stopRequested || run->closedByUser) return;
  if (target) {
    if (!platform::IsWindow(target) || !VisFrameHost()->AttachFrame(f, target)) return;
    if (run->windowState.load() != vwsEmbedTarget) run->stateBeforeTarget = run->windowState.load();
    run->embedTarget = target;
    run->windowState = vwsEmbedTarget;
    VisFrameHost()->ShowFrame(f, false);
  } else if (run->windowState.load() == vwsEmbedTarget) {
    VisFrameHost()->AttachFrame(f, nullptr);
    run->windowState = run->stateBeforeTarget;
    VisFrameHost()->ShowFrame(f, run->visible.load());
  }
  if (!run->shown.load()) return;  // not announced yet: the first notice carries the state
  run->info.VisWindow = f;
  run->info.WindowState = uint8_t(run->windowState.load());
  run->info.FirstShow = 0;
  platform::PostMessage(d.engineWindow, d.dataMessage, vcReattached, LPARAM(run->serial));
}

// The service function modules call; safe from any thread (it forwards to the UI thread).
::HWND EmbedService(embedWindowState* state) {
  TDriver& d = D();
  if (platform::GetCurrentThreadId() == d.uiThread) return reinterpret_cast<::HWND>(MakeEmbedFrame(state));
  if (!d.uiWindow) return nullptr;
  return reinterpret_cast<::HWND>(platform::SendMessage(d.uiWindow, kMsgEmbed, 0, reinterpret_cast<LPARAM>(state)));
}

LRESULT UiWindowProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case kMsgBox: {
      std::unique_ptr<std::pair<std::string, std::string>> req(reinterpret_cast<std::pair<std::string, std::string>*>(l));
      platform::ShowMessage(req->first, req->second, platform::MsgIcon::Error);
      return 0;
    }
    case kMsgEmbed:
      return reinterpret_cast<LRESULT>(MakeEmbedFrame(reinterpret_cast<embedWindowState*>(l)));
    case kMsgReattach:
      Reattach(D().run, w ? reinterpret_cast<HWND>(l) : nullptr);
      return 0;
    case kMsgShowFrame: {
      HWND f = reinterpret_cast<HWND>(l);
      std::shared_ptr<TDriveRun> run = D().run;
      if (run && run->frame.load() == f) VisFrameHost()->ShowFrame(f, w != 0);
      return 0;
    }
    default:
      return platform::DefWindowProc(h, msg, w, l);
  }
}

// The Winamp-like procedure the main window gets while a module runs.
LRESULT VisWinampProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  bool handled = false;
  LRESULT r = VisWinampAnswer(h, msg, w, l, &handled);
  if (handled) return r;
  platform::WNDPROC prev = D().prevMainProc;
  return prev ? platform::CallWindowProc(prev, h, msg, w, l) : platform::DefWindowProc(h, msg, w, l);
}

void RestoreMainProc() {
  TDriver& d = D();
  // Only when still ours: a module may have subclassed it in turn (our procedure then passes everything on).
  if (d.mainWindow && platform::GetWindowProc(d.mainWindow) == &VisWinampProc && d.prevMainProc)
    platform::SetWindowProc(d.mainWindow, d.prevMainProc);
}

void PostRequest(WPARAM request) { platform::PostMessage(D().engineWindow, engine::WM_PLUGIN_REQUEST, request, 0); }

std::string WindowText() {
  THostState& h = Host();
  const std::string& title = D().attr.Title;
  std::string n = std::to_string(h.listPosition + 1);
  if (title.size() < 3) return n + ". ZOZUZivade - Winamp";
  return n + ". " + title + " - Winamp";
}

bool Forget(TDriveRun& run) {
  int alive = kAlive;
  if (!run.life.compare_exchange_strong(alive, kAbandoned)) return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Exports for modules (found with dlsym; any thread)

extern "C" {
__attribute__((visibility("default"))) unsigned long OrvellaVisFrameNativeWindow(::HWND frame) {
  return VisFrameHost()->NativeWindow(reinterpret_cast<HWND>(frame));
}
__attribute__((visibility("default"))) int OrvellaVisFrameLockSurface(::HWND frame, OrvellaVisSurface* surface) {
  return VisFrameHost()->LockSurface(reinterpret_cast<HWND>(frame), surface) ? 1 : 0;
}
__attribute__((visibility("default"))) void OrvellaVisFrameUnlockSurface(::HWND frame) {
  VisFrameHost()->UnlockSurface(reinterpret_cast<HWND>(frame));
}
}

void SetVisFrameHost(TVisFrameHost* host) { g_frameHost = host; }
TVisFrameHost* BuiltInVisFrameHost() { return &BuiltInFrames(); }
TVisFrameHost* VisFrameHost() {
  TVisFrameHost* h = g_frameHost.load();
  return h ? h : &BuiltInFrames();
}
bool CopyVisFrameSurface(HWND frame, std::vector<uint32_t>& pixels, int& width, int& height) {
  return BuiltInFrames().Copy(frame, pixels, width, height);
}
int VisFrameSurfaceUnlocks(HWND frame) { return BuiltInFrames().Unlocks(frame); }

// ---------------------------------------------------------------------------
// Answers of the Winamp-like window

LRESULT VisWinampAnswer(HWND, UINT msg, WPARAM w, LPARAM l, bool* handled) {
  TDriver& d = D();
  THostState& h = Host();
  *handled = true;
  const int mode = h.mode.load();
  const bool playing = mode == 3, paused = mode == 4;
  switch (msg) {
    case WM_GETTEXT: {
      if (w == 0 || !l) return 0;
      std::string text = WindowText();
      size_t n = std::min(text.size(), size_t(w) - 1);
      std::memcpy(reinterpret_cast<char*>(l), text.data(), n);
      reinterpret_cast<char*>(l)[n] = 0;
      return LRESULT(n);
    }
    case WM_GETTEXTLENGTH:
      return LRESULT(WindowText().size());
    case platform::WM_COPYDATA: {
      struct CopyData {
        uintptr_t dwData;
        uint32_t cbData;
        void* lpData;
      };
      auto* cd = reinterpret_cast<const CopyData*>(l);
      if (!cd || cd->dwData != 100 || !cd->lpData || cd->cbData == 0) break;
      const char* p = static_cast<const char*>(cd->lpData);
      std::string file(p, strnlen(p, cd->cbData));
      if (file.empty()) break;
      PostToEngine(vcPlayList, reinterpret_cast<LPARAM>(Interned(file)));
      return 1;
    }
    case platform::WM_COMMAND: {
      const size_t count = h.listFiles.size();
      switch (w & 0xFFFF) {
        case 40044: if (count > 1) PostRequest(4); return 0;
        case 40048: if (count > 1) PostRequest(5); return 0;
        case 40045: if (!playing) PostRequest(6); return 1;
        case 40046: if (playing) PostRequest(7); return 3;
        case 40047: if (playing) PostRequest(8); return 0;
        case 40058: PostRequest(0); return 0;
        case 40059: PostRequest(1); return 0;
        case 40060: case 40148: if (playing) PostRequest(2); return 0;
        case 40061: case 40144: if (playing) PostRequest(3); return 0;
        default: break;
      }
      break;
    }
    case platform::WM_USER:
      switch (l) {
        case 0: return 0x5010;
        case 101: PostToEngine(vcPlayList, 0); return 0;
        case 104: return playing ? 1 : paused ? 3 : 0;
        case 105:
          if (w == 0) return playing || paused ? (d.answers.PositionMs ? d.answers.PositionMs() : 0) : -1;
          if (w == 1) return h.duration.load() / 1000;
          return 0;
        case 124: return LRESULT(h.listFiles.size());
        case 125: return h.listPosition;
        case 126:
          if (w == 0) return d.attr.SampleRate;
          if (w == 1) return d.attr.BitRate;
          if (w == 2) return d.attr.Channels;
          return 0;
        case 211: return reinterpret_cast<LRESULT>(Interned(w < h.listFiles.size() ? h.listFiles[w] : ""));
        case 212: return reinterpret_cast<LRESULT>(Interned(w < h.listTitles.size() ? h.listTitles[w] : ""));
        case 213:
          return reinterpret_cast<LRESULT>(Interned16(Utf16(w < h.listFiles.size() ? h.listFiles[w] : "")));
        case 214:
          return reinterpret_cast<LRESULT>(Interned16(Utf16(w < h.listTitles.size() ? h.listTitles[w] : "")));
        case 334: return AnswerHostQuery(0, 334);
        case 505:
          if (w == 0) return reinterpret_cast<LRESULT>(&EmbedService);
          return reinterpret_cast<LRESULT>(MakeEmbedFrame(reinterpret_cast<embedWindowState*>(w)));
        case 611: {
          std::shared_ptr<TDriveRun> run = d.run;
          if (!run) return 0;
          if (w) {
            if (!run->frame.load() && !run->ownWindow.load() && !run->stopRequested) {
              // Where the program can, the module's window goes into a frame of ours, so
              // hiding, showing and closing it by hand work as for any frame.
              const unsigned long xid = static_cast<unsigned long>(w);
              if (HWND adopted = VisFrameHost()->AdoptWindow(xid, "Embed target")) {
                run->frame = adopted;
                VisFrameHost()->ShowFrame(adopted, run->visible.load());
              }
              run->ownWindow = xid;
              run->windowState = vwsOwnWindow;
            }
          } else if (run->ownWindow.load()) {
            run->ownWindow = 0;
            if (run->frame.load()) DestroyRunFrame(*run);
            run->windowState = vwsNone;
            PostToEngine(vcGone, 0);
          }
          return 0;
        }
        case 630:
          // The module hides its window to move it: the engine stops feeding it meanwhile.
          if (d.run && d.run->shown.load() && !d.run->stopRequested) PostToEngine(vcGone, 0);
          return 0;
        case 631:
          if (d.run) Reattach(d.run, w == 0 ? d.run->embedTarget : nullptr);
          return 0;
        case 3025: return reinterpret_cast<LRESULT>(h.service);
        case 3031: return reinterpret_cast<LRESULT>(Interned16(Utf16(d.attr.FileName)));
        case 3034: return reinterpret_cast<LRESULT>(Interned16(Utf16(d.attr.Title)));
        default: break;
      }
      break;
    default:
      break;
  }
  *handled = false;
  return 0;
}

// ---------------------------------------------------------------------------
// Driver operations (UI thread)

void InitVisDrive(HWND mainWindow, HWND engineWindow, UINT dataMessage, void* drawerLibrary, TVisSharedRecord* shared,
                  int threadPriority, TVisHostAnswers answers) {
  TDriver& d = D();
  d.uiThread = platform::GetCurrentThreadId();
  d.engineWindow = engineWindow;
  d.dataMessage = dataMessage;
  d.drawerLibrary = drawerLibrary;
  d.shared = shared;
  d.priority = threadPriority;
  d.answers = std::move(answers);
  d.ownMain = mainWindow == nullptr;
  d.mainWindow = mainWindow ? mainWindow
                            : platform::CreateMessageWindow([](HWND h, UINT m, WPARAM w, LPARAM l) {
                                return platform::DefWindowProc(h, m, w, l);
                              });
  d.uiWindow = platform::CreateProcWindow(&UiWindowProc);
}

void QuitVisDrive() {
  TDriver& d = D();
  if (d.run) StopDriveThread(true);
  CloseVisListing();
  if (d.uiWindow) platform::DestroyWindow(d.uiWindow);
  if (d.ownMain && d.mainWindow) platform::DestroyWindow(d.mainWindow);
  d.uiWindow = d.mainWindow = d.engineWindow = nullptr;
  d.shared = nullptr;
  d.answers = {};
  d.attr = {};
}

HWND VisMainWindow() { return D().mainWindow; }

void VisFrameCloseRequested(HWND frame) {
  TDriver& d = D();
  std::shared_ptr<TDriveRun> run = d.run;
  if (!run || !frame || run->frame.load() != frame || run->stopRequested || run->closedByUser) return;
  run->closedByUser = true;  // no more renders; Quit still comes, the module did nothing wrong
  PostToEngine(vcGone, 0);
  if (uint32_t tid = run->threadId.load()) platform::PostThreadMessage(tid, platform::WM_QUIT, 0, 0);
}

int VisWindowState() {
  std::shared_ptr<TDriveRun> run = D().run;
  return run ? run->windowState.load() : vwsNone;
}

void ApplyDrivePriority(int priority) {
  if (priority == 0) return;
  if (priority <= -15) {
    sched_param p{};
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &p) == 0) return;
    priority = -2;
  }
  priority = std::clamp(priority, -2, 2);
  const pid_t tid = pid_t(syscall(SYS_gettid));
  errno = 0;
  int base = getpriority(PRIO_PROCESS, 0);
  if (base == -1 && errno != 0) base = 0;
  // Lower levels are always granted; higher ones need a privilege and are otherwise left as they are.
  setpriority(PRIO_PROCESS, id_t(tid), std::clamp(base - priority * 5, -20, 19));
}

uint32_t DriveThreadId() { return D().runThreadId.load(); }
bool DriveThreadRunning() { return D().run != nullptr; }
int AbandonedVisLibraries() { return int(D().abandoned.size()); }

bool PostToDriveThread(WPARAM code, LPARAM value) {
  uint32_t tid = DriveThreadId();
  return tid && platform::PostThreadMessage(tid, D().dataMessage, code, value);
}

void SetVisChannelAttrb(const TChannelAttrb& attributes) { D().attr = attributes; }
const TChannelAttrb& VisChannelAttrb() { return D().attr; }

bool StartDriveThread(const std::string& path, int moduleIndex, HWND embedTarget, const TChannelAttrb& attributes,
                      int playerMode, bool attach, bool useDrawer) {
  TDriver& d = D();
  if (d.run) {
    // A previous thread still ending: give it a bounded while.
    for (int i = 0; i < kStartWaitRounds && d.run && !d.run->exited.IsSet(); ++i) platform::PumpAndSleep(kStartWaitMs);
    if (d.run && !d.run->exited.IsSet()) {
      platform::ShowMessage("Error : DriveThreadId non-zero", platform::kCaptionError, platform::MsgIcon::Error);
      return false;
    }
    if (d.run) DriveThreadFinished(d.run->serial);
  }
  if (path.empty() || moduleIndex < 0) return false;
  auto run = std::make_shared<TDriveRun>();
  run->serial = ++d.serial;
  run->path = path;
  run->index = moduleIndex;
  run->embedTarget = embedTarget && platform::IsWindow(embedTarget) ? embedTarget : nullptr;
  run->drawer = useDrawer && d.drawerLibrary;
  run->attach = attach;
  run->mode = playerMode;
  run->attr = attributes;
  d.attr = attributes;
  // The main window answers as Winamp's while the module runs.
  if (d.mainWindow && platform::GetWindowProc(d.mainWindow) != &VisWinampProc)
    d.prevMainProc = platform::SetWindowProc(d.mainWindow, &VisWinampProc);
  d.run = run;
  try {
    run->thread = std::thread(&DriveMain, run);
  } catch (...) {
    d.run.reset();
    RestoreMainProc();
    platform::ShowMessage("Error : Unable to create thread !", "Error!", platform::MsgIcon::Error);
    return false;
  }
  run->started.Wait(-1);  // reports at once; sends are answered meanwhile
  d.runThreadId = run->threadId.load();
  return true;
}

void StopDriveThread(bool final) {
  TDriver& d = D();
  std::shared_ptr<TDriveRun> run = d.run;
  uint64_t serial = run ? run->serial : 0;
  if (run) {
    run->stopRequested = true;
    const uint32_t tid = run->threadId.load();
    bool ended = run->exited.IsSet();
    if (!ended) {
      run->keepRunning = true;
      if (run->frame.load() || run->ownWindow.load()) platform::PostThreadMessage(tid, d.dataMessage, vcStop, 0);
      int i = 0;
      for (; i < kStopWaitRounds && run->count.load() != 0 && !run->exited.IsSet(); ++i)
        platform::PumpAndSleep(kStopWaitMs);
      if (run->count.load() != 0 && !run->exited.IsSet())
        platform::ShowMessage("Error : VismodCounter non-zero", platform::kCaptionError, platform::MsgIcon::Error);
      run->keepRunning = false;
      platform::PostThreadMessage(tid, platform::WM_QUIT, 0, 0);
      for (i = 0; !final && i < kStopWaitRounds && !run->exited.IsSet(); ++i) platform::PumpAndSleep(kStartWaitMs);
      ended = run->exited.IsSet();
      if (!ended && Forget(*run)) {
        // Inside Init or Quit for good: the thread and its library are left as they are.
        if (!final)
          platform::ShowMessage("Error : DriveThreadId non-zero", platform::kCaptionError, platform::MsgIcon::Error);
        run->thread.detach();
        d.abandoned.push_back(run);
      } else if (!ended) {
        run->exited.Wait(-1);  // it was closing: a moment more
        ended = true;
      }
    }
    if (ended && run->thread.joinable()) run->thread.join();
    DestroyRunFrame(*run);
    RestoreMainProc();
    d.run.reset();
    d.runThreadId = 0;
  }
  if (!final) {
    d.stoppedSerial = serial;
    platform::SendMessage(d.engineWindow, d.dataMessage, vcFinished, LPARAM(serial));
  }
}

bool DriveThreadFinished(uint64_t serial) {
  TDriver& d = D();
  if (d.run && d.run->serial == serial) {
    std::shared_ptr<TDriveRun> run = std::move(d.run);
    d.runThreadId = 0;
    if (run->thread.joinable()) run->thread.join();  // it posted its last notice on its way out
    DestroyRunFrame(*run);
    RestoreMainProc();
    return true;
  }
  if (serial == d.stoppedSerial) {
    d.stoppedSerial = UINT64_MAX;
    return true;
  }
  return false;
}

bool VisRunTiming(uint64_t serial, int32_t out[4]) {
  TDriver& d = D();
  if (!d.run || d.run->serial != serial) return false;
  for (int i = 0; i < 4; ++i) out[i] = d.run->timing[size_t(i)];
  return true;
}

bool VisRunInfo(uint64_t serial, TVisPluginInfo* out) {
  TDriver& d = D();
  if (!d.run || d.run->serial != serial || !out) return false;
  *out = d.run->info;
  return true;
}

int LoadVisPlugin(const std::string& path, HWND mainWindow, std::vector<winampVisModule*>& modules,
                  std::string* description) {
  TDriver& d = D();
  modules.clear();
  if (path != d.listPath || !d.listLib.IsOpen()) {
    CloseVisListing();
    if (!d.listLib.Open(path)) {
      platform::ShowMessage(d.listLib.LastError(), platform::kCaptionConfirm, platform::MsgIcon::Information);
      return 0;
    }
    d.listPath = path;
  }
  std::array<winampVisModule*, kMaxModules> found{};
  int n = ListModules(d.listLib, mainWindow ? mainWindow : d.mainWindow, found, description);
  modules.assign(found.begin(), found.begin() + n);
  return n;
}

void CloseVisListing() {
  TDriver& d = D();
  d.listLib.Close();
  d.listPath.clear();
}

}  // namespace plugins
