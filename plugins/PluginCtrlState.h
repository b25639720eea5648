// The plug-in host's module-level state, shared by PluginCtrl.cpp and
// DSPHost.cpp. Not part of the public interface.
//
// Ownership by thread: fields without a note belong to the UI thread; atomics
// are touched by plug-in threads, the play thread and the audio library thread;
// channelInfo is guarded by infoMutex; the DSP table is guarded by dspMutex.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "platform/Messages.h"
#include "plugins/PluginCtrl.h"
#include "plugins/SampleRing.h"

namespace plugins {

// One ModifySamples call on a thread that runs modules. Whoever moves `state`
// away from kInside decides: the caller when the call returns, or the UI thread
// when it gives up waiting and leaves the call (and its module) behind.
struct TDSPCall {
  enum : int { kInside, kReturned, kAbandoned };
  std::atomic<int> state{kInside};
  uint32_t thread = 0;    // message-layer id of the calling thread
  platform::Event done;   // set when the call has returned and left the gate
};

// One play thread. The thread holds a reference, so one left behind in a
// module keeps its buffer and events alive after the host has let go.
struct TPlayThread {
  std::thread thread;
  std::atomic<uint32_t> id{0};
  platform::Event started, exited;
  std::shared_ptr<std::vector<uint8_t>> buffer;  // the block in work; a module writes into it
};

struct TInputSlot {
  In_Module* module = nullptr;
  TPluginInfo info;
  platform::DynamicLibrary lib;
};

struct THostState {
  std::atomic<bool> ready{false};
  platform::HWND engineWindow = nullptr, mainWindow = nullptr, miniBrowser = nullptr, hostWindow = nullptr;
  platform::WNDPROC hostWindowProc = nullptr;
  platform::UINT dataMessage = 0;
  engine::TBassCore* bass = nullptr;  // set once; its function pointers are read by every thread

  // Input plug-ins.
  std::array<TInputSlot, kMaxInputPlugins> slots;
  int selected = -1;

  // Engine state copies.
  std::atomic<int> mode{0};
  std::atomic<int32_t> duration{0};
  int kind = 0;
  DWORD decodeChannel = 0, outputChannel = 0;
  int channels = 0, sampleRate = 0;
  int listPosition = -1;
  std::vector<std::string> listFiles;
  std::vector<std::string> listTitles;  // same order as listFiles
  std::string iniPath;
  void* service = nullptr;
  std::function<int()> positionMs;  // the engine's position (UI thread)

  std::mutex infoMutex;
  ChannelInfo channelInfo{};  // guarded by infoMutex

  // Sample ring and the flags both of its users share.
  TSampleRing ring;
  std::vector<uint8_t> silence;
  std::atomic<bool> prebuffering{true}, endOfInput{false};
  // Bytes the play thread has taken from the decoder but not yet written into the ring (a fill step
  // in work): set and cleared under the ring's writer lock.
  std::atomic<uint32_t> inFlight{0};

  // Output emulator.
  std::atomic<bool> outInitialised{false};
  std::atomic<DWORD> outStream{0};
  std::atomic<int> outRate{0}, outBits{0}, outChans{0}, outFrameBytes{0};
  std::atomic<uint32_t> outUnit{0};
  std::atomic<int> timeOffset{0};
  std::atomic<int64_t> written{0}, positionBase{0};
  std::atomic<bool> resumed{false}, seekPending{false};
  std::atomic<int64_t> underrunSince{0};

  // DSP library and modules. The table is written on the UI thread under
  // dspMutex and read under it by the threads that run modules. At most one
  // ModifySamples call runs at a time (dspCall); the lock is never held across
  // a call into a module, since a module may send to the host window and wait
  // for the UI thread.
  std::mutex dspMutex;
  std::condition_variable dspCv;     // a call ended or a change is over
  bool dspChanging = false;          // guarded by dspMutex: the UI thread is changing modules
  std::shared_ptr<TDSPCall> dspCall;  // guarded by dspMutex: the call in progress
  platform::DynamicLibrary dspLib;
  std::string dspPath;
  winampDSPHeader* dspHeader = nullptr;
  std::array<winampDSPModule*, kMaxDSPModules> dspModules{};
  int dspCount = 0;
  std::atomic<int> dspIndex{-1};
  std::atomic<bool> dspActive{false};
  std::atomic<bool> dspFaulted{false};  // the active module faulted: bypassed until activated again
  std::atomic<int> dspFaults{0};
  // Libraries of modules left behind inside a call: their code may still run, so
  // they are never unloaded (this state is never destroyed).
  std::vector<platform::DynamicLibrary> abandonedLibraries;
  // The decode buffer of the play thread; a new one is made when a thread left
  // behind still holds the old one.
  std::shared_ptr<std::vector<uint8_t>> dspBuffer;

  // Play thread. `play` and the settings below are written on the UI thread;
  // playThreadId is the running thread's queue (0 when none).
  std::shared_ptr<TPlayThread> play;
  std::atomic<uint32_t> playThreadId{0};
  std::atomic<bool> closing{false}, pad{false}, fillPosted{false};
  std::atomic<DWORD> ptOutput{0}, ptRead{0}, ptSource{0};
  std::atomic<int> ptRate{0}, ptBits{0}, ptChans{0};
  std::atomic<uint32_t> ptUnit{0};
};

THostState& Host();
void InstallFaultHandler();
// Runs fn(context) on the calling thread; a fault inside it (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL) jumps back here and gives false. For calls into plug-ins.
bool RunGuardedCall(void (*fn)(void*), void* context);

}  // namespace plugins
