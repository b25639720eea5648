// A stand-in for the audio library's network half, put in place of an engine's
// bindings: connections (counted, or held until released), header and metadata
// blocks, download positions, and the metadata and download notices fired from
// threads of the test. The stream that plays is a local file.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/ZOZUZivade.h"

namespace enginetest {

using engine::TBassCore;
using engine::TZOZUZivade;

inline std::string Block(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + '\0';
  return out + '\0';
}

// The stand-in for the library's network half. One at a time (the bindings are plain functions).
struct FakeNet {
  static inline FakeNet* current = nullptr;  // one at a time: the bindings are plain functions
  // The engine's own bindings, for everything not stood in for.
  struct {
    decltype(&::BASS_StreamCreateFile) BASS_StreamCreateFile;
    decltype(&::BASS_ChannelGetTags) BASS_ChannelGetTags;
    decltype(&::BASS_ChannelSetSync) BASS_ChannelSetSync;
    decltype(&::BASS_GetConfig) BASS_GetConfig;
  } real;
  std::string audioPath;
  std::atomic<int> creates{0};
  std::atomic<bool> failCreate{false};
  // A connection that hangs until released (or 10 s pass).
  std::mutex mutex;
  std::condition_variable cv;
  bool hold = false;
  int holdOnly = 0;  // with hold: only this call (counted from 1) hangs; 0: every call
  std::atomic<bool> createReturned{false};
  std::atomic<int> returned{0};
  std::string http, icy, meta, id3v1;
  std::deque<std::string> oldMeta;  // blocks handed out stay readable
  std::atomic<uint64_t> end{100}, download{90}, decodePos{0}, connected{1};
  std::atomic<int> netTimeout{-1};
  SYNCPROC* metaProc = nullptr;
  void* metaUser = nullptr;
  SYNCPROC* downloadProc = nullptr;
  void* downloadUser = nullptr;
  std::atomic<DWORD> channel{0};

  FakeNet(TZOZUZivade& eng, const std::string& audio) : audioPath(audio) {
    current = this;
    TBassCore& b = eng.Bass();
    real = {b.BASS_StreamCreateFile, b.BASS_ChannelGetTags, b.BASS_ChannelSetSync, b.BASS_GetConfig};
    b.BASS_StreamCreateURL = &CreateURL;
    b.BASS_ChannelGetTags = &GetTags;
    b.BASS_ChannelSetSync = &SetSync;
    b.BASS_StreamGetFilePosition = &FilePosition;
    b.BASS_GetConfig = &GetConfig;
  }
  ~FakeNet() { current = nullptr; }

  void Release() {
    std::lock_guard lock(mutex);
    hold = false;
    cv.notify_all();
  }
  // Fires the metadata notice with `title` from a thread of its own, as the library does.
  void FireMeta(const std::string& title) {
    {
      std::lock_guard lock(mutex);
      oldMeta.push_back(meta);
      meta = "StreamTitle='" + title + "';StreamUrl='';";
      meta.push_back('\0');
    }
    std::thread([this] { metaProc(1, channel.load(), 0, metaUser); }).join();
  }
  void FireDownloaded() { std::thread([this] { downloadProc(2, channel.load(), 0, downloadUser); }).join(); }

  static HSTREAM CALLBACK CreateURL(const char*, DWORD, DWORD flags, DOWNLOADPROC*, void*) {
    FakeNet* f = current;
    const int call = ++f->creates;
    {
      std::unique_lock lock(f->mutex);
      f->cv.wait_for(lock, std::chrono::seconds(10),
                     [f, call] { return !f->hold || (f->holdOnly != 0 && f->holdOnly != call); });
    }
    HSTREAM h = f->failCreate ? 0 : f->real.BASS_StreamCreateFile(FALSE, f->audioPath.c_str(), 0, 0, flags);
    f->channel = h;
    f->createReturned = true;
    ++f->returned;
    return h;
  }
  static const char* CALLBACK GetTags(DWORD h, DWORD type) {
    FakeNet* f = current;
    std::lock_guard lock(f->mutex);
    switch (type) {
      case BASS_TAG_HTTP: return f->http.empty() ? nullptr : f->http.c_str();
      case BASS_TAG_ICY: return f->icy.empty() ? nullptr : f->icy.c_str();
      case BASS_TAG_META: return f->meta.empty() ? nullptr : f->meta.c_str();
      case BASS_TAG_ID3: return f->id3v1.empty() ? nullptr : f->id3v1.c_str();
      default: return f->real.BASS_ChannelGetTags(h, type);
    }
  }
  static HSYNC CALLBACK SetSync(DWORD h, DWORD type, QWORD param, SYNCPROC* proc, void* user) {
    FakeNet* f = current;
    if (type == BASS_SYNC_META) {
      f->metaProc = proc;
      f->metaUser = user;
      return 0x7001;
    }
    if (type == BASS_SYNC_DOWNLOAD) {
      f->downloadProc = proc;
      f->downloadUser = user;
      return 0x7002;
    }
    return f->real.BASS_ChannelSetSync(h, type, param, proc, user);
  }
  static QWORD CALLBACK FilePosition(DWORD, DWORD mode) {
    FakeNet* f = current;
    switch (mode) {
      case BASS_FILEPOS_CURRENT: return f->decodePos;
      case BASS_FILEPOS_DOWNLOAD: return f->download;
      case BASS_FILEPOS_END: return f->end;
      case BASS_FILEPOS_CONNECTED: return f->connected;
      default: return QWORD(-1);
    }
  }
  static DWORD CALLBACK GetConfig(DWORD option) {
    FakeNet* f = current;
    if (option == BASS_CONFIG_NET_TIMEOUT && f->netTimeout >= 0) return DWORD(f->netTimeout.load());
    return f->real.BASS_GetConfig(option);
  }
};

}  // namespace enginetest
