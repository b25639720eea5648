// The engine's one error box. Messages are translated through the first
// "lang_*.txt" file of the program folder, read once per run. UI thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace engine {

// Larger "lang_*.txt" files are not read: the messages stay in English.
inline constexpr uint64_t kMaxTranslationFileBytes = 1u << 20;

class TErrorBox {
 public:
  // `folder`: where "lang_*.txt" is looked for (the program folder).
  explicit TErrorBox(std::string folder);

  // Shows `message` (its first line translated when the file has it).
  void ShowError(const std::string& message);
  // Shows `message` translated as ShowError does, with "\r\n(error code: N)" after it.
  void ShowBASSError(const std::string& message, int errorCode);

  // The text and caption ShowError would show.
  std::pair<std::string, std::string> Compose(const std::string& message);

  // Parses a translation file's text (exposed for tests and the fuzz target).
  void LoadTranslations(std::string_view text);
  void Drop();

 private:
  void EnsureLoaded();
  std::string folder_;
  bool loaded_ = false;
  std::vector<std::pair<std::string, std::string>> table_;
  std::string caption_ = "Error";
};

}  // namespace engine
