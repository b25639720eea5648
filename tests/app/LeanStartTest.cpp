// What start-up maps: libraries only some runs need (the network library, the MIDI synthesiser)
// are opened when first used, not at start.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "AppTestUtil.h"
#include "app/Main.h"
#include "platform/MessageBox.h"

namespace {

std::string Maps() {
  std::ifstream in("/proc/self/maps");
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(AppLeanStart, StartUpMapsNeitherTheNetworkLibraryNorTheSynthesiser) {
  apptest::ProgramDir dir;
  const std::string plugin = std::string(ORVELLA_STAGE_DIR) + "/plugins/in_midi.so";
  ASSERT_TRUE(std::filesystem::exists(plugin));
  std::filesystem::create_symlink(plugin, dir.File("plugins/in_midi.so"));
  platform::MessageRecorder rec;
  apptest::Player p;  // shown: the whole start-up sequence ran
  const std::string maps = Maps();
  // The start-up sequence loaded the MIDI input plug-in and the audio library...
  ASSERT_NE(maps.find("in_midi.so"), std::string::npos);
  ASSERT_NE(maps.find("bass.so"), std::string::npos);
  // ...but none of what they open on first use.
  EXPECT_EQ(maps.find("libfluidsynth"), std::string::npos);
  EXPECT_EQ(maps.find("libcurl"), std::string::npos);
  EXPECT_EQ(maps.find("libfftw3"), std::string::npos);
}

}  // namespace
