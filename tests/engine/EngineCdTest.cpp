// CD audio through a disc image registered as a drive.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"

using namespace engine;
using namespace enginetest;

namespace {

// Two audio tracks of 16-bit stereo PCM, 75 and 45 sectors long (1 s and 0.6 s).
std::string MakeDisc(const ScratchDir& dir) {
  std::string bin;
  const size_t frames1 = 75 * 588, frames2 = 45 * 588;
  for (size_t i = 0; i < frames1 + frames2; ++i) {
    double hz = i < frames1 ? 440 : 660;
    auto v = static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * hz * double(i) / 44100)));
    for (int ch = 0; ch < 2; ++ch) bin.append(reinterpret_cast<const char*>(&v), 2);
  }
  WriteFile(dir.File("disc.bin"), bin);
  WriteFile(dir.File("disc.cue"),
            "FILE \"disc.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
            "  TRACK 02 AUDIO\r\n    INDEX 01 00:01:00\r\n");
  return bin;
}

}  // namespace

TEST(EngineCD, ADiscImageIsADriveWithExactTracksThatPlay) {
  ProgramDir dir;
  std::string bin = MakeDisc(dir);
  // The add-on may already be loaded by an earlier engine of this process: register the image
  // through its own export rather than the variable it reads at its first call.
  void* cdLib = ::dlopen(dir.File("plugins/bass/basscd.so").c_str(), RTLD_NOW);
  ASSERT_NE(cdLib, nullptr);
  auto addImage = reinterpret_cast<DWORD (*)(const char*)>(::dlsym(cdLib, "ORV_CD_AddImage"));
  auto clearImages = reinterpret_cast<void (*)()>(::dlsym(cdLib, "ORV_CD_ClearImages"));
  ASSERT_NE(addImage, nullptr);
  ASSERT_NE(clearImages, nullptr);
  ASSERT_NE(addImage(dir.File("disc.cue").c_str()), DWORD(-1));
  std::string out = dir.File("cd.wav");
  {
    CaptureOutput capture(out, 1);
    platform::MessageRecorder msgs;
    TZOZUZivade eng;
    ASSERT_TRUE(eng.CDReady());
    ASSERT_GE(eng.CDDriveCount(), 1);
    // The image comes after any real drives.
    int drive = eng.CDDriveCount() - 1;
    std::string letter(1, char('A' + drive));
    EXPECT_EQ(eng.CDDriveList()[drive].substr(0, 3), letter + ": ");
    EXPECT_NE(eng.GetNativeFileExts().find("*.cda;"), std::string::npos);

    std::string track2 = letter + ":/Track02.cda";
    TStreamInfo info;
    int sb = -1, pn = 0;
    std::string pname;
    ASSERT_TRUE(eng.GetStreamInfo(track2, info, sb, pn, pname));
    EXPECT_EQ(info.FileSize, 45u * 2352);
    EXPECT_EQ(info.Duration, 600);
    EXPECT_EQ(info.Track, 1);
    EXPECT_EQ(info.Format, 0x10200);
    EXPECT_EQ(FormatName(info.Format), "CD Track");
    EXPECT_EQ(info.BitRate, 1411);

    int ends = 0;
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
    ASSERT_TRUE(eng.Open(track2));
    EXPECT_EQ(eng.StreamKind(), TZOZUZivade::skCD);
    EXPECT_EQ(eng.DecoderName(), "basscd.so");
    EXPECT_EQ(eng.GetLength(), 600u);
    eng.Play();
    ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 20000));
    for (const auto& m : msgs.Messages()) ADD_FAILURE() << m.text;
  }
  clearImages();
  ::dlclose(cdLib);
  std::vector<int16_t> cap = ReadWav16(out);
  std::vector<int16_t> expected((bin.size() - 75 * 2352) / 2);
  std::memcpy(expected.data(), bin.data() + 75 * 2352, expected.size() * 2);
  ASSERT_GE(cap.size(), expected.size());
  int worst = 0;
  for (size_t i = 0; i < expected.size(); ++i)
    worst = std::max(worst, std::abs(int(std::lround(expected[i] * 0.9945)) - cap[i]));
  EXPECT_LE(worst, 2);
}
