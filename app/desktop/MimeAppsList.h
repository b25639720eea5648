// An editor for a freedesktop "mimeapps.list" that owns only the lines it is
// asked to change: every other byte of the file (comments, other groups,
// invalid UTF-8, lines without '=', CR LF or missing final line ends) is kept
// as it was read. Plain data, no I/O; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app::desktop {

class TMimeAppsList {
 public:
  explicit TMimeAppsList(std::string_view text = {});

  // Value of `key` in the first group named `group` (surrounding blanks and a
  // trailing CR removed); nothing when absent.
  std::optional<std::string> Get(std::string_view group, std::string_view key) const;
  // Replaces the key's line, or adds one at the end of the group (the group is
  // appended when absent).
  void Set(std::string_view group, std::string_view key, std::string_view value);
  // Removes the key's line from the group; nothing else changes.
  void Remove(std::string_view group, std::string_view key);

  std::string Text() const;

 private:
  struct Line {
    std::string text;  // without its line end
    std::string eol;   // "\n", "\r\n" or "" for a last line without one
  };
  // Index of the group header line, or npos.
  size_t FindGroup(std::string_view group) const;
  // Index of the key line inside the group starting at `header`, or npos.
  size_t FindKey(size_t header, std::string_view key) const;
  // One past the group's last non-blank line.
  size_t GroupEnd(size_t header) const;
  std::string NewLineEnd() const;

  std::vector<Line> lines_;
};

}  // namespace app::desktop
