// The player's settings file: one "Options" section beside the program, read
// once at start-up and written once at closing. Between the two every value
// lives in TSettings, owned by the main window.
#pragma once

#include <array>
#include <string>

namespace platform {
class IniFile;
}

namespace app {

inline constexpr const char* kOptionsSection = "Options";

struct TSettings {
  std::string Language = "English";
  std::string LastPath;
  std::string Skins = "default";
  std::string Exts;
  std::string ExtsAss;
  int Left = 0, Top = 0;
  int FormEqLeft = 0, FormEqTop = 0;
  int FormPLLeft = 0, FormPLTop = 0, FormPLWidth = 372, FormPLHeight = 659;
  int volume = 255;
  int pan = 0;
  int peaksType = 0;
  int activeTab = 0;
  std::array<int, 10> eqBand{};
  bool firstRun = true;
  bool stayOnTop = false;
  bool shuffle = false;
  bool runRepeat = false;
  bool trayIcon = true;
  bool showPlaylist = true;
  bool showEq = true;
  bool enableEq = true;
  bool enableFlanger = false;
  bool enableEcho = false;
  bool enableReverb = false;
  bool enableRotate = false;
  bool enableSpeed = false;
  bool showVideoWindow = false;
};

// Sizes of the windows and the screen at the moment the file is read; the
// defaults of the positions are computed from them.
struct TSettingsLayout {
  int screenWidth = 1024;
  int mainWidth = 380, mainHeight = 500;
  int eqWidth = 331, eqHeight = 252;
  int plWidth = 372, plHeight = 659;
};

// Every key of the file in read and write order.
const std::array<const char*, 41>& SettingsKeys();

// The default of "Exts": each playable extension followed by a blank, then ".mo3" again.
std::string DefaultExts();

// Reads every key with its default into `s`.
void ReadSettings(const platform::IniFile& ini, const TSettingsLayout& layout, TSettings& s);
// Writes every key from `s` into the document (the caller saves it).
void WriteSettings(platform::IniFile& ini, const TSettings& s);

// An installed program folder carries this file; its settings and answer
// files then live in the user's folders.
inline constexpr const char* kInstalledMarker = ".installed";
// True when the program folder is an installed one or cannot be written.
bool UsesUserFolders();
// Where the settings file and the update answer live: the program folder, or
// $XDG_CONFIG_HOME/orvella-player/ (created) when UsesUserFolders().
std::string StateFolder();

// The folder of "Default.plf": the program folder's "data/", or
// $XDG_DATA_HOME/orvella-player/ (created) when UsesUserFolders().
std::string DataFolder();

// Where the player's other own files go (the DVD bookmark, snapshots): the
// program folder, or DataFolder() when UsesUserFolders().
std::string OwnFilesFolder();

// Path of the settings file: "OrvellaPlayer.ini" in StateFolder().
std::string SettingsPath();

}  // namespace app
