// INI files: any bytes load; reads, writes and the saved text stay consistent.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "platform/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    // TMPDIR (a memory file system in `make fuzz`): rewriting a file on disk costs a flush each run.
    const char* dir = std::getenv("TMPDIR");
    std::string tmpl = std::string(dir && *dir ? dir : "/tmp") + "/orvella-fuzz-ini-XXXXXX";
    int fd = mkstemp(tmpl.data());
    if (fd >= 0) close(fd);
    return tmpl;
  }();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  platform::IniFile ini(path);
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string section = text.substr(0, text.find(']'));
  ini.ReadString("Options", "Language", "English");
  ini.ReadInteger(section, "volume", 255);
  ini.WriteString(section, "key", "value");
  ini.WriteInteger("Options", "pan", -5);
  // What was written reads back, in memory and after a save and reload.
  if (ini.ReadInteger("Options", "pan", 0) != -5) __builtin_trap();
#ifndef ORVELLA_LIBFUZZER  // a save syncs to disk: the driver test covers it, the fuzzer reads the text back
  if (!ini.Save()) return 0;
#else
  if (FILE* back = std::fopen(path.c_str(), "wb")) {
    const std::string saved = ini.Text();
    std::fwrite(saved.data(), 1, saved.size(), back);
    std::fclose(back);
  }
#endif
  platform::IniFile again(path);
  if (again.ReadInteger("Options", "pan", 0) != -5) __builtin_trap();
  return 0;
}
