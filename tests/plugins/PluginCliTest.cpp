// orvella play with plug-in options: a DSP module, an input plug-in, single-channel.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "EngineTestUtil.h"

using namespace enginetest;

namespace {

const std::string kOrvella = std::string(ORVELLA_STAGE_DIR) + "/orvella";

double Peak(const std::vector<int16_t>& s) {
  int peak = 0;
  for (int16_t v : s) peak = std::max(peak, std::abs(int(v)));
  return peak;
}

}  // namespace

TEST(OrvellaPlayPlugins, ADSPModuleAndSingleChannelChangeWhatIsHeard) {
  ScratchDir dir;
  std::string wav = SineWav(1.0, 1000);
  int status = -1;
  std::string out = enginetest::Run(kOrvella + " play --fast --out " + Quote(dir.File("plain.wav")) + " --single-channel " +
                            Quote(wav) + " 2>&1",
                        &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("channel mode single"), std::string::npos) << out;
  out = enginetest::Run(kOrvella + " play --fast --out " + Quote(dir.File("gain.wav")) + " --dsp dsp_orvella.so:0 " + Quote(wav) +
                " 2>&1",
            &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("dsp dsp_orvella.so module 0"), std::string::npos) << out;
  EXPECT_NE(out.find("channel mode dual"), std::string::npos) << out;
  double plain = Peak(ReadWav16(dir.File("plain.wav"))), gain = Peak(ReadWav16(dir.File("gain.wav")));
  ASSERT_GT(plain, 1000);
  EXPECT_NEAR(20 * std::log10(gain / plain), -6.0, 0.05);

  out = enginetest::Run(kOrvella + " play --dsp dsp_orvella.so:9 " + Quote(wav) + " 2>&1", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("Invalid module number"), std::string::npos) << out;
  enginetest::Run(kOrvella + " play --dsp 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
}

TEST(OrvellaPlayPlugins, AnInputPluginPlaysItsFiles) {
  ScratchDir dir;
  std::string file = dir.File("tone.tpcm");
  std::filesystem::copy_file(SineWav(1.0, 700), file);
  std::string plugin = std::string(ORV_TEST_PLUGINS) + "/in_testpcm.so";
  int status = -1;
  std::string out = enginetest::Run(kOrvella + " play --fast --out " + Quote(dir.File("o.wav")) + " --input-plugin " +
                            Quote(plugin) + " " + Quote(file) + " 2>&1",
                        &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("input plug-in " + plugin + ": Test PCM decoder"), std::string::npos) << out;
  EXPECT_NE(out.find("event OnGetChannelInfo 128 kbit/s 44100 Hz 2 channel(s)"), std::string::npos) << out;
  EXPECT_NE(out.find("event OnPluginStartPlay 44100 Hz 16 bits 2 channel(s)"), std::string::npos) << out;
  EXPECT_NEAR(double(ReadWav16(dir.File("o.wav")).size()), 88200.0, 300);

  out = enginetest::Run(kOrvella + " play --input-plugin " + Quote(dir.File("in_none.so")) + " " + Quote(file) + " 2>&1", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("Load denied : Unknown Error"), std::string::npos) << out;
}

TEST(OrvellaPlayPlugins, AVisualisationModuleRunsHeadlessForTheWholePlayback) {
  ScratchDir dir;
  std::string wav = SineWav(2.0, 1000);
  int status = -1;
  std::string image = dir.File("vis.ppm");
  std::string out = enginetest::Run(kOrvella + " play --vis vis_orvella.so:2 --vis-image " + Quote(image) + " " +
                                        Quote(wav) + " 2>&1",
                                    &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("event OnVisWindowShow shown"), std::string::npos) << out;
  EXPECT_NE(out.find("vis vis_orvella.so:2 module 2"), std::string::npos) << out;
  size_t at = out.find("vis frames ");
  ASSERT_NE(at, std::string::npos) << out;
  EXPECT_GT(std::atoi(out.c_str() + at + 11), 40) << out;  // about 60 a second while the tone played
  // The frame as painted last: the spectrum's bars and the oscilloscope's trace are there.
  std::string ppm = ReadFile(image);
  ASSERT_EQ(ppm.rfind("P6\n400 240\n255\n", 0), 0u);
  const unsigned char* px = reinterpret_cast<const unsigned char*>(ppm.data()) + 15;
  ASSERT_EQ(ppm.size(), 15u + 400 * 240 * 3);
  int bar = 0, scope = 0;
  for (int i = 0; i < 400 * 240; ++i) {
    const unsigned char* p = px + 3 * i;
    if (p[0] == 0x30 && p[1] == 0xC0 && p[2] == 0xFF) ++bar;
    if (p[0] == 0x60 && p[1] == 0xFF && p[2] == 0x60) ++scope;
  }
  EXPECT_GT(bar, 50);
  EXPECT_GT(scope, 400);
  // A module index the library does not have: the start fails and says so.
  out = enginetest::Run(kOrvella + " play --vis vis_orvella.so:5 " + Quote(wav) + " 2>&1", &status);
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("did not start"), std::string::npos) << out;
}
