// Language files: "language/<name>.ini", section "Interface". Each key names a
// text of a window (a caption, a hint, a filter, a column header) or a text the
// program composes other texts from ("String..." keys). Applying a file reads
// every key in a fixed order with the target's current text as the default, so
// an absent key leaves the text as it was.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace app {

inline constexpr const char* kInterfaceSection = "Interface";

// A window whose texts a language file can replace. `path` is the key without
// the window name: "Caption" (the window's own caption), "PMPlay.Caption",
// "ListView1.Column[0].Caption", "StringFiles".
class ILanguageTarget {
 public:
  virtual ~ILanguageTarget() = default;
  // False when the window has no such text.
  virtual bool GetLangText(const std::string& path, std::string& text) const = 0;
  virtual void SetLangText(const std::string& path, const std::string& text) = 0;
};

// Texts bound to getters and setters; windows fill it with their controls.
class TLangBindings : public ILanguageTarget {
 public:
  void Bind(const std::string& path, std::function<std::string()> get, std::function<void(const std::string&)> set);
  // A text held only in memory (String keys and controls a window does not show yet).
  void BindStored(const std::string& path, std::string initial = {});
  bool GetLangText(const std::string& path, std::string& text) const override;
  void SetLangText(const std::string& path, const std::string& text) override;
  bool Has(const std::string& path) const { return bindings_.count(path) != 0; }
  // Current text ("" when unbound).
  std::string Text(const std::string& path) const;

 private:
  struct Binding {
    std::function<std::string()> get;
    std::function<void(const std::string&)> set;
  };
  std::map<std::string, Binding> bindings_;
  std::map<std::string, std::string> stored_;
};

// All keys in the order they are read and applied.
const std::vector<std::string>& LanguageKeys();
// The window names a key may start with ("FormEq", "FormPL", ...).
const std::vector<std::string>& LanguageWindowNames();

// Splits a key into its window name ("" for the main window) and path.
std::pair<std::string, std::string> SplitLanguageKey(const std::string& key);

// Path of the language file `name` under `programFolder`.
std::string LanguageFilePath(const std::string& programFolder, const std::string& name);

// Applies the file's texts in key order. `windowFor("")` is the main window;
// a null target skips its keys. A missing file changes nothing.
void ApplyLanguageFile(const std::string& path, const std::function<ILanguageTarget*(const std::string&)>& windowFor);

}  // namespace app
