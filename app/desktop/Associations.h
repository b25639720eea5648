// File associations over the freedesktop rules. The player's desktop entry
// "orvella-player.desktop" (open and enqueue actions) lives in
// $XDG_DATA_HOME/applications, a MIME package for the types the system does
// not know in $XDG_DATA_HOME/mime/packages, and the user's defaults in
// $XDG_CONFIG_HOME/mimeapps.list. The default a type had before we took it is
// kept in $XDG_CONFIG_HOME/orvella-player/mimeapps.bak, so that removing the
// association gives it back.
//
// Every file is written atomically and only when its text changes; a file that
// cannot be read (a folder, no permission) is never written. Failures are not
// reported to the user, they only skip the step.
//
// Threads: any one thread at a time (the UI thread in the player).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace app::desktop {

inline constexpr const char* kDesktopId = "orvella-player.desktop";

struct TXdgFolders {
  std::string dataHome;    // with a trailing '/'
  std::string configHome;  // with a trailing '/'
  // $XDG_DATA_HOME / $XDG_CONFIG_HOME, or ~/.local/share/ and ~/.config/ when unset or relative.
  static TXdgFolders FromEnvironment();
};

// The MIME type of an extension (".mp3"): the system's by file name, or our
// own for the ones it has no type for (".plf", ".mp1", ".ifo", ".cda").
// "application/octet-stream" when neither knows it.
std::string MimeTypeFor(const std::string& extension);
// True for the types our MIME package defines.
bool IsOwnMimeType(const std::string& mime);

// One argument of a desktop entry's Exec key: double-quoted, with '"', '`',
// '$' and '\' escaped inside the quotes, '%' doubled, and the string escapes
// of the file format applied on top.
std::string QuoteExecArgument(const std::string& arg);
// A value of type string (Name=...): backslash, line ends and tabs escaped.
std::string EscapeStringValue(const std::string& text);

// Names of the entry's two actions (the localised texts of the player).
struct TDesktopEntryTexts {
  std::string playWith = "Play with Orvella Player";
  std::string addToPlaylist = "Add to playlist";
};

// The desktop entry for the program at `programPath` handling `mimeTypes`.
std::string DesktopEntryText(const std::string& programPath, const std::string& icon,
                             const std::vector<std::string>& mimeTypes, const TDesktopEntryTexts& texts);
// The MIME package defining our own types among `mimeTypes`.
std::string MimePackageText(const std::vector<std::string>& mimeTypes);

class TAssociations {
 public:
  TAssociations(TXdgFolders folders, std::string programPath, std::string icon);

  void SetTexts(TDesktopEntryTexts texts) { texts_ = std::move(texts); }
  // Runs after the MIME package changed (by default `update-mime-database`
  // started in the background, so start-up never waits on it).
  void SetMimeDatabaseUpdater(std::function<void(const std::string& mimeFolder)> updater) {
    updater_ = std::move(updater);
  }

  // The playlist type: MIME package and desktop entry.
  bool RegisterPlaylistType();
  // The extensions of the 31 playable ones that occur in `exts` (a blank-
  // separated list): their types join the desktop entry and the package.
  bool RegisterFileTypes(const std::string& exts);

  // Links or unlinks every extension in one read and one write of
  // mimeapps.list. Extensions sharing a type are linked when any of them is
  // on. Returns false when mimeapps.list could not be read or written.
  bool Associate(const std::vector<std::pair<std::string, bool>>& extensions);
  // One extension.
  bool SetAssociation(const std::string& extension, bool on) { return Associate({{extension, on}}); }

  std::string MimeAppsPath() const { return folders_.configHome + "mimeapps.list"; }
  std::string BackupPath() const { return folders_.configHome + "orvella-player/mimeapps.bak"; }
  std::string DesktopEntryPath() const { return folders_.dataHome + "applications/" + kDesktopId; }
  std::string MimePackagePath() const { return folders_.dataHome + "mime/packages/orvella-player.xml"; }

 private:
  bool WriteDesktopFiles();

  TXdgFolders folders_;
  std::string programPath_, icon_;
  TDesktopEntryTexts texts_;
  std::vector<std::string> mimeTypes_;  // handled by the desktop entry, in first-seen order
  std::function<void(const std::string&)> updater_;
};

}  // namespace app::desktop
