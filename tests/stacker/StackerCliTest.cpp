// The stacker in a real host, headless: `orvella play --dsp` through a copy of
// dsp_pilvo3.so whose plugin.ini chains two -6 dB gains.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "StackerTestUtil.h"

using namespace stackertest;

namespace {

void WriteWav(const std::string& path, const std::vector<short>& samples) {
  std::ofstream f(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
  uint32_t bytes = uint32_t(samples.size() * 2);
  f.write("RIFF", 4);
  u32(36 + bytes);
  f.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(2);
  u32(44100);
  u32(44100 * 4);
  u16(4);
  u16(16);
  f.write("data", 4);
  u32(bytes);
  f.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

// The samples of a 16-bit WAV file's data chunk.
std::vector<short> ReadWav(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::string d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  size_t at = 12;
  while (at + 8 <= d.size()) {
    uint32_t size;
    std::memcpy(&size, d.data() + at + 4, 4);
    if (d.compare(at, 4, "data") == 0) {
      size = uint32_t(std::min<size_t>(size, d.size() - at - 8));
      std::vector<short> s(size / 2);
      std::memcpy(s.data(), d.data() + at + 8, s.size() * 2);
      return s;
    }
    at += 8 + size + (size & 1);
  }
  return {};
}

int RunCommand(const std::string& cmd, std::string* out) {
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) *out += buf;
  return pclose(p);
}

}  // namespace

TEST(StackerCli, TwoGainsInTheChainPlayAFile12dBLower) {
  PluginFolder dir;
  dir.Copy("dsp_orvella.so");
  dir.Copy("dsp_orvella.so", "dsp_orvella_b.so");
  std::string stacker = dir.Copy("dsp_pilvo3.so");
  dir.Write("plugin.ini", "[Pilvo]\nPlugins=dsp_orvella.so,0,1 dsp_orvella_b.so,0,1\n");
  WriteWav(dir.File("in.wav"), Sine(44100, 44100));
  const std::string orvella = std::string(ORVELLA_STAGE_DIR) + "/orvella";
  std::string log;
  ASSERT_EQ(RunCommand(orvella + " play --fast --out " + dir.File("plain.wav") + " " + dir.File("in.wav"), &log), 0) << log;
  log.clear();
  ASSERT_EQ(RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY " + orvella + " play --fast --out " + dir.File("chain.wav") +
                    " --dsp " + stacker + ":0 " + dir.File("in.wav"),
                &log),
            0)
      << log;
  EXPECT_NE(log.find("dsp " + stacker + " module 0"), std::string::npos) << log;
  auto plain = ReadWav(dir.File("plain.wav"));
  auto chain = ReadWav(dir.File("chain.wav"));
  ASSERT_GT(plain.size(), 40000u);
  ASSERT_EQ(chain.size(), plain.size());
  // Skip the edges; compare the level of what was heard with and without the chain.
  size_t from = 4410 * 2, n = plain.size() - 2 * from;
  double db = 20 * std::log10(Rms(chain.data() + from, n) / Rms(plain.data() + from, n));
  EXPECT_NEAR(db, -12.0, 0.05);
  // Quit saved the chain back, headless (no window keys were there to keep).
  EXPECT_EQ(dir.Read("plugin.ini"), "[Pilvo]\nPlugins=dsp_orvella.so,0,1 dsp_orvella_b.so,0,1\n");
}
