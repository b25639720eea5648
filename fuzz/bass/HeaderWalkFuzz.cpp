// Fuzz target: the audio library's own header walks (the Ogg page walk to the Vorbis comment
// packet, the comment parser, the MPEG frame walk and its Xing/Info header, the ID3 tag blocks,
// the test whether a file plainly is MPEG audio). The first byte picks where the MPEG stream
// starts (as after an ID3v2 tag). What must hold: a tag list is "\0"-terminated pieces with no
// empty one; frame starts are increasing, inside the data and account for the whole counted
// length; tag blocks are what the file holds; MPEG audio found starts at a frame header inside.
#include "HeaderWalks.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void CheckTagList(const std::string& list) {
  if (list.empty()) return;
  if (list.back() != '\0') std::abort();
  if (list.size() == 1) return;
  // Pieces end with a zero, the list with an extra one; no piece is empty.
  if (list[list.size() - 2] != '\0') std::abort();
  if (list.find(std::string(2, '\0')) != list.size() - 2) std::abort();
  if (list[0] == '\0') std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const orvbass::ReadAtFn read = [&](QWORD pos, void* buf, size_t n) -> size_t {
    if (pos >= size) return 0;
    n = std::min<size_t>(n, size - size_t(pos));
    std::memcpy(buf, data + pos, n);
    return n;
  };
  CheckTagList(orvbass::OggComments(read));
  CheckTagList(orvbass::ParseVorbisComment(std::vector<uint8_t>(data, data + size)));

  const QWORD start = size ? data[0] : 0;
  std::vector<QWORD> offsets;
  int spf = 0;
  const int64_t samples = orvbass::MpegLength(read, size, start, offsets, spf);
  if (samples < -1) std::abort();
  for (size_t i = 0; i < offsets.size(); ++i) {
    if (offsets[i] < start || offsets[i] + 4 > size) std::abort();
    if (i && offsets[i] <= offsets[i - 1]) std::abort();
  }
  // A length counted by the walk is its frames times the samples of one.
  if (!offsets.empty() && samples != int64_t(offsets.size()) * spf) std::abort();

  const orvbass::Id3Blocks tags = orvbass::ReadId3Blocks(read, size);
  if (!tags.v1.empty() && (tags.v1.size() != 128 || std::memcmp(tags.v1.data(), data + size - 128, 128) != 0))
    std::abort();
  if (!tags.v2.empty() && (tags.v2.size() > size || std::memcmp(tags.v2.data(), data, tags.v2.size()) != 0))
    std::abort();
  orvbass::MpegStart mpeg;
  if (orvbass::ProbeMpegAudio(read, size, mpeg)) {
    orvbass::MpegHeader h;
    if (mpeg.firstFrame + 4 > size || !orvbass::ParseMpegHeader(data + mpeg.firstFrame, h)) std::abort();
    if (mpeg.firstFrame + QWORD(h.size) > size) std::abort();
    if (mpeg.audioStart != mpeg.firstFrame && mpeg.audioStart != mpeg.firstFrame + QWORD(h.size)) std::abort();
    if (mpeg.xing && !mpeg.infoFrame) std::abort();
  }
  // A damaged chunk lies inside the file, past the RIFF header, and runs past its end.
  const orvbass::RiffDamage damage = orvbass::FindRiffDamage(read, size);
  if (damage.at && (damage.at < 12 || damage.at + 8 > size)) std::abort();
  return 0;
}
