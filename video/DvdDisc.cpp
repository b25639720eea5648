#include "video/DvdDisc.h"

#include <gsf/gsf.h>
#include <gsf/gsf-output-memory.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

#include "platform/IniFile.h"

namespace video {

namespace {

constexpr char kMagic[4] = {'O', 'R', 'V', 'B'};
constexpr size_t kMaxId = 256;
constexpr size_t kMaxStream = 4096;

bool IsDir(const std::string& p) {
  struct stat st {};
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool IsFile(const std::string& p) {
  struct stat st {};
  return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
std::string Parent(const std::string& p) {
  const size_t slash = p.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : p.substr(0, slash == 0 ? 1 : slash);
}
std::string LastPart(const std::string& p) {
  const size_t slash = p.find_last_of('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}
std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
// VIDEO_TS.IFO of a VIDEO_TS folder, in either case.
std::string VmgIfo(const std::string& videoTs) {
  for (const char* name : {"/VIDEO_TS.IFO", "/video_ts.ifo"})
    if (IsFile(videoTs + name)) return videoTs + name;
  return {};
}
bool HasVmgMagic(const std::string& ifo) {
  std::ifstream f(ifo, std::ios::binary);
  char head[12] = {};
  f.read(head, sizeof head);
  return f.gcount() == 12 && std::memcmp(head, "DVDVIDEO-VMG", 12) == 0;
}

void Put(std::vector<uint8_t>& v, uint64_t x, int bytes) {
  for (int i = 0; i < bytes; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
uint64_t Get(const uint8_t* p, int bytes) {
  uint64_t x = 0;
  for (int i = 0; i < bytes; ++i) x |= static_cast<uint64_t>(p[i]) << (8 * i);
  return x;
}

void InitGsf() {
  static std::once_flag once;
  std::call_once(once, [] { gsf_init(); });
}

TBookmarkRead ReadFromInput(GsfInput* input, TDvdBookmark& bookmark) {
  GError* err = nullptr;
  GsfInfile* ole = gsf_infile_msole_new(input, &err);
  if (err) g_error_free(err);
  if (!ole) return TBookmarkRead::Damaged;
  TBookmarkRead result = TBookmarkRead::Damaged;
  if (GsfInput* stream = gsf_infile_child_by_name(ole, "BookMark")) {
    const gsf_off_t size = gsf_input_size(stream);
    if (size > 0 && size <= static_cast<gsf_off_t>(kMaxStream)) {
      std::vector<uint8_t> data(static_cast<size_t>(size));
      if (gsf_input_read(stream, data.size(), data.data()) && ParseBookmarkRecord(data.data(), data.size(), bookmark))
        result = TBookmarkRead::Ok;
    }
    g_object_unref(stream);
  }
  g_object_unref(ole);
  return result;
}

}  // namespace

TDvdVolume CheckDvdVolume(const std::string& path, std::string& disc) {
  if (path.empty()) {
    for (const char* dev : {"/dev/dvd", "/dev/sr0", "/dev/cdrom"}) {
      struct stat st {};
      if (stat(dev, &st) == 0 && S_ISBLK(st.st_mode)) {
        disc = dev;
        return TDvdVolume::Ok;
      }
    }
    return TDvdVolume::NotFound;
  }
  // An entry names a file of the VIDEO_TS folder, the folder, or the disc's root.
  std::string videoTs;
  if (IsFile(path)) videoTs = Parent(path);
  else if (IsDir(path) && Upper(LastPart(path)) == "VIDEO_TS") videoTs = path;
  else if (IsDir(path)) videoTs = IsDir(path + "/VIDEO_TS") ? path + "/VIDEO_TS" : path + "/video_ts";
  else return TDvdVolume::Invalid;
  const std::string ifo = VmgIfo(videoTs);
  if (ifo.empty() || !HasVmgMagic(ifo)) return TDvdVolume::Invalid;
  disc = Upper(LastPart(videoTs)) == "VIDEO_TS" ? Parent(videoTs) : videoTs;
  return TDvdVolume::Ok;
}

std::string DvdDiscIdentity(const std::string& disc) {
  std::string ifo = VmgIfo(disc + "/VIDEO_TS");
  if (ifo.empty()) ifo = VmgIfo(disc + "/video_ts");
  if (ifo.empty()) ifo = VmgIfo(disc);
  if (ifo.empty()) return {};
  std::ifstream f(ifo, std::ios::binary);
  std::vector<char> bytes(64 * 1024);
  f.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const size_t n = static_cast<size_t>(f.gcount());
  if (n == 0) return {};
  // FNV-1a over the disc's table of contents: equal discs, equal identity.
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < n; ++i) {
    h ^= static_cast<uint8_t>(bytes[i]);
    h *= 1099511628211ull;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%016llx-%zu", static_cast<unsigned long long>(h), n);
  return text;
}

bool ParseBookmarkRecord(const uint8_t* data, size_t size, TDvdBookmark& bookmark) {
  if (size < 10 || std::memcmp(data, kMagic, 4) != 0 || Get(data + 4, 4) != 1) return false;
  const size_t idLen = static_cast<size_t>(Get(data + 8, 2));
  if (idLen > kMaxId || size != 10 + idLen + 16) return false;
  TDvdBookmark b;
  b.DiscId.assign(reinterpret_cast<const char*>(data + 10), idLen);
  const uint8_t* p = data + 10 + idLen;
  b.Title = static_cast<int32_t>(Get(p, 4));
  b.Chapter = static_cast<int32_t>(Get(p + 4, 4));
  b.TimeMs = static_cast<int64_t>(Get(p + 8, 8));
  if (b.Title < 0 || b.Title > 99 || b.Chapter < 0 || b.Chapter > 999 || b.TimeMs < 0 ||
      b.TimeMs > 100LL * 3600 * 1000)
    return false;
  bookmark = b;
  return true;
}

bool SaveDvdBookmark(const std::string& path, const TDvdBookmark& b, std::string* error) {
  InitGsf();
  std::vector<uint8_t> rec(kMagic, kMagic + 4);
  Put(rec, 1, 4);
  const std::string id = b.DiscId.substr(0, kMaxId);
  Put(rec, id.size(), 2);
  rec.insert(rec.end(), id.begin(), id.end());
  Put(rec, static_cast<uint32_t>(b.Title), 4);
  Put(rec, static_cast<uint32_t>(b.Chapter), 4);
  Put(rec, static_cast<uint64_t>(b.TimeMs), 8);

  // The compound file is built in memory and replaces the old one in a single atomic write.
  GsfOutput* out = gsf_output_memory_new();
  bool ok = out != nullptr;
  std::string bytes;
  if (ok) {
    GsfOutfile* ole = gsf_outfile_msole_new(out);
    GsfOutput* stream = ole ? gsf_outfile_new_child(ole, "BookMark", FALSE) : nullptr;
    ok = stream && gsf_output_write(stream, rec.size(), rec.data());
    if (stream) {
      ok = gsf_output_close(stream) && ok;
      g_object_unref(stream);
    }
    if (ole) {
      ok = gsf_output_close(GSF_OUTPUT(ole)) && ok;
      g_object_unref(ole);
    }
    ok = (gsf_output_is_closed(out) || gsf_output_close(out)) && ok;
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(out));
    if (ok && data) bytes.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(gsf_output_size(out)));
    else ok = false;
    g_object_unref(out);
  }
  if (!ok || !platform::WriteFileAtomic(path, bytes)) {
    if (error) *error = "The bookmark could not be written to " + path + ".";
    return false;
  }
  return true;
}

TBookmarkRead LoadDvdBookmark(const std::string& path, TDvdBookmark& bookmark) {
  InitGsf();
  if (!IsFile(path)) return TBookmarkRead::Missing;
  GError* err = nullptr;
  GsfInput* input = gsf_input_stdio_new(path.c_str(), &err);
  if (err) g_error_free(err);
  if (!input) return TBookmarkRead::Damaged;
  const TBookmarkRead r = ReadFromInput(input, bookmark);
  g_object_unref(input);
  return r;
}

TBookmarkRead ReadDvdBookmarkFromMemory(const uint8_t* data, size_t size, TDvdBookmark& bookmark) {
  InitGsf();
  GsfInput* input = gsf_input_memory_new(data, static_cast<gsf_off_t>(size), FALSE);
  if (!input) return TBookmarkRead::Damaged;
  const TBookmarkRead r = ReadFromInput(input, bookmark);
  g_object_unref(input);
  return r;
}

}  // namespace video
