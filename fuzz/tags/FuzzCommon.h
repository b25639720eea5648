// Shared by the tag fuzz targets: a scratch file per process that holds the
// current input, so the file entry points see the same bytes as the memory ones.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace fuzztags {

inline const std::string& ScratchFile() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = tmp && *tmp ? tmp : "/tmp";
    return dir + "/orvella-fuzz-tags-" + std::to_string(::getpid()) + ".bin";
  }();
  static const struct Cleanup {
    ~Cleanup() { std::remove(path.c_str()); }
  } cleanup;
  return path;
}

inline const std::string& WriteScratch(const uint8_t* data, size_t size) {
  const std::string& path = ScratchFile();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  return path;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A property that must hold: abort so the fuzzer reports the input.
inline void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
  }
}

}  // namespace fuzztags
