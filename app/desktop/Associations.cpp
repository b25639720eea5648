#include "app/desktop/Associations.h"

#include <QMimeDatabase>
#include <QProcess>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/desktop/MimeAppsList.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "playlist/Extensions.h"

namespace app::desktop {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDefaultGroup = "Default Applications";
constexpr const char* kAddedGroup = "Added Associations";
constexpr const char* kBackupSection = "Backup";
constexpr const char* kOctetStream = "application/octet-stream";

struct TOwnType {
  const char* extension;
  const char* mime;
  const char* comment;
};
// Types the shared MIME database does not define.
constexpr TOwnType kOwnTypes[] = {
    {".plf", "audio/x-orvella-playlist", "Orvella Player playlist"},
    {".mp1", "audio/x-mp1", "MPEG-1 Layer I audio"},
    {".ifo", "application/x-dvd-ifo", "DVD information file"},
    {".cda", "application/x-cda", "Audio CD track"},
};

// No desktop file of ours or the user's comes near this; a larger one is left alone unread.
constexpr std::uintmax_t kMaxFileBytes = 16u << 20;

// Reads a regular file whole. A missing file is empty text; anything else
// that cannot be read (a folder, no permission, over the size bound) is a failure.
bool ReadExisting(const std::string& path, std::string& text) {
  text.clear();
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (!fs::exists(st)) return true;
  if (!fs::is_regular_file(st)) return false;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec || size > kMaxFileBytes) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return false;
  text = ss.str();
  return true;
}

// Writes `text` when it differs from the file. *changed tells whether it wrote.
bool WriteIfChanged(const std::string& path, const std::string& text, bool* changed = nullptr) {
  if (changed) *changed = false;
  std::string old;
  if (!ReadExisting(path, old)) return false;
  if (old == text && fs::exists(path)) return true;
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  if (!platform::WriteFileAtomic(path, text)) return false;
  if (changed) *changed = true;
  return true;
}

std::string HomeFolder(const char* variable, const char* fallback) {
  const char* v = std::getenv(variable);
  if (v && v[0] == '/') return platform::WithSlash(v);
  const char* home = std::getenv("HOME");
  return platform::WithSlash(std::string(home ? home : "") + fallback);
}

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  size_t b = s.find_first_not_of(" \t");
  return b == std::string::npos ? std::string() : s.substr(b);
}

std::vector<std::string> SplitIds(const std::string& value) {
  std::vector<std::string> ids;
  std::stringstream ss(value);
  std::string id;
  while (std::getline(ss, id, ';'))
    if (!Trim(id).empty()) ids.push_back(Trim(id));
  return ids;
}

std::string JoinIds(const std::vector<std::string>& ids) {
  std::string out;
  for (const auto& id : ids) out += id + ";";
  return out;
}

std::string XmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// Two runs over one folder at once break each other's renames (the first run
// registers the playlist type, the next the other types, a moment apart), so
// runs take turns on a lock on the packages folder (our package file itself is
// replaced by each write, so a lock on it would not hold).
void DefaultUpdater(const std::string& mimeFolder) {
  static const QString script = QStringLiteral(
      "if command -v flock >/dev/null; then exec flock \"$0/packages\" update-mime-database \"$0\"; "
      "else exec update-mime-database \"$0\"; fi");
  QProcess::startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QString::fromStdString(mimeFolder)});
}

}  // namespace

TXdgFolders TXdgFolders::FromEnvironment() {
  return {HomeFolder("XDG_DATA_HOME", "/.local/share"), HomeFolder("XDG_CONFIG_HOME", "/.config")};
}

std::string MimeTypeFor(const std::string& extension) {
  const std::string ext = platform::LowerAscii(extension);
  for (const TOwnType& t : kOwnTypes)
    if (ext == t.extension) return t.mime;
  static const QMimeDatabase db;
  QMimeType type = db.mimeTypeForFile(QString::fromStdString("file" + ext), QMimeDatabase::MatchExtension);
  return type.isValid() ? type.name().toStdString() : kOctetStream;
}

bool IsOwnMimeType(const std::string& mime) {
  for (const TOwnType& t : kOwnTypes)
    if (mime == t.mime) return true;
  return false;
}

std::string EscapeStringValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

std::string QuoteExecArgument(const std::string& arg) {
  std::string quoted = "\"";
  for (char c : arg) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  return EscapeStringValue(quoted);
}

std::string DesktopEntryText(const std::string& programPath, const std::string& icon,
                             const std::vector<std::string>& mimeTypes, const TDesktopEntryTexts& texts) {
  const std::string program = QuoteExecArgument(programPath);
  std::string mimeList;
  for (const auto& m : mimeTypes)
    if (m != kOctetStream) mimeList += m + ";";
  std::string t;
  t += "[Desktop Entry]\n";
  t += "Type=Application\n";
  t += "Version=1.4\n";
  t += "Name=Orvella Player\n";
  t += "GenericName=Media Player\n";
  t += "Comment=Play audio, video, network streams and playlists\n";
  // One file per start: the program joins its arguments into one path.
  t += "Exec=" + program + " %f\n";
  if (!icon.empty()) t += "Icon=" + EscapeStringValue(icon) + "\n";
  t += "Terminal=false\n";
  t += "Categories=AudioVideo;Audio;Video;Player;\n";
  if (!mimeList.empty()) t += "MimeType=" + mimeList + "\n";
  t += "Actions=Play;Enqueue;\n";
  t += "\n[Desktop Action Play]\n";
  t += "Name=" + EscapeStringValue(texts.playWith.empty() ? "Play" : texts.playWith) + "\n";
  t += "Exec=" + program + " %f\n";
  t += "\n[Desktop Action Enqueue]\n";
  t += "Name=" + EscapeStringValue(texts.addToPlaylist.empty() ? "Enqueue" : texts.addToPlaylist) + "\n";
  t += "Exec=" + program + " -enqueue %f\n";
  return t;
}

std::string MimePackageText(const std::vector<std::string>& mimeTypes) {
  std::string t = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  for (const TOwnType& own : kOwnTypes) {
    bool wanted = false;
    for (const auto& m : mimeTypes) wanted = wanted || m == own.mime;
    if (!wanted) continue;
    t += std::string("  <mime-type type=\"") + own.mime + "\">\n";
    t += "    <comment>" + XmlEscape(own.comment) + "</comment>\n";
    t += std::string("    <glob pattern=\"*") + own.extension + "\"/>\n";
    t += "  </mime-type>\n";
  }
  t += "</mime-info>\n";
  return t;
}

TAssociations::TAssociations(TXdgFolders folders, std::string programPath, std::string icon)
    : folders_(std::move(folders)),
      programPath_(std::move(programPath)),
      icon_(std::move(icon)),
      updater_(DefaultUpdater) {}

bool TAssociations::WriteDesktopFiles() {
  bool ok = WriteIfChanged(DesktopEntryPath(), DesktopEntryText(programPath_, icon_, mimeTypes_, texts_));
  bool packageChanged = false;
  ok = WriteIfChanged(MimePackagePath(), MimePackageText(mimeTypes_), &packageChanged) && ok;
  if (packageChanged && updater_) updater_(folders_.dataHome + "mime");
  return ok;
}

bool TAssociations::RegisterPlaylistType() {
  const std::string mime = MimeTypeFor(".plf");
  if (std::find(mimeTypes_.begin(), mimeTypes_.end(), mime) == mimeTypes_.end()) mimeTypes_.push_back(mime);
  return WriteDesktopFiles();
}

bool TAssociations::RegisterFileTypes(const std::string& exts) {
  for (const char* ext : playlist::PlayableExtensions) {
    if (exts.find(ext) == std::string::npos) continue;
    const std::string mime = MimeTypeFor(ext);
    if (mime == kOctetStream) continue;
    if (std::find(mimeTypes_.begin(), mimeTypes_.end(), mime) == mimeTypes_.end()) mimeTypes_.push_back(mime);
  }
  return WriteDesktopFiles();
}

bool TAssociations::Associate(const std::vector<std::pair<std::string, bool>>& extensions) {
  // Types in first-seen order; a type is on when any of its extensions is.
  std::vector<std::pair<std::string, bool>> types;
  for (const auto& [ext, on] : extensions) {
    const std::string mime = MimeTypeFor(ext);
    if (mime == kOctetStream) continue;
    auto it = std::find_if(types.begin(), types.end(), [&](const auto& t) { return t.first == mime; });
    if (it == types.end()) types.emplace_back(mime, on);
    else it->second = it->second || on;
  }

  std::string text;
  if (!ReadExisting(MimeAppsPath(), text)) return false;
  TMimeAppsList list(text);
  std::string backupText;
  if (!ReadExisting(BackupPath(), backupText)) return false;
  platform::IniFile backup(BackupPath());

  bool entryNeeded = false, backupAdded = false;
  std::vector<std::string> restored;
  for (const auto& [mime, on] : types) {
    const std::optional<std::string> current = list.Get(kDefaultGroup, mime);
    const std::vector<std::string> currentIds = current ? SplitIds(*current) : std::vector<std::string>{};
    const bool ours = !currentIds.empty() && currentIds.front() == kDesktopId;
    std::optional<std::string> added = list.Get(kAddedGroup, mime);
    std::vector<std::string> addedIds = added ? SplitIds(*added) : std::vector<std::string>{};
    auto addedAt = std::find(addedIds.begin(), addedIds.end(), kDesktopId);
    if (on) {
      // Taking the type again keeps the user's own default as the backup.
      if (!ours) {
        backup.WriteString(kBackupSection, mime, current ? *current : std::string());
        backupAdded = true;
      }
      list.Set(kDefaultGroup, mime, std::string(kDesktopId) + ";");
      if (addedAt == addedIds.end()) {
        addedIds.insert(addedIds.begin(), kDesktopId);
        list.Set(kAddedGroup, mime, JoinIds(addedIds));
      }
      if (std::find(mimeTypes_.begin(), mimeTypes_.end(), mime) == mimeTypes_.end()) {
        mimeTypes_.push_back(mime);
        entryNeeded = true;
      }
      continue;
    }
    // Off: only a type we took is given back; the user's own choice stays.
    if (backup.HasKey(kBackupSection, mime)) {
      const std::string previous = backup.ReadString(kBackupSection, mime, "");
      if (previous.empty()) list.Remove(kDefaultGroup, mime);
      else list.Set(kDefaultGroup, mime, previous);
      restored.push_back(mime);
    } else if (ours) {
      list.Remove(kDefaultGroup, mime);
    }
    if (addedAt != addedIds.end()) {
      addedIds.erase(addedAt);
      if (addedIds.empty()) list.Remove(kAddedGroup, mime);
      else list.Set(kAddedGroup, mime, JoinIds(addedIds));
    }
  }

  // The default must name an entry that exists: without it the list is left alone.
  if ((entryNeeded || !fs::exists(DesktopEntryPath())) && !WriteDesktopFiles()) return false;
  // The backup is safe on disk before the defaults it keeps are replaced.
  if (backupAdded) {
    std::error_code ec;
    fs::create_directories(fs::path(BackupPath()).parent_path(), ec);
    if (!backup.Save()) return false;
  }
  if (!WriteIfChanged(MimeAppsPath(), list.Text())) return false;
  if (!restored.empty()) {
    for (const auto& mime : restored) backup.DeleteKey(kBackupSection, mime);
    backup.Save();
  }
  return true;
}

}  // namespace app::desktop
