// orvella: the command-line companion of the player.
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kVersion = "1.4";

void PrintHelp(FILE* out) {
  std::fprintf(out,
               "Usage: orvella COMMAND [OPTIONS] [FILE...]\n"
               "\n"
               "Drives the Orvella Player engine, tag readers and playlist code without a window.\n"
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
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    PrintHelp(stdout);
    return 0;
  }
  if (cmd == "--version") {
    std::printf("orvella (Orvella Player) %s\n", kVersion);
    return 0;
  }
  std::fprintf(stderr, "orvella: unknown command '%s'\n", cmd.c_str());
  PrintHelp(stderr);
  return 2;
}
