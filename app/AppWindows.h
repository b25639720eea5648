// The program's windows, created once in a fixed order (the main window
// first) and kept for the whole run. The program entry and the tests build the
// player through CreateApplicationWindows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/Language.h"

class QWidget;

namespace playlist {
class TFormPL;
class TPlaylist;
class TStreamInfoCache;
}  // namespace playlist

namespace app {

class TPlaylistSide;

class TForm1;
class TFormEq;
class TFormStatus;
class TFormUrl;
class TVisControlForm;
class TBaseForm;
class TFormAbout;
class TFormInfo;
class TFormMissing;
class TFormSettings;
class TAddonConfigForm;
class TPluginConfigForm;
class TDSPControlForm;

class TApplicationWindows {
 public:
  ~TApplicationWindows();

  // The playlist model and what it needs of the main window and the engine;
  // declared before the windows so they outlive the playlist window.
  std::unique_ptr<TPlaylistSide> PlaylistSide;
  std::unique_ptr<playlist::TStreamInfoCache> InfoCache;
  std::unique_ptr<playlist::TPlaylist> Playlist;

  std::unique_ptr<TForm1> Form1;                   // 1  "Orvella Player 1.4"
  std::unique_ptr<playlist::TFormPL> FormPL;       // 2  "Playlist Editor"
  std::unique_ptr<TFormAbout> FormAbout;           // 3  "About Program"
  std::unique_ptr<TFormSettings> FormSettings;     // 4  "Settings"
  std::unique_ptr<TFormInfo> FormInfo;             // 5  "File Information"
  std::unique_ptr<TFormEq> FormEq;                 // 6  "Equalizer"
  std::unique_ptr<TFormStatus> FormStatus;         // 7  "Status Information"
  std::unique_ptr<TFormUrl> FormUrl;               // 8  "Input URL"
  std::unique_ptr<TFormMissing> FormMissing;       // 9  "Need soundfont"
  std::unique_ptr<TAddonConfigForm> AddonConfigForm; // 10 "BASS Add-on Configuration"
  std::unique_ptr<TPluginConfigForm> PluginConfigForm; // 11 "Winamp Input plug-in Configuration"
  std::unique_ptr<TDSPControlForm> DSPControlForm; // 12 "Winamp DSP plug-in control"
  std::unique_ptr<TVisControlForm> VisControlForm; // 13 "Winamp Visualization plug-in control"
  std::unique_ptr<TBaseForm> FormControlBar;       // 14 "Control Bar"
  std::unique_ptr<TBaseForm> FormAssociate;        // 15 "Associate Files"
  std::unique_ptr<TBaseForm> FormUpdate;           // 16 "Software Update"

  // The windows in creation order.
  std::vector<QWidget*> CreationOrder() const;
  // The language target for a window name ("" is the main window); null for unknown names.
  ILanguageTarget* Target(const std::string& windowName) const;

 private:
  friend std::unique_ptr<TApplicationWindows> CreateApplicationWindows(std::vector<std::string> args);
  std::unique_ptr<ILanguageTarget> playlistTexts_;
};

// Creates the sixteen windows in order. `args` are the program's arguments 1..N.
// The caller shows Form1 (its first show runs the start-up sequence).
std::unique_ptr<TApplicationWindows> CreateApplicationWindows(std::vector<std::string> args);

}  // namespace app
