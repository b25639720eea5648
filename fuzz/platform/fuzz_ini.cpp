// INI files: any bytes load; reads, writes and the saved text stay consistent.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "platform/IniFile.h"
#include "../ScratchFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = MakeFuzzScratchFile("ini");
  if (!WriteFuzzInput(path, data, size)) return 0;
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
