// A small input plug-in the tests build: it plays 16-bit PCM WAV files named
// *.tpcm through the host's output module on its own decoding thread, reports
// 128000 bit/s through SetInfo, runs the host's DSP hook and posts the end.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "plugins/sdk/winamp_input.h"

namespace {

struct Wav {
  int rate = 0, channels = 0, bits = 0;
  long dataOffset = 0, dataBytes = 0;
};

bool ReadWav(const char* path, Wav& w) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char head[12];
  bool ok = std::fread(head, 1, 12, f) == 12 && !std::memcmp(head, "RIFF", 4) && !std::memcmp(head + 8, "WAVE", 4);
  while (ok) {
    char id[4];
    uint32_t size;
    if (std::fread(id, 1, 4, f) != 4 || std::fread(&size, 4, 1, f) != 1) {
      ok = false;
      break;
    }
    if (!std::memcmp(id, "fmt ", 4)) {
      uint8_t fmt[16];
      if (size < 16 || std::fread(fmt, 1, 16, f) != 16) {
        ok = false;
        break;
      }
      w.channels = fmt[2] | fmt[3] << 8;
      w.rate = int(fmt[4] | fmt[5] << 8 | fmt[6] << 16 | uint32_t(fmt[7]) << 24);
      w.bits = fmt[14] | fmt[15] << 8;
      std::fseek(f, long(size) - 16 + (size & 1), SEEK_CUR);
    } else if (!std::memcmp(id, "data", 4)) {
      w.dataOffset = std::ftell(f);
      w.dataBytes = long(size);
      break;
    } else {
      std::fseek(f, long(size) + (size & 1), SEEK_CUR);
    }
  }
  std::fclose(f);
  return ok && w.bits == 16 && w.channels > 0 && w.rate > 0;
}

extern In_Module g_module;

std::thread g_thread;
std::atomic<bool> g_stop{false}, g_paused{false};
std::atomic<int> g_seekTo{-1};
std::string g_file;
Wav g_wav;

void Decode() {
  FILE* f = std::fopen(g_file.c_str(), "rb");
  if (!f) return;
  const int frameBytes = g_wav.channels * 2;
  const int frames = 576;
  std::vector<char> buf(size_t(frames) * frameBytes * 2);
  long done = 0;
  std::fseek(f, g_wav.dataOffset, SEEK_SET);
  while (!g_stop) {
    int seek = g_seekTo.exchange(-1);
    if (seek >= 0) {
      done = long(int64_t(seek) * g_wav.rate / 1000) * frameBytes;
      if (done > g_wav.dataBytes) done = g_wav.dataBytes - g_wav.dataBytes % frameBytes;
      std::fseek(f, g_wav.dataOffset + done, SEEK_SET);
      g_module.outMod->Flush(seek);
    }
    long want = std::min<long>(long(frames) * frameBytes, g_wav.dataBytes - done);
    if (want <= 0) {
      PostMessage(g_module.hMainWindow, WM_WA_MPEG_EOF, 0, 0);
      // Idle until stopped or sought back.
      while (!g_stop && g_seekTo.load() < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    long got = long(std::fread(buf.data(), 1, size_t(want), f));
    if (got <= 0) {
      g_seekTo = int(done * 1000 / (int64_t(g_wav.rate) * frameBytes));  // read error: try again from here
      continue;
    }
    done += got;
    int n = int(got / frameBytes);
    if (g_module.dsp_isactive())
      n = g_module.dsp_dosamples(reinterpret_cast<short*>(buf.data()), n, 16, g_wav.channels, g_wav.rate);
    int bytes = n * frameBytes;
    while (!g_stop && g_seekTo.load() < 0 && g_module.outMod->CanWrite() < bytes)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (g_stop || g_seekTo.load() >= 0) continue;
    g_module.outMod->Write(buf.data(), bytes);
  }
  std::fclose(f);
}

void Config(HWND) {}
void About(HWND) {}
void Init() {}
void Quit() {}

void GetFileInfo(const char* file, char* title, int* length) {
  Wav w;
  const char* path = file ? file : g_file.c_str();
  if (title) std::snprintf(title, 256, "Test PCM");
  if (length) *length = ReadWav(path, w) ? int(int64_t(w.dataBytes) * 1000 / (int64_t(w.rate) * w.channels * 2)) : 0;
}

int InfoBox(const char*, HWND) { return 0; }
int IsOurFile(const char*) { return 0; }

void Stop() {
  g_stop = true;
  if (g_thread.joinable()) g_thread.join();
  if (g_module.outMod) g_module.outMod->Close();
}

int Play(const char* file) {
  Stop();
  if (!ReadWav(file, g_wav)) return -1;
  g_file = file;
  g_stop = false;
  g_seekTo = -1;
  if (g_module.outMod->Open(g_wav.rate, g_wav.channels, 16, -1, -1) != 0) return 1;
  g_module.SetInfo(128000, g_wav.rate, g_wav.channels, 1);
  g_thread = std::thread(&Decode);
  return 0;
}

void Pause() {
  g_paused = true;
  g_module.outMod->Pause(1);
}
void UnPause() {
  g_paused = false;
  g_module.outMod->Pause(0);
}
int IsPaused() { return g_paused ? 1 : 0; }
int GetLength() { return 0; }
int GetOutputTime() { return g_module.outMod ? g_module.outMod->GetOutputTime() : 0; }
void SetOutputTime(int ms) { g_seekTo = ms; }
void SetVolume(int v) { g_module.outMod->SetVolume(v); }
void SetPan(int p) { g_module.outMod->SetPan(p); }
void EQSet(int, char*, int) {}

In_Module g_module = {
    IN_VER, "Test PCM decoder", nullptr, nullptr, "TPCM;TPC2\0Test PCM files (*.tpcm)\0", 1, 1, &Config, &About,
    &Init, &Quit, &GetFileInfo, &InfoBox, &IsOurFile, &Play, &Pause, &UnPause, &IsPaused, &Stop, &GetLength,
    &GetOutputTime, &SetOutputTime, &SetVolume, &SetPan, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, &EQSet, nullptr, nullptr};
static_assert(sizeof(In_Module) > 0);

}  // namespace

extern "C" __attribute__((visibility("default"))) In_Module* winampGetInModule2() { return &g_module; }
