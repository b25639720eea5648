// The user's mimeapps.list: any bytes load; an untouched file is given back
// byte for byte, our key reads back what was set, and removing it restores
// exactly the lines that were there before it was added.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "app/desktop/MimeAppsList.h"

using app::desktop::TMimeAppsList;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TMimeAppsList list(text);
  if (list.Text() != text) __builtin_trap();

  // A group and key taken from the input itself, so collisions with its own lines happen.
  const std::string group = text.substr(0, std::min<size_t>(text.find('\n'), 12));
  for (const std::string& g : {std::string("Default Applications"), group}) {
    if (g.find_first_of("[]\r\n") != std::string::npos) continue;
    TMimeAppsList edit(text);
    const bool had = edit.Get(g, "audio/x-orvella").has_value();
    edit.Set(g, "audio/x-orvella", "orvella-player.desktop;");
    if (edit.Get(g, "audio/x-orvella") != std::optional<std::string>("orvella-player.desktop;")) __builtin_trap();
    // The set text loads again with the same answer.
    TMimeAppsList again(edit.Text());
    if (again.Get(g, "audio/x-orvella") != std::optional<std::string>("orvella-player.desktop;")) __builtin_trap();
    edit.Remove(g, "audio/x-orvella");
    if (edit.Get(g, "audio/x-orvella").has_value() && !had) __builtin_trap();
  }
  return 0;
}
