// orvella: the command-line companion of the player. It drives the same engine,
// readers and playlist code as the player, without a window.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace {

constexpr const char* kVersion = "1.4";

void PrintHelp(FILE* out) {
  std::fprintf(out,
               "Usage: orvella COMMAND [OPTIONS] [FILE...]\n"
               "\n"
               "Drives the Orvella Player engine, tag readers and playlist code without a window.\n"
               "\n"
               "Commands:\n"
               "  info [--json] FILE|URL... stream information of each file or address as the\n"
               "                            player reads it; exit status 0 when every one was\n"
               "                            recognised, else 1\n"
               "  play [OPTIONS] FILE|URL...\n"
               "                            play the files one after another through the engine,\n"
               "                            printing each mode change and event; exit status 0\n"
               "                            when every file played to its end\n"
               "      --out FILE.wav        write what would be heard to FILE.wav instead of the\n"
               "                            sound device\n"
               "      --fast                with --out: run the clock as fast as possible\n"
               "      --seek MS             seek to MS milliseconds after the start\n"
               "      --pause-at MS         pause when the position reaches MS ...\n"
               "      --resume-after MS     ... and resume after MS milliseconds\n"
               "      --duration MS         stop each file after MS milliseconds of sound (a radio\n"
               "                            stream never ends on its own)\n"
               "      --single-channel      play without the plug-in host's second channel\n"
               "      --dsp LIBRARY[:MODULE]\n"
               "                            run a DSP plug-in module (a name in plugins/, or a\n"
               "                            path) on the sound\n"
               "      --vis LIBRARY[:MODULE]\n"
               "                            run a visualisation plug-in module while playing\n"
               "      --vis-image FILE.ppm  with --vis: save its last picture\n"
               "      --input-plugin LIBRARY\n"
               "                            load a Winamp input plug-in first (may be repeated)\n"
               "  playlist FILE             the entries the player holds after loading FILE (.plf)\n"
               "                            or importing it (other kinds, after a line naming the\n"
               "                            detected kind), one per line as Title|File|Time\n"
               "  media [--json] FILE       the video properties of FILE, one Name=value per line\n"
               "                            (every media details field and Status); exit status 1\n"
               "                            when Status reports a failure\n"
               "  snapshot FILE --at MS --out FILE.bmp\n"
               "                            save the picture the player shows at MS milliseconds\n"
               "                            as a 24-bit bitmap, without a display\n"
               "\n"
               "Options:\n"
               "  --help       show this help and exit\n"
               "  --version    show the version and exit\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintHelp(stderr);
    return 2;
  }
  std::string cmd = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    PrintHelp(stdout);
    return 0;
  }
  if (cmd == "--version") {
    std::printf("orvella (Orvella Player) %s\n", kVersion);
    return 0;
  }
  if (cmd == "info") return cli::RunInfo(args);
  if (cmd == "play") return cli::RunPlay(args);
  if (cmd == "media") return cli::RunMedia(args);
  if (cmd == "snapshot") return cli::RunSnapshot(args);
  if (cmd == "playlist") return cli::RunPlaylist(args);
  std::fprintf(stderr, "orvella: unknown command '%s'\n", cmd.c_str());
  PrintHelp(stderr);
  return 2;
}
