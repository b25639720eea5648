// The SDL device output, opened on SDL's dummy driver.
#include "BassTestUtil.h"

#include <signal.h>

namespace {

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
