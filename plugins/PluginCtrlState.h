// The plug-in host's module-level state, shared by PluginCtrl.cpp and
// DSPHost.cpp. Not part of the public interface.
//
// Ownership by thread: fields without a note belong to the UI thread; atomics
// are touched by plug-in threads, the play thread and the audio library thread;
// channelInfo is guarded by infoMutex; the DSP table is guarded by dspMutex
// whenever another thread can be inside ModifySamples.
#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "plugins/PluginCtrl.h"
#include "plugins/SampleRing.h"

namespace plugins {

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
  std::string iniPath;
  void* service = nullptr;

  std::mutex infoMutex;
  ChannelInfo channelInfo{};  // guarded by infoMutex

  // Sample ring and the flags both of its users share.
  TSampleRing ring;
  std::vector<uint8_t> silence;
  std::atomic<bool> prebuffering{true}, endOfInput{false};

  // Output emulator.
  std::atomic<bool> outInitialised{false};
  std::atomic<DWORD> outStream{0};
  std::atomic<int> outRate{0}, outBits{0}, outChans{0}, outFrameBytes{0};
  std::atomic<uint32_t> outUnit{0};
  std::atomic<int> timeOffset{0};
  std::atomic<int64_t> written{0}, positionBase{0};
  std::atomic<bool> resumed{false}, seekPending{false};
  std::atomic<int64_t> underrunSince{0};

  // DSP library and modules.
  std::mutex dspMutex;
  platform::DynamicLibrary dspLib;
  std::string dspPath;
  winampDSPHeader* dspHeader = nullptr;
  std::array<winampDSPModule*, kMaxDSPModules> dspModules{};
  int dspCount = 0;
  std::atomic<int> dspIndex{-1};
  std::atomic<bool> dspActive{false};
  std::atomic<bool> dspFaulted{false};  // the active module faulted: bypassed until activated again
  std::atomic<int> dspFaults{0};
  std::vector<uint8_t> dspBuffer;  // the play thread's decode buffer

  // Play thread.
  std::thread playThread;
  std::atomic<uint32_t> playThreadId{0};
  std::atomic<bool> closing{false}, pad{false}, fillPosted{false};
  std::atomic<DWORD> ptOutput{0}, ptRead{0}, ptSource{0};
  std::atomic<int> ptRate{0}, ptBits{0}, ptChans{0};
  std::atomic<uint32_t> ptUnit{0};
};

THostState& Host();
void InstallFaultHandler();

}  // namespace plugins
