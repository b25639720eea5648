// The SDL device output, opened on SDL's dummy driver.
#include "BassTestUtil.h"

#include <dlfcn.h>
#include <signal.h>

namespace {

bool SdlMapped() {
  void* h = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

// Each test runs in a process of its own: SDL2 must not be in it before its output is chosen.
TEST(SdlOutput, SdlIsLoadedOnlyWhenItsOutputIsChosenAndThenPlays) {
  unsetenv("ORVELLA_BASS_CAPTURE");
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("ORVELLA_BASS_OUTPUT", "silent", 1);
  ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, nullptr));
  EXPECT_FALSE(SdlMapped());
  BASS_Free();
  EXPECT_FALSE(SdlMapped());

  setenv("ORVELLA_BASS_OUTPUT", "sdl", 1);
  ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, nullptr));
  EXPECT_TRUE(SdlMapped());
  // The device really pulls sound: a stream's position moves on.
  bt::TempFolder dir;
  std::string wav = bt::Generate(dir / "tone.wav", "-c:a pcm_s16le", 3.0);
  HSTREAM h = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_ChannelGetPosition(h, BASS_POS_BYTE) > 44100u; }, 20));  // a quarter second
  BASS_StreamFree(h);
  BASS_Free();
}

TEST(SdlOutput, TheSdlDeviceLeavesTheProgramsSignalsAlone) {
  unsetenv("ORVELLA_BASS_CAPTURE");
  unsetenv("ORVELLA_BASS_OUTPUT");
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("ORVELLA_BASS_OUTPUT", "sdl", 1);
  ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, nullptr));
  struct sigaction term {}, intr {};
  sigaction(SIGTERM, nullptr, &term);
  sigaction(SIGINT, nullptr, &intr);
  // A command-line player stopped with kill must end; an application keeps its own handlers.
  EXPECT_EQ(term.sa_handler, SIG_DFL);
  EXPECT_EQ(intr.sa_handler, SIG_DFL);
  BASS_Free();
}

}  // namespace
