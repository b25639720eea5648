#include "app/Settings.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "playlist/Extensions.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

namespace app {

const std::array<const char*, 41>& SettingsKeys() {
  static const std::array<const char*, 41> keys = {
      "Language",  "LastPath",   "Skins",       "Exts",        "ExtsAss",     "Left",      "Top",
      "FormEq.Left", "FormEq.Top", "FormPL.Left", "FormPL.Top", "FormPL.Width", "FormPL.Height", "volume",
      "pan",       "peaksType",  "activeTab",   "eqBand1",     "eqBand2",     "eqBand3",   "eqBand4",
      "eqBand5",   "eqBand6",    "eqBand7",     "eqBand8",     "eqBand9",     "eqBand10",  "firstRun",
      "stayOnTop", "shuffle",    "runRepeat",   "trayIcon",    "showPlaylist", "showEq",   "enableEq",
      "enableFlanger", "enableEcho", "enableReverb", "enableRotate", "enableSpeed", "showVideoWindow"};
  return keys;
}

std::string DefaultExts() {
  std::string exts;
  for (const char* e : playlist::PlayableExtensions) {
    exts += e;
    exts += ' ';
  }
  exts += playlist::PlayableExtensions.back();
  return exts;
}

namespace {
bool ReadFlag(const platform::IniFile& ini, const char* key, bool def) {
  return ini.ReadInteger(kOptionsSection, key, def ? 1 : 0) != 0;
}
}  // namespace

void ReadSettings(const platform::IniFile& ini, const TSettingsLayout& l, TSettings& s) {
  const char* o = kOptionsSection;
  s.Language = ini.ReadString(o, "Language", "English");
  s.LastPath = ini.ReadString(o, "LastPath", "");
  s.Skins = ini.ReadString(o, "Skins", "default");
  s.Exts = ini.ReadString(o, "Exts", DefaultExts());
  s.ExtsAss = ini.ReadString(o, "ExtsAss", "");
  // Positions default from the sizes of the moment; the main window's values
  // read here are the ones the equaliser and playlist defaults build on.
  s.Left = ini.ReadInteger(o, "Left", l.screenWidth / 2 - l.mainWidth);
  s.Top = ini.ReadInteger(o, "Top", l.mainHeight / 2);
  s.FormEqLeft = ini.ReadInteger(o, "FormEq.Left", (l.mainWidth - l.eqWidth) / 2 + s.Left);
  s.FormEqTop = ini.ReadInteger(o, "FormEq.Top", s.Top + l.mainHeight - 300);
  s.FormPLLeft = ini.ReadInteger(o, "FormPL.Left", s.Left + l.mainWidth);
  s.FormPLTop = ini.ReadInteger(o, "FormPL.Top", s.Top);
  s.FormPLWidth = ini.ReadInteger(o, "FormPL.Width", l.plWidth);
  s.FormPLHeight = ini.ReadInteger(o, "FormPL.Height", l.plHeight);
  s.volume = ini.ReadInteger(o, "volume", 255);
  // Centred when absent: a first start with the bar at its right end would play from one speaker
  // only, now that the bar's balance reaches every output.
  s.pan = ini.ReadInteger(o, "pan", 0);
  s.peaksType = ini.ReadInteger(o, "peaksType", 0);
  s.activeTab = ini.ReadInteger(o, "activeTab", 0);
  for (int i = 0; i < 10; ++i) s.eqBand[i] = ini.ReadInteger(o, "eqBand" + std::to_string(i + 1), 0);
  s.firstRun = ReadFlag(ini, "firstRun", true);
  s.stayOnTop = ReadFlag(ini, "stayOnTop", false);
  s.shuffle = ReadFlag(ini, "shuffle", false);
  s.runRepeat = ReadFlag(ini, "runRepeat", false);
  s.trayIcon = ReadFlag(ini, "trayIcon", true);
  s.showPlaylist = ReadFlag(ini, "showPlaylist", true);
  s.showEq = ReadFlag(ini, "showEq", true);
  s.enableEq = ReadFlag(ini, "enableEq", true);
  s.enableFlanger = ReadFlag(ini, "enableFlanger", false);
  s.enableEcho = ReadFlag(ini, "enableEcho", false);
  s.enableReverb = ReadFlag(ini, "enableReverb", false);
  s.enableRotate = ReadFlag(ini, "enableRotate", false);
  s.enableSpeed = ReadFlag(ini, "enableSpeed", false);
  s.showVideoWindow = ReadFlag(ini, "showVideoWindow", false);
}

void WriteSettings(platform::IniFile& ini, const TSettings& s) {
  const char* o = kOptionsSection;
  ini.WriteString(o, "Language", s.Language);
  ini.WriteString(o, "LastPath", s.LastPath);
  ini.WriteString(o, "Skins", s.Skins);
  ini.WriteString(o, "Exts", s.Exts);
  ini.WriteString(o, "ExtsAss", s.ExtsAss);
  ini.WriteInteger(o, "Left", s.Left);
  ini.WriteInteger(o, "Top", s.Top);
  ini.WriteInteger(o, "FormEq.Left", s.FormEqLeft);
  ini.WriteInteger(o, "FormEq.Top", s.FormEqTop);
  ini.WriteInteger(o, "FormPL.Left", s.FormPLLeft);
  ini.WriteInteger(o, "FormPL.Top", s.FormPLTop);
  ini.WriteInteger(o, "FormPL.Width", s.FormPLWidth);
  ini.WriteInteger(o, "FormPL.Height", s.FormPLHeight);
  ini.WriteInteger(o, "volume", s.volume);
  ini.WriteInteger(o, "pan", s.pan);
  ini.WriteInteger(o, "peaksType", s.peaksType);
  ini.WriteInteger(o, "activeTab", s.activeTab);
  for (int i = 0; i < 10; ++i) ini.WriteInteger(o, "eqBand" + std::to_string(i + 1), s.eqBand[i]);
  ini.WriteBool(o, "firstRun", s.firstRun);
  ini.WriteBool(o, "stayOnTop", s.stayOnTop);
  ini.WriteBool(o, "shuffle", s.shuffle);
  ini.WriteBool(o, "runRepeat", s.runRepeat);
  ini.WriteBool(o, "trayIcon", s.trayIcon);
  ini.WriteBool(o, "showPlaylist", s.showPlaylist);
  ini.WriteBool(o, "showEq", s.showEq);
  ini.WriteBool(o, "enableEq", s.enableEq);
  ini.WriteBool(o, "enableFlanger", s.enableFlanger);
  ini.WriteBool(o, "enableEcho", s.enableEcho);
  ini.WriteBool(o, "enableReverb", s.enableReverb);
  ini.WriteBool(o, "enableRotate", s.enableRotate);
  ini.WriteBool(o, "enableSpeed", s.enableSpeed);
  ini.WriteBool(o, "showVideoWindow", s.showVideoWindow);
}

bool UsesUserFolders() {
  const std::string program = platform::ProgramFolder();
  return platform::FileExists(program + kInstalledMarker) || ::access(program.c_str(), W_OK) != 0;
}

namespace {

// $VAR/orvella-player/ (created), or ~/FALLBACK/orvella-player/ when VAR is unset or relative.
std::string UserFolder(const char* var, const char* fallback) {
  const char* value = std::getenv(var);
  const char* home = std::getenv("HOME");
  const std::string base = value && value[0] == '/' ? platform::WithSlash(value)
                                                    : std::string(home ? home : "") + fallback;
  const std::string folder = base + "orvella-player/";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return folder;
}

}  // namespace

std::string StateFolder() {
  if (!UsesUserFolders()) return platform::ProgramFolder();
  return UserFolder("XDG_CONFIG_HOME", "/.config/");
}

std::string DataFolder() {
  if (!UsesUserFolders()) return platform::ProgramFolder() + "data/";
  return UserFolder("XDG_DATA_HOME", "/.local/share/");
}

std::string OwnFilesFolder() { return UsesUserFolders() ? DataFolder() : platform::ProgramFolder(); }

std::string SettingsPath() { return StateFolder() + "OrvellaPlayer.ini"; }

}  // namespace app
