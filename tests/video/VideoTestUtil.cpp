#include "VideoTestUtil.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "../engine/EngineTestUtil.h"
#include "video/Snapshot.h"

namespace videotest {

using enginetest::Media;

std::string SmallMkv() {
  return Media("small.mkv",
               "d=$(mktemp -d) && printf '1\\n00:00:01,000 --> 00:00:03,000\\nHello subtitle\\n' > $d/s.srt && "
               "printf ';FFMETADATA1\\n[CHAPTER]\\nTIMEBASE=1/1000\\nSTART=0\\nEND=4000\\ntitle=One\\n[CHAPTER]\\n"
               "TIMEBASE=1/1000\\nSTART=4000\\nEND=8000\\ntitle=Two\\n[CHAPTER]\\nTIMEBASE=1/1000\\nSTART=8000\\n"
               "END=12000\\ntitle=Three\\n' > $d/meta.txt && "
               "ffmpeg -nostdin -v error -y -f lavfi -i \"nullsrc=s=320x240:r=25:d=12,format=rgb24,"
               "geq=r='20*floor(T)':g='X*0.75':b='Y'\" -f lavfi -i sine=f=440:d=12:r=48000 "
               "-f lavfi -i sine=f=880:d=12:r=48000 -i $d/s.srt -i $d/meta.txt "
               "-map 0:v -map 1:a -map 2:a -map 3:s -map_metadata 4 -map_chapters 4 "
               "-c:v libx264 -preset ultrafast -qp 0 -g 25 -pix_fmt yuv444p -c:a aac -b:a 128k -c:s srt "
               "-disposition:a:0 default -disposition:a:1 0 {out}; r=$?; rm -rf $d; exit $r");
}

std::string ShortAvi() {
  return Media("short.avi",
               "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=160x120:r=25:d=1.5 -f lavfi -i sine=f=440:d=1.5 "
               "-c:v mpeg4 -c:a mp2 {out}");
}

std::string TestDvd() {
  const std::string recipe =
      "sh " + enginetest::Quote(std::string(ORVELLA_SOURCE_DIR) + "/tests/video/make_dvd.sh") + " {out}";
  // A folder: when another test process made it first, its rename over ours fails.
  // (Named after the disc's make-up: a cache of an older recipe is not taken for it.)
  const std::string name = "testdisc_v2";
  try {
    return Media(name, recipe);
  } catch (const std::exception&) {
    const std::string path = std::string(ORVELLA_BINARY_DIR) + "/test-media/engine/" + name;
    std::error_code ec;
    std::filesystem::remove_all(path + ".tmp" + std::to_string(::getpid()), ec);
    return std::filesystem::exists(path + "/VIDEO_TS/VIDEO_TS.IFO") ? path : std::string();
  }
}

std::string TruncatedMkv() {
  const std::string whole = SmallMkv();
  // dd writes the file itself: the media cache sends standard output to /dev/null.
  return Media("truncated.mkv", "dd if=" + enginetest::Quote(whole) + " of={out} bs=1024 count=$(( $(stat -c %s " +
                                    enginetest::Quote(whole) + ") / 3072 ))");
}

bool FFmpegFrame(const std::string& file, double seconds, video::TVideoFrame& out) {
  enginetest::ScratchDir dir;
  const std::string bmp = dir.File("f.bmp");
  int status = 0;
  enginetest::Run("ffmpeg -nostdin -v error -y -ss " + std::to_string(seconds) + " -i " + enginetest::Quote(file) +
                      " -frames:v 1 -pix_fmt bgr24 " + enginetest::Quote(bmp),
                  &status);
  return status == 0 && video::LoadBitmap24(bmp, out);
}

double MeanAbsDiff(const video::TVideoFrame& a, const video::TVideoFrame& b) {
  if (a.Width != b.Width || a.Height != b.Height || a.Pixels.empty()) return -1;
  double sum = 0;
  for (size_t i = 0; i < a.Pixels.size(); ++i)
    for (int s : {0, 8, 16}) sum += std::abs(int((a.Pixels[i] >> s) & 0xff) - int((b.Pixels[i] >> s) & 0xff));
  return sum / (3.0 * a.Pixels.size());
}

double ChannelMean(const video::TVideoFrame& f, int shift) {
  if (f.Pixels.empty()) return 0;
  double sum = 0;
  for (uint32_t p : f.Pixels) sum += (p >> shift) & 0xff;
  return sum / f.Pixels.size();
}

double ToneLevel(const int16_t* samples, size_t frames, int channels, int channel, double hz, int rate) {
  if (frames == 0) return 0;
  const double w = 2 * M_PI * hz / rate;
  const double coeff = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = 0; i < frames; ++i) {
    const double s0 = samples[i * channels + channel] + coeff * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
  return std::sqrt(std::max(power, 0.0)) / frames;
}

}  // namespace videotest
