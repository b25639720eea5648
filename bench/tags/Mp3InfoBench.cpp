// Reads the full stream information (MPEG header, ID3v1, ID3v2) of 2,000
// generated MP3 files with our readers and with TagLib, warm cache, and prints
// files per second for both and their ratio. Not a test: it measures.
//
// Usage: bench_tags_mp3info [file count] [passes]
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tags/ID3v2.h"
#include "tags/MPEGaudio.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

bool Sh(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

std::string ID3v1(const std::string& title, int track, int genre) {
  std::string t(128, '\0');
  t.replace(0, 3, "TAG");
  t.replace(3, std::min<size_t>(30, title.size()), title.substr(0, 30));
  t.replace(33, 6, "Artist");
  t.replace(63, 5, "Album");
  t.replace(93, 4, "2001");
  t[126] = char(track);
  t[127] = char(genre);
  return t;
}

// A 2.4 tag with a large picture-like frame: readers must step over it.
std::string BigID3v24(const std::string& title) {
  auto syncsafe = [](uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[size_t(i)] = char((v >> (21 - 7 * i)) & 0x7F);
    return s;
  };
  std::string frames;
  std::string tit = std::string(1, '\3') + title;
  frames += "TIT2" + syncsafe(uint32_t(tit.size())) + std::string(2, '\0') + tit;
  std::string pic = std::string(1, '\0') + "image/jpeg" + std::string(1, '\0') + "\3" + std::string(1, '\0') +
                    std::string(60000, '\x5A');
  frames += "APIC" + syncsafe(uint32_t(pic.size())) + std::string(2, '\0') + pic;
  std::string tpe = std::string(1, '\3') + "Big Artist";
  frames += "TPE1" + syncsafe(uint32_t(tpe.size())) + std::string(2, '\0') + tpe;
  frames += std::string(2048, '\0');
  return std::string("ID3\4\0\0", 6) + syncsafe(uint32_t(frames.size())) + frames;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int passes = argc > 2 ? std::atoi(argv[2]) : 5;
  char tmpl[] = "/tmp/orvella-bench-tags-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;

  // A few encoded streams: CBR, VBR with Xing, MPEG 2, mono.
  const std::string wav = dir + "/src.wav";
  if (!Sh("ffmpeg -v error -y -f lavfi -i \"anoisesrc=a=0.2:c=pink\" -t 4 -ar 44100 -ac 2 " + wav)) {
    std::fprintf(stderr, "ffmpeg failed\n");
    return 1;
  }
  const char* encodings[] = {"-b 128", "-V 2", "--resample 22.05 -b 64", "-m m -b 96", "-b 320"};
  std::vector<std::string> audio;
  for (const char* e : encodings) {
    std::string out = dir + "/base.mp3";
    if (!Sh(std::string("lame --quiet ") + e + " " + wav + " " + out)) {
      std::fprintf(stderr, "lame failed\n");
      return 1;
    }
    audio.push_back(ReadFile(out));
    std::filesystem::remove(out);
  }
  std::filesystem::remove(wav);

  // 2,000 files of mixed tags: none, ID3v1, ID3v2.3, both, a big 2.4 tag, 2.3 + ID3v1 + Lyrics3-free long tag.
  std::vector<std::string> files;
  files.reserve(size_t(count));
  for (int i = 0; i < count; ++i) {
    const std::string& a = audio[size_t(i) % audio.size()];
    const std::string title = "Song number " + std::to_string(i);
    std::string head, tail;
    tags::TID3v2 v2;
    v2.SetTitle(title);
    v2.SetArtist("Artist " + std::to_string(i % 37));
    v2.SetAlbum("Album " + std::to_string(i % 11));
    v2.SetTrack(uint16_t(1 + i % 20));
    v2.SetYear("2004");
    v2.SetGenre("Rock");
    v2.SetComment("Comment for file " + std::to_string(i));
    bool rewrite = false;
    switch (i % 6) {
      case 0: break;
      case 1: tail = ID3v1(title, 1 + i % 20, i % 148); break;
      case 2: head = v2.BuildTag(0, false, rewrite); break;
      case 3:
        head = v2.BuildTag(0, false, rewrite);
        tail = ID3v1(title, 1 + i % 20, i % 148);
        break;
      case 4: head = BigID3v24(title); break;
      case 5:
        head = v2.BuildTag(0, false, rewrite);
        tail = ID3v1(title, 0, 255);
        break;
    }
    std::string path = dir + "/f" + std::to_string(i) + ".mp3";
    WriteFile(path, head + a + tail);
    files.push_back(path);
  }

  // Warm the cache and check both libraries see the same files.
  size_t agree = 0;
  for (const std::string& f : files) {
    tags::TMPEGaudio m;
    m.ReadFromFile(f);
    TagLib::MPEG::File t(f.c_str(), true, TagLib::AudioProperties::Average);
    if (m.Valid() && t.isValid() && t.audioProperties() && t.audioProperties()->sampleRate() == m.SampleRate())
      ++agree;
  }

  double oursBest = 1e9, taglibBest = 1e9;
  uint64_t sink = 0;
  for (int p = 0; p < passes; ++p) {
    auto t0 = std::chrono::steady_clock::now();
    for (const std::string& f : files) {
      tags::TMPEGaudio m;
      if (m.ReadFromFile(f)) {
        sink += uint64_t(m.Duration() * 1000) + uint64_t(m.BitRate()) + uint64_t(m.SampleRate()) +
                m.ID3v1().Title().size() + m.ID3v2().Title().size() + m.ID3v2().Artist().size();
      }
    }
    auto t1 = std::chrono::steady_clock::now();
    for (const std::string& f : files) {
      TagLib::MPEG::File t(f.c_str(), true, TagLib::AudioProperties::Average);
      if (t.isValid()) {
        if (auto* ap = t.audioProperties())
          sink += uint64_t(ap->lengthInMilliseconds()) + uint64_t(ap->bitrate()) + uint64_t(ap->sampleRate());
        if (auto* v1 = t.ID3v1Tag()) sink += v1->title().size();
        if (auto* v2 = t.ID3v2Tag()) sink += v2->title().size() + v2->artist().size();
      }
    }
    auto t2 = std::chrono::steady_clock::now();
    oursBest = std::min(oursBest, Seconds(t1 - t0));
    taglibBest = std::min(taglibBest, Seconds(t2 - t1));
  }

  const double ours = count / oursBest, taglib = count / taglibBest;
  std::printf("files: %d (mixed tags), passes: %d, best pass each, warm cache\n", count, passes);
  std::printf("both readers valid with the same sample rate: %zu of %d\n", agree, count);
  std::printf("orvella tags : %10.0f files/s  (%.1f us/file)\n", ours, 1e6 / ours);
  std::printf("TagLib %s   : %10.0f files/s  (%.1f us/file)\n", "1.x", taglib, 1e6 / taglib);
  std::printf("ratio        : %10.2f x\n", ours / taglib);
  std::printf("(checksum %llu)\n", static_cast<unsigned long long>(sink));
  if (!std::getenv("KEEP")) std::filesystem::remove_all(dir); else std::printf("kept %s\n", dir.c_str());
  return 0;
}
