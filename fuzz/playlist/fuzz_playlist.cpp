// Fuzz target for one playlist parser, chosen at build time (FUZZ_KIND_*).
// Besides not crashing, each parser keeps its invariants: the foreign readers
// give parallel lists, and a ".plf" text survives a save and reload unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "playlist/PlaylistFiles.h"

using namespace playlist;

namespace {

[[maybe_unused]] void Foreign(const char* kind, std::string_view text) {
  std::vector<std::string> titles, paths;
  if (!ParseForeignPlaylist(kind, text, titles, paths)) std::abort();
  if (titles.size() != paths.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
#if defined(FUZZ_KIND_plf)
  std::vector<PlaylistEntry> first = ParsePlf(text);
  std::vector<PlaylistEntry> second = ParsePlf(PlfText(first));
  if (first.size() != second.size()) std::abort();
  for (size_t i = 0; i < first.size(); ++i)
    if (first[i].Title != second[i].Title || first[i].File != second[i].File || first[i].Time != second[i].Time)
      std::abort();
#elif defined(FUZZ_KIND_detect)
  std::string kind = DetectPlaylistKindText(text, "/p/list.m3u");
  if (kind.empty()) std::abort();
  std::vector<std::string> titles, paths;
  ParseForeignPlaylist(kind, text, titles, paths);
  if (titles.size() != paths.size()) std::abort();
#elif defined(FUZZ_KIND_m3u)
  Foreign(kKindM3U, text);
#elif defined(FUZZ_KIND_bsl)
  Foreign(kKindBSPlayer, text);
#elif defined(FUZZ_KIND_mpcpl)
  Foreign(kKindMPC, text);
#elif defined(FUZZ_KIND_lap)
  Foreign(kKindLightAlloy, text);
#elif defined(FUZZ_KIND_pls)
  Foreign(kKindPLS, text);
#elif defined(FUZZ_KIND_asx)
  Foreign(kKindASX, text);
#else
#error "FUZZ_KIND_* not set"
#endif
  return 0;
}
