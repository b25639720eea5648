// An input plug-in the engine tests build: any *.slow file plays a 2 s 440 Hz
// stereo tone, but only after 300 ms, as a decoder that must first fetch or
// parse a lot does. Its output therefore opens well after the play request.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "plugins/sdk/winamp_input.h"

namespace {

extern In_Module g_module;

constexpr int kRate = 44100;
constexpr int kSeconds = 2;
std::thread g_thread;
std::atomic<bool> g_stop{false};

bool SleepUnlessStopped(int ms) {
  for (int i = 0; i < ms && !g_stop; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return !g_stop;
}

void Decode() {
  if (!SleepUnlessStopped(300)) return;
  std::vector<short> block(2 * 576 * 2);
  long frame = 0;
  while (!g_stop && frame < long(kRate) * kSeconds) {
    int n = 0;
    for (; n < 576 && frame < long(kRate) * kSeconds; ++n, ++frame) {
      short v = short(8000 * std::sin(2 * M_PI * 440.0 * double(frame) / kRate));
      block[size_t(2 * n)] = block[size_t(2 * n + 1)] = v;
    }
    int bytes = n * 4;
    while (!g_stop && g_module.outMod->CanWrite() < bytes) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!g_stop) g_module.outMod->Write(reinterpret_cast<char*>(block.data()), bytes);
  }
  if (g_stop) return;
  PostMessage(g_module.hMainWindow, WM_WA_MPEG_EOF, 0, 0);
  while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void Config(HWND) {}
void About(HWND) {}
void Init() {}
void Quit() {}
void GetFileInfo(const char*, char* title, int* length) {
  if (title) std::snprintf(title, 256, "Slow start");
  if (length) *length = kSeconds * 1000;
}
int InfoBox(const char*, HWND) { return 0; }
int IsOurFile(const char*) { return 0; }

void Stop() {
  g_stop = true;
  if (g_thread.joinable()) g_thread.join();
  if (g_module.outMod) g_module.outMod->Close();
}

int Play(const char*) {
  Stop();
  g_stop = false;
  if (g_module.outMod->Open(kRate, 2, 16, -1, -1) != 0) return 1;
  g_thread = std::thread(&Decode);
  return 0;
}

void Pause() { g_module.outMod->Pause(1); }
void UnPause() { g_module.outMod->Pause(0); }
int IsPaused() { return 0; }
int GetLength() { return kSeconds * 1000; }
int GetOutputTime() { return g_module.outMod ? g_module.outMod->GetOutputTime() : 0; }
void SetOutputTime(int) {}
void SetVolume(int v) { g_module.outMod->SetVolume(v); }
void SetPan(int p) { g_module.outMod->SetPan(p); }
void EQSet(int, char*, int) {}

In_Module g_module = {
    IN_VER, "Slow start tone", nullptr, nullptr, "SLOW\0Slow start files (*.slow)\0", 0, 1, &Config, &About,
    &Init, &Quit, &GetFileInfo, &InfoBox, &IsOurFile, &Play, &Pause, &UnPause, &IsPaused, &Stop, &GetLength,
    &GetOutputTime, &SetOutputTime, &SetVolume, &SetPan, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, &EQSet, nullptr, nullptr};

}  // namespace

extern "C" __attribute__((visibility("default"))) In_Module* winampGetInModule2() { return &g_module; }
