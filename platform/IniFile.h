// INI files with the semantics of the classic private-profile functions:
// section and key names are case-insensitive, one pair of enclosing quotes is
// stripped from values on read, values are cut at 2047 characters, a missing
// file or key gives the caller's default, integer reads give the default for
// non-numeric text. Writes keep every other section, key, comment and line end
// of the file, and replace the file atomically (temporary file, then rename),
// so a failed or interrupted write leaves the previous file as it was.
//
// Not thread-safe per object; separate objects on separate files are independent.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

constexpr size_t kIniMaxValue = 2047;
// Settings, language and chain files are small; a larger file is read only up to here
// (whole lines) and is never written back, so its tail cannot be lost by a save.
constexpr size_t kIniMaxFile = 16u << 20;

class IniFile {
 public:
  // Loads the file now (a missing or unreadable file is an empty document).
  explicit IniFile(std::string path);

  const std::string& Path() const { return path_; }

  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  bool HasKey(std::string_view section, std::string_view key) const;
  // Key names of a section, in file order.
  std::vector<std::string> Keys(std::string_view section) const;

  // Changes the document in memory; Save() writes it.
  // Line breaks in the section, key or value are written as blanks (one key, one line).
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  void DeleteKey(std::string_view section, std::string_view key);

  // Writes the document atomically. On failure (also for a file read only in part)
  // returns false and, when given, sets `error` to "Unable to write to <path>".
  bool Save(std::string* error = nullptr);

  // The text the document would be saved as.
  std::string Text() const;

  // Test hook for every writer of user data: called before each write step ("open",
  // "write", "sync", "rename") of WriteFileAtomic and of the tag writers; returning false
  // makes that step fail as if the system had refused it. Process-wide: set it before a
  // writer's thread starts and clear it after that thread has finished.
  static void SetFaultHook(std::function<bool(std::string_view step)> hook);

 private:
  struct Line {
    std::string text;  // without the line end
  };
  std::optional<size_t> FindSection(std::string_view section) const;
  std::optional<size_t> FindKey(size_t sectionLine, std::string_view key) const;
  size_t SectionEnd(size_t sectionLine) const;

  std::string path_;
  std::vector<Line> lines_;
  std::string eol_ = "\r\n";
  bool finalEol_ = true;
  bool partial_ = false;  // the file was larger than kIniMaxFile
};

// The private-profile style calls: each opens, reads or changes, and (for writes)
// saves the file at once. Writes return false when the file cannot be written.
std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view def,
                                    const std::string& path);
int GetPrivateProfileInt(std::string_view section, std::string_view key, int def, const std::string& path);
bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path);

// Writes `data` to `path` atomically: a temporary file in the same folder, flushed
// and synced, then renamed over the target. The target is untouched on failure.
// Asks the test hook whether the named write step may go ahead; false sets errno to EIO.
bool WriteStepAllowed(std::string_view step);

bool WriteFileAtomic(const std::string& path, std::string_view data);

}  // namespace platform
