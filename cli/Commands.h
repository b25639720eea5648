// The commands of orvella. Each returns the process exit status
// (0 success, 1 a file failed, 2 usage error).
#pragma once

#include <string>
#include <vector>

namespace engine {
struct TStreamInfo;
}

namespace cli {

int RunInfo(const std::vector<std::string>& args);
int RunPlay(const std::vector<std::string>& args);
// Prints the kind (imports only), then Title|File|Time per entry; 1 when the file
// is missing, unreadable or of an unknown kind.
int RunPlaylist(const std::vector<std::string>& args);

// The media details record of a video file (one Name=value per line, or one JSON
// object with --json); 1 when the Status tells a failure.
int RunMedia(const std::vector<std::string>& args);
// The picture the player shows at --at MS, saved as a 24-bit bitmap at --out.
int RunSnapshot(const std::vector<std::string>& args);

// One JSON object (no line end) for a stream information result.
std::string StreamInfoJson(const engine::TStreamInfo& info, bool recognised, int supportedBy, int pluginIndex,
                           const std::string& pluginName);
std::string JsonEscape(const std::string& text);

}  // namespace cli
