#include "engine/ErrorBox.h"

#include <fstream>
#include <iterator>

#include "platform/MessageBox.h"
#include "platform/Paths.h"

namespace engine {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

std::string Upper(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return r;
}

}  // namespace

TErrorBox::TErrorBox(std::string folder) : folder_(std::move(folder)) {}

void TErrorBox::EnsureLoaded() {
  if (loaded_) return;
  loaded_ = true;
  auto files = platform::FindFiles(folder_, "lang_*.txt");
  if (files.empty()) return;
  std::ifstream in(platform::WithSlash(folder_) + files.front(), std::ios::binary | std::ios::ate);
  const std::streamoff size = in.tellg();
  // A translation table is a few kilobytes; a larger file is not one and is left unread.
  if (!in || size < 0 || uint64_t(size) > kMaxTranslationFileBytes) return;
  in.seekg(0);
  std::string text(static_cast<size_t>(size), '\0');
  if (!in.read(text.data(), size)) return;
  LoadTranslations(text);
}

void TErrorBox::LoadTranslations(std::string_view text) {
  loaded_ = true;
  table_.clear();
  caption_ = "Error";
  bool reading = false, seenOwn = false;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.substr(0, 2) == "//") continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      std::string name = Upper(Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
      if (name == "TZOZUZIVADE") {
        reading = seenOwn = true;
      } else if (name == "COMMON") {
        reading = true;
      } else {
        if (seenOwn) break;  // the engine's section is over
        reading = false;
      }
      continue;
    }
    if (!reading) continue;
    char first = line.front();
    if (first == '$' || first == '&' || first == '*' || first == '^') continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = Trim(line.substr(0, eq));
    std::string_view value = Trim(line.substr(eq + 1));
    if (!value.empty() && value.front() == '"') value.remove_prefix(1);
    if (!value.empty() && value.back() == '"') value.remove_suffix(1);
    if (value.empty()) continue;
    table_.emplace_back(std::string(key), std::string(value));
    if (key == "Error") caption_ = std::string(value);
  }
}

std::pair<std::string, std::string> TErrorBox::Compose(const std::string& message) {
  EnsureLoaded();
  size_t nl = message.find('\n');
  std::string first = message.substr(0, nl);
  for (const auto& [key, value] : table_) {
    if (key == first) {
      std::string text = value;
      if (nl != std::string::npos) text += "\n" + message.substr(nl + 1);
      return {text, caption_};
    }
  }
  return {message, caption_};
}

void TErrorBox::ShowError(const std::string& message) {
  auto [text, caption] = Compose(message);
  platform::ShowMessage(text, caption, platform::MsgIcon::Error);
}

void TErrorBox::ShowBASSError(const std::string& message, int errorCode) {
  // Looked up without the code: a translation key never carries it.
  auto [text, caption] = Compose(message);
  text += "\r\n(error code: " + std::to_string(errorCode) + ")";
  platform::ShowMessage(text, caption, platform::MsgIcon::Error);
}

void TErrorBox::Drop() {
  table_.clear();
  caption_ = "Error";
  loaded_ = false;
}

}  // namespace engine
