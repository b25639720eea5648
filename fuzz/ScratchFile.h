// The file a fuzz target writes its input into, for readers that take only a path.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A new empty file named after `tag`, in TMPDIR (a memory file system in `make fuzz`):
// rewriting a file on disk costs a flush each run.
inline std::string MakeFuzzScratchFile(const char* tag) {
  const char* dir = std::getenv("TMPDIR");
  std::string tmpl = std::string(dir && *dir ? dir : "/tmp") + "/orvella-fuzz-" + tag + "-XXXXXX";
  int fd = mkstemp(tmpl.data());
  if (fd >= 0) close(fd);
  return tmpl;
}

// Replaces the file's bytes with the input; false when it cannot be written.
inline bool WriteFuzzInput(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  if (size) std::fwrite(data, 1, size, f);  // an empty input may come as a null pointer
  std::fclose(f);
  return true;
}
