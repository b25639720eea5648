// The stacker's files in its plug-in folder: plugin.ini (section "Pilvo": the
// window's place, shade and docking, and the chain), chain files (*.plv: the
// chain alone) and the description cache dsp_plv2.pic.
//
// plugin.ini is shared with the host and other plug-ins: every write re-reads
// the file, changes only the stacker's keys and replaces the file atomically,
// so other sections stay as they were and a failed write leaves the old file.
// User-interface thread only.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace pilvo {

struct TWindowSettings {
  bool HasPosition = false;  // "Window" held two integers
  int Left = 0, Top = 0;
  int Shade = 0;   // 1 shaded
  int Docked = 0;  // 0 none, 1 above, 2 right, 3 below, 4 left
};

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

std::string SettingsPath(const std::string& folder);  // folder + "/plugin.ini"
std::string CachePath(const std::string& folder);     // folder + "/dsp_plv2.pic"

TWindowSettings ReadWindowSettings(const std::string& iniPath);
// Keeps a 275x116 window on the desktop; any correction also undocks it.
void ClampToDesktop(TWindowSettings& s, const TRect& desktop);
// The chain text of "Plugins" (empty when missing).
std::string ReadChainSetting(const std::string& iniPath);
// Writes the window keys (only when `window` is given) and "Plugins". False when
// the file could not be written (the previous file is then untouched).
bool WriteSettings(const std::string& iniPath, const TWindowSettings* window, const std::string& chainText);

// Chain files. Reading a file without "Plugins" gives the empty chain.
std::string ReadChainFile(const std::string& path);
bool WriteChainFile(const std::string& path, const std::string& chainText);
// "name.plv" for any name: a missing or other extension gets ".plv" appended
// (".PLV" is kept as it is).
std::string ChainFileName(const std::string& chosen);

// Library descriptions, so the Add dialog need not load every library.
class TDescriptionCache {
 public:
  // Reads the file (missing: empty). Lines longer than 256 bytes are cut there;
  // a line without a tab, or with an empty part, is ignored.
  void Read(const std::string& path);
  // Case-insensitive file name; nullptr when unknown.
  const std::string* Find(const std::string& fileName) const;
  // Adds to the list (newest first) and appends a line; a failing append is ignored.
  void Append(const std::string& fileName, const std::string& description);
  void Clear() { pairs_.clear(); }
  const std::vector<std::pair<std::string, std::string>>& Pairs() const { return pairs_; }

 private:
  std::string path_;
  std::vector<std::pair<std::string, std::string>> pairs_;  // newest first
};

}  // namespace pilvo
