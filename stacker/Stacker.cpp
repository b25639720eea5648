#include "stacker/Stacker.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <new>
#include <thread>

#include "stacker/FaultGuard.h"
#include "stacker/Texts.h"

namespace pilvo {

namespace {

constexpr uint32_t kWmQuit = 0x0012;

winampDSPModule* M2(void* m) { return static_cast<winampDSPModule*>(m); }
winampDSPModule1* M1(void* m) { return static_cast<winampDSPModule1*>(m); }

const char* DescriptionOf(int kind, void* module) {
  const char* d = nullptr;
  if (module) d = kind == kKind1 ? M1(module)->description : M2(module)->description;
  return d ? d : "";
}

bool StartsWith(const char* s, const char* prefix) { return s && std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// The host program's message functions, when it exports them (a configuration
// thread gets a queue so it can be asked to quit).
using PostThreadMessageFn = int (*)(uint32_t, uint32_t, uintptr_t, intptr_t);
using GetCurrentThreadIdFn = uint32_t (*)();
PostThreadMessageFn HostPostThreadMessage() {
  static auto f = reinterpret_cast<PostThreadMessageFn>(dlsym(RTLD_DEFAULT, "PostThreadMessage"));
  return f;
}
GetCurrentThreadIdFn HostGetCurrentThreadId() {
  static auto f = reinterpret_cast<GetCurrentThreadIdFn>(dlsym(RTLD_DEFAULT, "GetCurrentThreadId"));
  return f;
}

void CallQuit(int kind, void* module) {
  if (!module) return;
  RunGuarded([&] {
    if (kind == kKind1) {
      if (M1(module)->Quit) M1(module)->Quit(M1(module));
    } else if (M2(module)->Quit) {
      M2(module)->Quit(M2(module));
    }
  });
}

bool CallInit(int kind, void* module) {
  bool ok = false;
  bool clean = RunGuarded([&] {
    if (kind == kKind1) {
      winampDSPModule1* m = M1(module);
      ok = m->Init && m->Init(m) == 0 && m->Activate && m->Activate(m) == 0;
    } else {
      winampDSPModule* m = M2(module);
      ok = m->Init && m->Init(m) == 0;
    }
  });
  return clean && ok;
}

}  // namespace

// A module's Config on its own thread. When the entry is removed while Config
// still runs and the thread does not end in time, the thread is abandoned: it
// quits the module and frees the library itself once Config returns.
struct TConfigRun {
  std::mutex mutex;
  std::condition_variable doneCv;
  bool done = false;
  bool abandoned = false;
  std::atomic<uint32_t> threadId{0};
  std::thread thread;
  int kind = 0;
  void* module = nullptr;
  void* library = nullptr;

  static void Main(std::shared_ptr<TConfigRun> run) {
    if (auto tid = HostGetCurrentThreadId()) run->threadId = tid();
    RunGuarded([&] {
      if (run->kind == kKind1) {
        if (M1(run->module)->Config) M1(run->module)->Config(M1(run->module));
      } else if (M2(run->module)->Config) {
        M2(run->module)->Config(M2(run->module));
      }
    });
    bool abandoned;
    {
      std::lock_guard lock(run->mutex);
      run->done = true;
      abandoned = run->abandoned;
      run->doneCv.notify_all();
    }
    if (abandoned) {
      CallQuit(run->kind, run->module);
      if (run->library) dlclose(run->library);
    }
  }
};

const char* TOpenedModule::Description() const { return DescriptionOf(Kind, Module); }

void TOpenedModule::Close() {
  if (Library) dlclose(Library);
  Library = nullptr;
  Module = nullptr;
}

const char* TChainEntry::Description() const { return DescriptionOf(Kind, Module); }

TStacker::TStacker(Options options) : options_(std::move(options)) {
  struct stat st {};
  if (!options_.SelfPath.empty() && ::stat(options_.SelfPath.c_str(), &st) == 0) {
    selfDev_ = st.st_dev;
    selfIno_ = st.st_ino;
  }
  InstallFaultGuard();
}

TStacker::~TStacker() { UnloadAll(); }

void TStacker::Changed() {
  if (OnChanged) OnChanged();
}

bool TStacker::OpenModule(const std::string& name, int index, TOpenedModule* out) const {
  *out = TOpenedModule{};
  if (!IsChainLibraryName(name) || !IsChainModuleIndex(index)) return false;
  std::string path = LibraryPath(name);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (selfIno_ && st.st_dev == selfDev_ && st.st_ino == selfIno_) return false;
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) return false;
  auto get2 = reinterpret_cast<winampDSPGetHeaderType>(dlsym(lib, "winampDSPGetHeader2"));
  auto get1 = reinterpret_cast<winampDSPGetHeaderType1>(dlsym(lib, "winampDSPGetHeader"));
  int kind = 0;
  void* module = nullptr;
  bool clean = RunGuarded([&] {
    if (get2) {
      winampDSPHeader* h = get2();
      if (!h || h == options_.SelfHeader || h->version != DSP_HDRVER || !h->getModule ||
          StartsWith(h->description, kProductWord))
        return;
      winampDSPModule* m = h->getModule(index);
      if (!m) return;
      m->hwndParent = options_.HostWindow;
      m->hDllInstance = lib;
      kind = kKind2;
      module = m;
    } else if (get1) {
      winampDSPHeader1* h = get1();
      if (!h || h->version != DSP_HDRVER1 || !h->getModule || StartsWith(h->description, kProductWord)) return;
      winampDSPModule1* m = h->getModule(index);
      if (!m) return;
      m->hwndParent = options_.HostWindow;
      m->hDllInstance = lib;
      m->sampleRate = 44100;
      m->numChannels = 2;
      m->numSamples = 576;
      kind = kKind1;
      module = m;
    }
  });
  if (!clean || !module) {
    dlclose(lib);
    return false;
  }
  out->Kind = kind;
  out->Library = lib;
  out->Module = module;
  out->LibraryName = name;
  out->ModuleIndex = index;
  out->Dev = st.st_dev;
  out->Ino = st.st_ino;
  return true;
}

std::vector<std::string> TStacker::ModuleDescriptions(const TOpenedModule& lib) {
  std::vector<std::string> names;
  if (!lib.Library) return names;
  auto get2 = reinterpret_cast<winampDSPGetHeaderType>(dlsym(lib.Library, "winampDSPGetHeader2"));
  auto get1 = reinterpret_cast<winampDSPGetHeaderType1>(dlsym(lib.Library, "winampDSPGetHeader"));
  RunGuarded([&] {
    for (int i = 0; i < kMaxModules; ++i) {
      const char* d = nullptr;
      if (get2) {
        winampDSPHeader* h = get2();
        winampDSPModule* m = h && h->getModule ? h->getModule(i) : nullptr;
        if (!m) break;
        d = m->description;
      } else if (get1) {
        winampDSPHeader1* h = get1();
        winampDSPModule1* m = h && h->getModule ? h->getModule(i) : nullptr;
        if (!m) break;
        d = m->description;
      } else {
        break;
      }
      names.emplace_back(d ? d : "");
    }
  });
  return names;
}

bool TStacker::LoadChainEntry(const std::string& name, int index, int enabled) {
  TOpenedModule opened;
  if (!OpenModule(name, index, &opened)) return false;
  if (AddChainEntry(opened, enabled) != kAdded) {
    opened.Close();
    return false;
  }
  return true;
}

int TStacker::AddChainEntry(TOpenedModule& opened, int enabled) {
  if (!opened.Module) return kNotStarted;
  const char* desc = opened.Description();
  for (const auto& e : chain_) {
    bool sameLibrary = e->LibraryName == opened.LibraryName || (e->Dev == opened.Dev && e->Ino == opened.Ino);
    if (sameLibrary && (e->Module == opened.Module || std::strcmp(e->Description(), desc) == 0)) return kDuplicate;
  }
  std::unique_ptr<TChainEntry> entry;
  try {
    entry = std::make_unique<TChainEntry>();
    entry->LibraryName = opened.LibraryName;
    {
      // Growing the list moves it: not while a block walks it.
      std::lock_guard lock(mutex_);
      chain_.reserve(chain_.size() + 1);
    }
    if (scratch_.empty()) {
      // Allocated here, on this thread, so the audio thread never allocates.
      std::vector<uint8_t> buffer(size_t(4) * kMaxBlockFrames * kMaxFrameBytes);
      std::lock_guard lock(mutex_);
      scratch_.swap(buffer);
    }
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
  if (!CallInit(opened.Kind, opened.Module)) return kNotStarted;
  entry->Kind = opened.Kind;
  entry->ModuleIndex = opened.ModuleIndex;
  entry->Enabled = enabled ? 1 : 0;
  entry->Library = opened.Library;
  entry->Module = opened.Module;
  entry->Dev = opened.Dev;
  entry->Ino = opened.Ino;
  opened.Library = nullptr;
  opened.Module = nullptr;
  {
    std::lock_guard lock(mutex_);
    chain_.push_back(std::move(entry));
    live_.store(int(chain_.size()), std::memory_order_release);
  }
  selected_ = Count() - 1;
  if (Count() > kRows) first_ = Count() - kRows;
  Changed();
  return kAdded;
}

bool TStacker::StopConfig(TChainEntry& e) {
  std::shared_ptr<TConfigRun> run = e.Config;
  if (!run) return true;
  std::unique_lock lock(run->mutex);
  if (!run->done) {
    uint32_t tid = run->threadId.load();
    if (tid && HostPostThreadMessage()) HostPostThreadMessage()(tid, kWmQuit, 0, 0);
    run->doneCv.wait_for(lock, std::chrono::milliseconds(configWaitMs), [&] { return run->done; });
  }
  if (!run->done) return false;
  lock.unlock();
  if (run->thread.joinable()) run->thread.join();
  e.Config.reset();
  return true;
}

void TStacker::Unload(std::unique_ptr<TChainEntry> e) {
  if (!e) return;
  if (!StopConfig(*e)) {
    // Config ignores the quit request: its thread quits the module and frees the
    // library when Config returns; nothing is unloaded under it.
    std::shared_ptr<TConfigRun> run = e->Config;
    std::unique_lock lock(run->mutex);
    if (!run->done) {
      run->library = e->Library;
      run->abandoned = true;
      lock.unlock();
      run->thread.detach();
      return;
    }
    lock.unlock();
    if (run->thread.joinable()) run->thread.join();
  }
  CallQuit(e->Kind, e->Module);
  if (e->Library) dlclose(e->Library);
}

void TStacker::RemoveChainEntry() {
  if (selected_ < 0 || selected_ >= Count()) return;
  std::unique_ptr<TChainEntry> gone;
  {
    std::lock_guard lock(mutex_);
    gone = std::move(chain_[size_t(selected_)]);
    chain_.erase(chain_.begin() + selected_);
    live_.store(int(chain_.size()), std::memory_order_release);
  }
  Unload(std::move(gone));
  if (chain_.empty()) {
    selected_ = -1;
    first_ = 0;
  } else {
    if (selected_ >= Count()) selected_ = Count() - 1;
    if (selected_ < first_) first_ = selected_;
  }
  Changed();
}

void TStacker::KeepSelectionVisible() {
  if (selected_ < 0) return;
  if (selected_ < first_) first_ = selected_;
  if (selected_ > first_ + kRows - 1) first_ = selected_ - (kRows - 1);
}

void TStacker::MoveEntryUp() {
  if (selected_ <= 0 || selected_ >= Count()) return;
  {
    std::lock_guard lock(mutex_);
    std::swap(chain_[size_t(selected_)], chain_[size_t(selected_ - 1)]);
  }
  --selected_;
  KeepSelectionVisible();
  Changed();
}

void TStacker::MoveEntryDown() {
  if (selected_ < 0 || selected_ >= Count() - 1) return;
  {
    std::lock_guard lock(mutex_);
    std::swap(chain_[size_t(selected_)], chain_[size_t(selected_ + 1)]);
  }
  ++selected_;
  KeepSelectionVisible();
  Changed();
}

void TStacker::ToggleEntry() {
  TChainEntry* e = selected_ >= 0 && selected_ < Count() ? chain_[size_t(selected_)].get() : nullptr;
  if (!e) return;
  e->Enabled.store(e->Enabled.load() ? 0 : 1);
  if (e->Kind == kKind1) {
    // Taken out of the walk while Activate runs, so Process never overlaps it.
    { std::lock_guard lock(mutex_); e->Offline = true; }
    RunGuarded([&] {
      if (M1(e->Module)->Activate) M1(e->Module)->Activate(M1(e->Module));
    });
    { std::lock_guard lock(mutex_); e->Offline = false; }
  }
  Changed();
}

void TStacker::ConfigureEntry() {
  TChainEntry* e = selected_ >= 0 && selected_ < Count() ? chain_[size_t(selected_)].get() : nullptr;
  if (!e) return;
  if (e->Config) {
    std::unique_lock lock(e->Config->mutex);
    if (!e->Config->done) return;  // its window is open already
    lock.unlock();
    if (e->Config->thread.joinable()) e->Config->thread.join();
    e->Config.reset();
  }
  auto run = std::make_shared<TConfigRun>();
  run->kind = e->Kind;
  run->module = e->Module;
  try {
    run->thread = std::thread(&TConfigRun::Main, run);
  } catch (...) {
    return;
  }
  e->Config = std::move(run);
}

void TStacker::ReloadEntry() {
  TChainEntry* e = selected_ >= 0 && selected_ < Count() ? chain_[size_t(selected_)].get() : nullptr;
  if (!e) return;
  { std::lock_guard lock(mutex_); e->Offline = true; }
  if (e->Kind == kKind1) {
    RunGuarded([&] {
      if (M1(e->Module)->Activate) M1(e->Module)->Activate(M1(e->Module));
    });
    e->Faulted = false;
    { std::lock_guard lock(mutex_); e->Offline = false; }
    Changed();
    return;
  }
  if (!StopConfig(*e)) {
    // Its configuration window stays open: the module is left as it is.
    std::lock_guard lock(mutex_);
    e->Offline = false;
    return;
  }
  CallQuit(e->Kind, e->Module);
  dlclose(e->Library);
  e->Library = nullptr;
  e->Module = nullptr;
  TOpenedModule again;
  bool ok = OpenModule(e->LibraryName, e->ModuleIndex, &again) && again.Kind == kKind2 &&
            CallInit(again.Kind, again.Module);
  if (!ok) {
    again.Close();
    // The library no longer gives the module: the entry leaves the chain.
    std::unique_ptr<TChainEntry> gone;
    {
      std::lock_guard lock(mutex_);
      gone = std::move(chain_[size_t(selected_)]);
      chain_.erase(chain_.begin() + selected_);
      live_.store(int(chain_.size()), std::memory_order_release);
    }
    if (chain_.empty()) {
      selected_ = -1;
      first_ = 0;
    } else {
      if (selected_ >= Count()) selected_ = Count() - 1;
      if (selected_ < first_) first_ = selected_;
    }
    Changed();
    return;
  }
  {
    std::lock_guard lock(mutex_);
    e->Library = again.Library;
    e->Module = again.Module;
    e->Dev = again.Dev;
    e->Ino = again.Ino;
    e->Faulted = false;
    e->Offline = false;
  }
  Changed();
}

std::vector<TChainPiece> TStacker::Pieces() const {
  std::vector<TChainPiece> pieces;
  for (const auto& e : chain_) pieces.push_back({e->LibraryName, e->ModuleIndex, e->Enabled.load() ? 1 : 0});
  return pieces;
}

std::vector<TChainPiece> TStacker::UnloadAll() {
  std::vector<TChainPiece> pieces = Pieces();
  std::vector<std::unique_ptr<TChainEntry>> gone;
  {
    std::lock_guard lock(mutex_);
    gone.swap(chain_);
    live_.store(0, std::memory_order_release);
  }
  for (auto& e : gone) Unload(std::move(e));
  selected_ = -1;
  first_ = 0;
  Changed();
  return pieces;
}

void TStacker::LoadChainText(std::string_view text) {
  for (const TChainPiece& p : ParseChainText(text)) LoadChainEntry(p.LibraryName, p.ModuleIndex, p.Enabled);
}

// ---- selection and scrolling

void TStacker::SelectRow(int index) {
  if (chain_.empty()) return;
  selected_ = std::clamp(index, 0, Count() - 1);
  KeepSelectionVisible();
  Changed();
}

void TStacker::SelectNext() {
  if (selected_ < 0 || selected_ >= Count() - 1) return;
  ++selected_;
  if (selected_ > first_ + kRows - 1) first_ = selected_ - (kRows - 1);
  Changed();
}

void TStacker::SelectPrevious() {
  if (selected_ <= 0) return;
  --selected_;
  if (selected_ < first_) first_ = selected_;
  Changed();
}

void TStacker::SelectFirst() {
  if (chain_.empty()) return;
  selected_ = 0;
  first_ = 0;
  Changed();
}

void TStacker::SelectLast() {
  if (chain_.empty()) return;
  selected_ = Count() - 1;
  first_ = std::max(0, Count() - kRows);
  Changed();
}

void TStacker::PageUp() {
  if (chain_.empty()) return;
  if (selected_ != first_) {
    selected_ = first_;
  } else {
    first_ = std::max(0, first_ - kRows);
    selected_ = first_;
  }
  Changed();
}

void TStacker::PageDown() {
  if (chain_.empty()) return;
  int lastVisible = std::min(first_ + kRows - 1, Count() - 1);
  if (selected_ != lastVisible) {
    selected_ = lastVisible;
  } else {
    first_ = std::min(first_ + kRows, std::max(0, Count() - kRows));
    selected_ = std::min(first_ + kRows - 1, Count() - 1);
  }
  Changed();
}

void TStacker::ScrollUp() {
  if (first_ <= 0) return;
  --first_;
  if (selected_ > first_ + kRows - 1) selected_ = first_ + kRows - 1;
  Changed();
}

void TStacker::ScrollDown() {
  if (first_ >= Count() - kRows) return;
  ++first_;
  if (selected_ >= 0 && selected_ < first_) selected_ = first_;
  Changed();
}

void TStacker::ScrollToThumb(int y) {
  if (Count() < kRows + 1) {
    first_ = 0;
  } else {
    y = std::clamp(y, 20, 76);
    first_ = std::clamp((Count() - 3) * (y - 20) / 57, 0, Count() - kRows);
    if (selected_ < first_) selected_ = first_;
    if (selected_ > first_ + kRows - 1) selected_ = first_ + kRows - 1;
  }
  Changed();
}

int TStacker::ThumbOffset() const {
  int n = Count();
  if (n <= kRows) return 0;
  if (first_ > n - kRows) return 40;
  return first_ * 40 / (n - kRows);
}

// ---- processing

int TStacker::ModifySamples(short* samples, int count, int bits, int channels, int rate) {
  if (!samples || count <= 0 || live_.load(std::memory_order_acquire) == 0) return count;
  const int frameBytes = bits / 8 * channels;
  if (frameBytes <= 0 || frameBytes > kMaxFrameBytes || count > kMaxBlockFrames) return count;
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) {
    auto t0 = std::chrono::steady_clock::now();
    lock.lock();
    int64_t waited = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0).count();
    int64_t seen = longestWaitNs_.load(std::memory_order_relaxed);
    while (waited > seen && !longestWaitNs_.compare_exchange_weak(seen, waited, std::memory_order_relaxed)) {
    }
  }
  if (chain_.empty() || scratch_.empty()) return count;
  // Every stage works in the scratch buffer, which holds twice the most any stage
  // may be handed (twice the input), so a module that doubles what it got never
  // writes past it; the host receives at most the twice-the-input it has room for.
  uint8_t* work = scratch_.data();
  std::memcpy(work, samples, size_t(count) * size_t(frameBytes));
  const int room = 2 * count;
  int frames = count;
  for (const auto& e : chain_) {
    if (!e->Enabled.load(std::memory_order_relaxed) || e->Offline || e->Faulted.load(std::memory_order_relaxed))
      continue;
    bool clean;
    if (e->Kind == kKind1) {
      winampDSPModule1* m = M1(e->Module);
      m->sampleRate = rate;
      m->numChannels = channels;
      m->numSamples = frames;
      clean = RunGuarded([&] {
        if (m->Process) m->Process(m, reinterpret_cast<short*>(work));
      });
    } else {
      winampDSPModule* m = M2(e->Module);
      int result = frames;
      clean = RunGuarded([&] {
        if (m->ModifySamples) result = m->ModifySamples(m, reinterpret_cast<short*>(work), frames, bits, channels, rate);
      });
      if (clean && result > 0) frames = std::min({result, 2 * frames, room});
    }
    if (!clean) {
      e->Faulted.store(true, std::memory_order_relaxed);
      faults_.fetch_add(1, std::memory_order_relaxed);
    }
  }
  std::memcpy(samples, work, size_t(frames) * size_t(frameBytes));
  return frames;
}

}  // namespace pilvo
