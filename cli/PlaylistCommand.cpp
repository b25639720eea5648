// orvella playlist FILE: the entries the player would hold after loading a
// ".plf" file or importing any other playlist, as Title|File|Time lines.
#include <cstdio>
#include <cstdlib>

#include "cli/Commands.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "playlist/PlaylistFiles.h"

namespace cli {

int RunPlaylist(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  for (const auto& a : args) {
    if (a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "orvella playlist: unknown option '%s'\n", a.c_str());
      return 2;
    }
    files.push_back(a);
  }
  if (files.size() != 1) {
    std::fprintf(stderr, "Usage: orvella playlist FILE\n");
    return 2;
  }
  const std::string& file = files[0];
  if (!platform::FileExists(file)) {
    std::fprintf(stderr, "orvella playlist: %s: no such file\n", file.c_str());
    return 1;
  }
  platform::SetMessageSink([](const platform::MessageRequest& req) {
    std::fprintf(stderr, "%s: %s\n", req.caption.c_str(), req.text.c_str());
    return platform::MsgResult::Ok;
  });
  setenv("ORVELLA_BASS_OUTPUT", "silent", 0);  // reading times needs no sound device
  engine::TZOZUZivade eng;
  eng.AttachFormatAddOns();  // the times of the formats the player sees
  playlist::TEngineStreamInfo engineInfo(eng);
  playlist::TStreamInfoCache info(engineInfo);
  playlist::TPlaylistHost host;
  playlist::TPlaylist pl(info, host);

  bool ok = true;
  if (platform::LowerAscii(platform::ExtractFileExt(file)) == ".plf") {
    ok = pl.LoadPlaylist(file);
  } else {
    std::printf("%s\n", playlist::DetectPlaylistKind(file).c_str());
    ok = pl.ImportPlaylist(file);
  }
  for (const auto& e : pl.Entries()) std::printf("%s|%s|%s\n", e.Title.c_str(), e.File.c_str(), e.Time.c_str());
  std::fflush(stdout);
  return ok ? 0 : 1;
}

}  // namespace cli
