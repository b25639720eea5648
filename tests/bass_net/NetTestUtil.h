// Shared pieces of the network stream tests: library set-up, thread counting, ICY bodies.
#pragma once

#include "../bass/BassTestUtil.h"
#include "TestServer.h"

#include <dirent.h>

#include <mutex>

namespace nt {

inline int ThreadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

// Waits (at most "ms") until the process has "n" threads again.
inline int WaitThreads(int n, int ms = 3000) {
  for (int i = 0; i < ms / 10 && ThreadCount() != n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return ThreadCount();
}

inline long long MsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("ORVELLA_BASS_CAPTURE");
    setenv("ORVELLA_BASS_OUTPUT", "silent", 1);
    ASSERT_TRUE(BASS_Init(1, 44100, 0, nullptr, nullptr));
    BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 1000);
    baseThreads_ = ThreadCount();
  }
  void TearDown() override { BASS_Free(); }
  int baseThreads_ = 0;
};

// One ICY metadata block for "text" (length byte + text padded to 16 bytes).
inline std::string MetaBlock(const std::string& text) {
  size_t blocks = (text.size() + 15) / 16;
  std::string b(1, char(blocks));
  b += text;
  b.append(blocks * 16 - text.size(), '\0');
  return b;
}

// Reads a decoding channel to its end; a stall is waited out (at most "ms" in all).
inline std::vector<uint8_t> DecodeNet(DWORD h, int ms = 20000) {
  std::vector<uint8_t> out, buf(12345);
  auto t0 = std::chrono::steady_clock::now();
  while (MsSince(t0) < ms) {
    DWORD n = BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));
    if (n == DWORD(-1)) break;
    if (n == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    out.insert(out.end(), buf.begin(), buf.begin() + n);
  }
  return out;
}

inline std::vector<uint8_t> Bytes(const std::string& path) { return bt::ReadFile(path); }

}  // namespace nt
