// basswma.so: Windows Media header tags and MP3 inside ASF.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "AddonTestUtil.h"
#include "bass/bass.h"

namespace {

std::map<std::string, std::string> TagList(const char* block) {
  std::map<std::string, std::string> m;
  for (const char* p = block; p && *p; p += std::strlen(p) + 1) {
    std::string s = p;
    size_t eq = s.find('=');
    if (eq != std::string::npos) m[s.substr(0, eq)] = s.substr(eq + 1);
  }
  return m;
}

TEST(Wma, HeaderTagsTheEngineReads) {
  at::TempFolder dir;
  std::string file = dir / "tagged.wma";
  ASSERT_EQ(at::Run("ffmpeg -nostdin -y -f lavfi -i sine=d=1:f=440 -ac 2 -c:a wmav2 -b:a 128k -metadata title='Ünïcode Title' "
                    "-metadata artist='The Artist' -metadata album='An Album' " + file), 0);
  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  HPLUGIN p = BASS_PluginLoad(at::AddonPath("basswma").c_str(), 0);
  ASSERT_NE(p, 0u);
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, DWORD(BASS_CTYPE_STREAM_WMA));
  auto tags = TagList(BASS_ChannelGetTags(h, BASS_TAG_WMA));
  EXPECT_EQ(tags["Title"], "Ünïcode Title");  // UTF-8
  EXPECT_EQ(tags["Author"], "The Artist");
  EXPECT_EQ(tags["WM/AlbumTitle"], "An Album");
  EXPECT_EQ(tags["FileSize"], std::to_string(at::ReadFile(file).size()));
  int bitrate = std::atoi(tags["Bitrate"].c_str());
  EXPECT_GT(bitrate, 100000);  // bit/s, as asked of the encoder
  EXPECT_LT(bitrate, 160000);
  // Script-command metadata only comes with broadcasts.
  EXPECT_EQ(BASS_ChannelGetTags(h, BASS_TAG_WMA_META), nullptr);
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_WMA_BUFFER), 100u);
  BASS_StreamFree(h);
}

TEST(Wma, Mp3InsideAsf) {
  at::TempFolder dir;
  std::string file = dir / "mp3.asf", ref = dir / "ref.f32";
  ASSERT_EQ(at::Run("ffmpeg -nostdin -y -f lavfi -i sine=d=1:f=440 -ac 2 -c:a libmp3lame -b:a 128k -f asf " + file), 0);
  ASSERT_EQ(at::Run("ffmpeg -nostdin -y -i " + file + " -f f32le -c:a pcm_f32le " + ref), 0);
  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  HPLUGIN p = BASS_PluginLoad(at::AddonPath("basswma").c_str(), 0);
  ASSERT_NE(p, 0u);
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, DWORD(BASS_CTYPE_STREAM_WMA_MP3));
  EXPECT_EQ(at::ReadAll(h), at::ReadFile(ref));
  BASS_StreamFree(h);
}

}  // namespace
