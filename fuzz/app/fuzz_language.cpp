// Language files: any bytes apply without harm; every text bound by a window gets
// either its own default or a value from the file, cut at the INI value limit, and
// keys that are not language keys change nothing.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Language.h"
#include "platform/IniFile.h"
#include "../ScratchFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = MakeFuzzScratchFile("lang");
  if (!WriteFuzzInput(path, data, size)) return 0;
  // Two windows: the main one and the playlist; the others are absent.
  app::TLangBindings main, pl;
  for (const std::string& key : app::LanguageKeys()) {
    auto [window, sub] = app::SplitLanguageKey(key);
    if (window.empty()) main.BindStored(sub, "default");
    else if (window == "FormPL") pl.BindStored(sub, "default");
  }
  app::ApplyLanguageFile(path, [&](const std::string& window) -> app::ILanguageTarget* {
    if (window.empty()) return &main;
    if (window == "FormPL") return &pl;
    return nullptr;
  });
  for (const std::string& key : app::LanguageKeys()) {
    auto [window, sub] = app::SplitLanguageKey(key);
    if (!window.empty() && window != "FormPL") continue;
    const std::string text = (window.empty() ? main : pl).Text(sub);
    if (text.size() > platform::kIniMaxValue) std::abort();
  }
  return 0;
}
