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

// True when a header line "[group]" (blanks and a CR around it allowed) is in `text`.
static bool HasGroup(const std::string& text, const std::string& group) {
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t nl = text.find('\n', pos);
    std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.pop_back();
    size_t b = line.find_first_not_of(" \t");
    if (b != std::string::npos && line.substr(b) == "[" + group + "]") return true;
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  return false;
}

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
    const bool groupExisted = HasGroup(text, g);
    edit.Remove(g, "audio/x-orvella");
    if (had) continue;
    if (edit.Get(g, "audio/x-orvella").has_value()) __builtin_trap();
    const std::string back = edit.Text();
    if (groupExisted) {
      // Our line went in and out of the user's group: the file is the user's again, byte for byte.
      if (back != text) __builtin_trap();
    } else {
      // Only the group we had to add stays behind, after the user's whole text.
      if (back.compare(0, text.size(), text) != 0) __builtin_trap();
      if (back.substr(text.size()).find_first_not_of("\r\n") != back.substr(text.size()).find('[')) __builtin_trap();
    }
  }
  return 0;
}
