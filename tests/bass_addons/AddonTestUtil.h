// Helpers of the add-on tests: temporary folders, commands, generated media, reading channels.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bass/bass.h"
#include "tests/bass/BassTestUtil.h"

namespace at {

// Scratch folders, shell runs and whole-file reads and writes are the core tests' own.
using bt::ReadFile;
using bt::Run;
using bt::TempFolder;
using bt::WriteFile;

inline std::string AddonPath(const std::string& name) {
  return std::string(ORVELLA_STAGE_DIR) + "/plugins/bass/" + name + ".so";
}

// Reads a decoding channel to its end (bounded by "limit" bytes).
inline std::vector<uint8_t> ReadAll(DWORD handle, size_t limit = 64u << 20) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buf(65536);
  while (out.size() < limit) {
    DWORD n = BASS_ChannelGetData(handle, buf.data(), DWORD(buf.size()));
    if (n == DWORD(-1) || n == 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n);
  }
  return out;
}

// The silent output: no device needed, decoding channels only.
struct BassSession {
  BassSession() { ok = BASS_Init(0, 44100, 0, nullptr, nullptr) != FALSE; }
  ~BassSession() {
    BASS_Free();  // frees the channels, so every add-on can go
    BASS_PluginFree(0);
  }
  bool ok = false;
};

}  // namespace at
