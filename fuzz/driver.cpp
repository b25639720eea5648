// Stand-alone driver for fuzz targets when libFuzzer is not in use: feeds the
// target with seed files given on the command line, then with deterministic
// pseudo-random and mutated inputs, so every build exercises the parsers a little.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  long runs = 2000;
  std::vector<std::vector<uint8_t>> seeds;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--runs=", 7) == 0) {
      runs = std::strtol(argv[i] + 7, nullptr, 10);
      continue;
    }
    std::ifstream in(argv[i], std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  for (auto& s : seeds) LLVMFuzzerTestOneInput(s.data(), s.size());
  std::mt19937 rng(12345);
  for (long r = 0; r < runs; ++r) {
    std::vector<uint8_t> buf;
    if (!seeds.empty() && (r & 1)) {
      buf = seeds[rng() % seeds.size()];
      size_t flips = 1 + rng() % 8;
      for (size_t f = 0; f < flips && !buf.empty(); ++f) buf[rng() % buf.size()] = uint8_t(rng());
      if (rng() % 4 == 0 && !buf.empty()) buf.resize(rng() % buf.size());
    } else {
      buf.resize(rng() % 4096);
      for (auto& b : buf) b = uint8_t(rng());
    }
    LLVMFuzzerTestOneInput(buf.data(), buf.size());
  }
  std::printf("%ld runs done\n", runs + long(seeds.size()));
  return 0;
}
