// Texts of network streams: extensions and titles of addresses, header and metadata blocks.
#include <gtest/gtest.h>

#include "engine/NetStream.h"

using namespace engine::net;

TEST(NetText, AddressesOfEverySchemeTheEngineOpens) {
  EXPECT_TRUE(IsNetworkAddress("http://a/b.mp3"));
  EXPECT_TRUE(IsNetworkAddress("https://a/b.mp3"));
  EXPECT_TRUE(IsNetworkAddress("mms://a/b"));
  EXPECT_FALSE(IsNetworkAddress("ftp://a/b.mp3"));
  EXPECT_FALSE(IsNetworkAddress("/home/http://x.mp3"));
  EXPECT_FALSE(IsNetworkAddress("HTTP://a/b.mp3"));
}

TEST(NetText, TheExtensionComesFromThePathWithoutQueryOrFragment) {
  EXPECT_EQ(UrlExtension("http://host/dir/song.MP3"), ".MP3");
  EXPECT_EQ(UrlExtension("http://host/song.ogg?sid=1.mp3"), ".ogg");
  EXPECT_EQ(UrlExtension("http://host/song.flac#t=1.5"), ".flac");
  // A server's own name is not a file name.
  EXPECT_EQ(UrlExtension("http://radio.example.com"), "");
  EXPECT_EQ(UrlExtension("http://radio.example.com:8000/"), "");
  EXPECT_EQ(UrlExtension("http://radio.example.com/stream"), "");
  EXPECT_EQ(UrlExtension("http://host/dir.d/stream"), "");
  EXPECT_EQ(UrlExtension("http://host/a."), "");
  EXPECT_EQ(UrlExtension("http://host/?file=x.mp3"), "");
}

TEST(NetText, TheAddressTitleDropsTheRealExtensionAndIsDecoded) {
  EXPECT_EQ(UrlTitle("http://host/music/My%20Song.flac?x=1"), "My Song");
  EXPECT_EQ(UrlTitle("http://host/a.mp3"), "a");
  EXPECT_EQ(UrlTitle("http://host/archive.tar.gz"), "archive.tar");
  EXPECT_EQ(UrlTitle("http://host/noext"), "noext");
  EXPECT_EQ(UrlTitle("http://host/"), "");
  EXPECT_EQ(UrlTitle("http://host"), "");
  EXPECT_EQ(UrlTitle("http://host/100%25%zz%4"), "100%%zz%4");  // broken escapes stay as written
  EXPECT_EQ(UrlTitle("http://host/caf%E9.mp3"), "caf\xC3\xA9");  // not UTF-8: Latin-1
  EXPECT_EQ(UrlTitle("http://host/a%00b.mp3"), "a");
  std::string longName(300, 'n');
  EXPECT_EQ(UrlTitle("http://host/" + longName + ".mp3").size(), kMaxTitleBytes);
}

TEST(NetText, TitlesAreCutOnACharacterBoundaryAndLatin1IsConverted) {
  std::string s(254, 'a');
  s += "\xC3\xA9";  // 256 bytes: the two-byte character does not fit whole
  EXPECT_EQ(CleanText(s), std::string(254, 'a'));
  std::string euro(100, 'b');
  for (int i = 0; i < 60; ++i) euro += "\xE2\x82\xAC";
  std::string cut = CleanText(euro);
  EXPECT_EQ(cut.size(), 100u + 3 * 51);
  EXPECT_EQ(CleanText("Gr\xFC\xDF" "e"), "Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(CleanText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");  // an encoded surrogate is no text
  EXPECT_EQ(CleanText(std::string(200, '\xE9')).size(), 254u);
}

TEST(NetText, HeaderBlocksAndBitRates) {
  const char block[] = "ICY 200 OK\0icy-name:Radio\0Icy-Br: 128\0\0";
  auto list = TagList(block);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(HeaderBitRate(list), 128);
  EXPECT_EQ(HeaderBitRate({"ice-bitrate: 64"}), 64);
  EXPECT_EQ(HeaderBitRate({"icy-br:128,128"}), 128);
  EXPECT_EQ(HeaderBitRate({"icy-br:-5"}), 0);
  EXPECT_EQ(HeaderBitRate({"icy-name:x"}), 0);
  bool found = false;
  EXPECT_EQ(HeaderValue({"Content-Length:  42 "}, "content-length", &found), "42");
  EXPECT_TRUE(found);
  HeaderValue({"X-Content-Length: 1"}, "content-length", &found);
  EXPECT_FALSE(found);
  EXPECT_TRUE(TagList(nullptr).empty());
  const char many[] = "a\0b\0c\0\0";
  EXPECT_EQ(TagList(many, 2).size(), 2u);
}

TEST(NetText, ShoutcastTitlesWithQuotesSemicolonsAndWithout) {
  bool found = false;
  EXPECT_EQ(ShoutcastTitle("StreamTitle='Artist - Song';StreamUrl='';", &found), "Artist - Song");
  EXPECT_TRUE(found);
  EXPECT_EQ(ShoutcastTitle("StreamTitle='AC;DC - T.N.T.';", &found), "AC;DC - T.N.T.");
  EXPECT_EQ(ShoutcastTitle("StreamTitle='It's';", &found), "It's");
  EXPECT_EQ(ShoutcastTitle("StreamTitle=No quotes;StreamUrl=x", &found), "No quotes");
  EXPECT_EQ(ShoutcastTitle("StreamTitle='Unclosed", &found), "Unclosed");
  EXPECT_EQ(ShoutcastTitle("StreamTitle='';", &found), "");
  EXPECT_TRUE(found);
  ShoutcastTitle("StreamUrl='x';", &found);
  EXPECT_FALSE(found);
}

TEST(NetText, MetadataBlocksOfEveryKind) {
  bool found = false;
  EXPECT_EQ(MetaTitle("StreamTitle='Caf\xE9';\0", false, &found), "Caf\xC3\xA9");
  EXPECT_TRUE(found);
  const char ogg[] = "ARTIST=A\0SUBTITLE=no\0title=Chained\0\0";
  EXPECT_EQ(MetaTitle(ogg, false, &found), "Chained");
  EXPECT_TRUE(found);
  EXPECT_EQ(MetaTitle("Title=WMA \xC3\xA9;\0", true, &found), "WMA \xC3\xA9");
  MetaTitle("ARTIST=A\0\0", false, &found);
  EXPECT_FALSE(found);
  MetaTitle(nullptr, false, &found);
  EXPECT_FALSE(found);
}
