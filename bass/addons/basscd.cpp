// basscd.so: audio CD tracks as streams, from the system's drives (libcdio) and from BIN/CUE disc
// images registered as extra drives.
//
// Threading: the family functions may run on any thread; the drive table is guarded by g_mutex and
// each physical drive's libcdio handle by its own mutex. A stream reads through its own reader
// (its own file handle for images) under the core's channel lock.
#include "AddonCore.h"
#include "CueSheet.h"
#include "basscd.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

using orvcd::kSectorBytes;

namespace {

bool Fail(int code) { return orvaddon::Fail(code); }
bool Ok() {
  if (const ORV_CORE_API* c = orvaddon::Core()) c->SetError(BASS_OK);
  return true;
}

struct TrackInfo {
  bool audio;
  uint64_t lengthBytes;
  uint32_t pregapSectors;
  uint32_t startSector;  // on the disc (for disc ids), without the 150-sector lead-in
};

// Reads a track's raw 16-bit stereo bytes.
class TrackReader {
 public:
  virtual ~TrackReader() = default;
  // Reads "n" bytes at "offset" within the track; returns the count (short only at the end).
  virtual size_t Read(uint64_t offset, uint8_t* dst, size_t n) = 0;
};

class Drive {
 public:
  virtual ~Drive() = default;
  std::string vendor, product, rev;
  int readOffset = 0;  // samples, BASS_CD_SetOffset
  std::string id;      // the last BASS_CD_GetID answer; guarded by g_mutex
  virtual bool IsImage() const = 0;
  virtual bool Ready() = 0;
  // Tracks of the disc now in the drive; false when there is none.
  virtual bool Tracks(std::vector<TrackInfo>& out) = 0;
  virtual std::unique_ptr<TrackReader> OpenTrack(size_t track) = 0;
  virtual void Release() {}
  virtual std::string Upc() { return {}; }
};

// ---- Disc images ----

class ImageReader : public TrackReader {
 public:
  ImageReader(const std::string& path, uint64_t start, uint64_t length) : start_(start), length_(length) {
    f_ = std::fopen(path.c_str(), "rb");
  }
  ~ImageReader() override {
    if (f_) std::fclose(f_);
  }
  bool ok() const { return f_ != nullptr; }
  size_t Read(uint64_t offset, uint8_t* dst, size_t n) override {
    if (offset >= length_) return 0;
    n = size_t(std::min<uint64_t>(n, length_ - offset));
    if (fseeko(f_, off_t(start_ + offset), SEEK_SET) != 0) return 0;
    return std::fread(dst, 1, n, f_);
  }

 private:
  std::FILE* f_ = nullptr;
  uint64_t start_, length_;
};

class ImageDrive : public Drive {
 public:
  orvcd::CueSheet sheet;
  bool IsImage() const override { return true; }
  bool Ready() override { return true; }
  bool Tracks(std::vector<TrackInfo>& out) override {
    out.clear();
    uint64_t discSector = 0;
    size_t lastFile = size_t(-1);
    uint64_t fileBase = 0;
    for (const orvcd::CueTrack& t : sheet.tracks) {
      // Sector numbers on the disc run on across the files of the sheet.
      if (t.file != lastFile) {
        fileBase = discSector;
        lastFile = t.file;
      }
      uint64_t start = fileBase + t.startByte / t.sectorBytes;
      out.push_back({t.audio, t.lengthBytes / t.sectorBytes * kSectorBytes, t.pregapSectors, uint32_t(start)});
      discSector = start + t.lengthBytes / t.sectorBytes;
    }
    return true;
  }
  std::unique_ptr<TrackReader> OpenTrack(size_t track) override {
    const orvcd::CueTrack& t = sheet.tracks[track];
    auto r = std::make_unique<ImageReader>(sheet.files[t.file], t.startByte, t.lengthBytes);
    if (!r->ok()) return nullptr;
    return r;
  }
};

// ---- System drives through libcdio ----

class CdioDrive;

class CdioReader : public TrackReader {
 public:
  CdioReader(CdioDrive* drive, lsn_t first, uint64_t length) : drive_(drive), first_(first), length_(length) {}
  size_t Read(uint64_t offset, uint8_t* dst, size_t n) override;

 private:
  CdioDrive* drive_;
  lsn_t first_;
  uint64_t length_;
};

class CdioDrive : public Drive {
 public:
  explicit CdioDrive(std::string device) : device_(std::move(device)) {}
  ~CdioDrive() override { Release(); }
  bool IsImage() const override { return false; }
  bool Open() {
    if (!cdio_) cdio_ = cdio_open(device_.c_str(), DRIVER_DEVICE);
    return cdio_ != nullptr;
  }
  void Describe() {
    std::lock_guard<std::mutex> lock(mutex);
    product = device_;
    if (!Open()) return;
    cdio_hwinfo_t hw{};
    if (cdio_get_hwinfo(cdio_, &hw)) {
      vendor = Trim(hw.psz_vendor);
      product = Trim(hw.psz_model);
      rev = Trim(hw.psz_revision);
    }
  }
  bool Ready() override {
    std::vector<TrackInfo> t;
    return Tracks(t);
  }
  bool Tracks(std::vector<TrackInfo>& out) override {
    std::lock_guard<std::mutex> lock(mutex);
    out.clear();
    if (!Open()) return false;
    track_t first = cdio_get_first_track_num(cdio_), count = cdio_get_num_tracks(cdio_);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) return false;
    for (track_t t = first; t < first + count; ++t) {
      lsn_t lsn = cdio_get_track_lsn(cdio_, t);
      unsigned sectors = cdio_get_track_sec_count(cdio_, t);
      bool audio = cdio_get_track_format(cdio_, t) == TRACK_FORMAT_AUDIO;
      out.push_back({audio, uint64_t(sectors) * kSectorBytes, 0, uint32_t(std::max<lsn_t>(lsn, 0))});
    }
    return true;
  }
  std::unique_ptr<TrackReader> OpenTrack(size_t track) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (!Open()) return nullptr;
    track_t t = track_t(cdio_get_first_track_num(cdio_) + track);
    lsn_t lsn = cdio_get_track_lsn(cdio_, t);
    if (lsn == CDIO_INVALID_LSN) return nullptr;
    return std::make_unique<CdioReader>(this, lsn, uint64_t(cdio_get_track_sec_count(cdio_, t)) * kSectorBytes);
  }
  void Release() override {
    std::lock_guard<std::mutex> lock(mutex);
    if (cdio_) cdio_destroy(cdio_);
    cdio_ = nullptr;
  }
  std::string Upc() override {
    std::lock_guard<std::mutex> lock(mutex);
    if (!Open()) return {};
    char* mcn = cdio_get_mcn(cdio_);
    std::string s = mcn ? mcn : "";
    cdio_free(mcn);
    return s;
  }
  const std::string& Device() const { return device_; }

  std::mutex mutex;  // guards cdio_
  CdIo_t* cdio_ = nullptr;

 private:
  static std::string Trim(const char* s) {
    std::string r = s ? s : "";
    while (!r.empty() && r.back() == ' ') r.pop_back();
    return r;
  }
  std::string device_;
};

size_t CdioReader::Read(uint64_t offset, uint8_t* dst, size_t n) {
  if (offset >= length_) return 0;
  n = size_t(std::min<uint64_t>(n, length_ - offset));
  std::lock_guard<std::mutex> lock(drive_->mutex);
  if (!drive_->Open()) return 0;
  size_t done = 0;
  uint8_t sector[kSectorBytes];
  while (done < n) {
    uint64_t at = offset + done;
    lsn_t lsn = lsn_t(first_ + lsn_t(at / kSectorBytes));
    size_t within = size_t(at % kSectorBytes);
    if (cdio_read_audio_sectors(drive_->cdio_, sector, lsn, 1) != DRIVER_OP_SUCCESS) break;
    size_t take = std::min(n - done, size_t(kSectorBytes) - within);
    std::memcpy(dst + done, sector + within, take);
    done += take;
  }
  return done;
}

// ---- The drive table ----

class CdStream;

// The tables outlive static destruction: the core may free our streams from its own exit handler
// (BASS_Free at exit) after this library's destructors would have run.
struct Tables {
  std::mutex mutex;
  std::vector<std::shared_ptr<Drive>> drives;  // system drives first, then images
  size_t systemDrives = 0;
  bool listed = false;
  std::map<CdStream*, HSTREAM> streams;  // live streams and their handles (0 while being created)
};
Tables& T() {
  static Tables* t = new Tables;
  return *t;
}
// Freed when the library is unloaded (an add-on can be unloaded and loaded again). At exit
// this runs after every exit handler, the core's own among them, so no stream of ours is left
// that could reach the tables afterwards.
__attribute__((destructor)) void FreeTables() { delete &T(); }
std::mutex& g_mutex = T().mutex;
auto& g_drives = T().drives;
size_t& g_systemDrives = T().systemDrives;
bool& g_listed = T().listed;

std::shared_ptr<ImageDrive> LoadImage(const std::string& cuePath, int* error) {
  std::ifstream in(cuePath, std::ios::binary);
  if (!in) {
    *error = BASS_ERROR_FILEOPEN;
    return nullptr;
  }
  // A cue sheet is a few kilobytes: a larger file is refused before any of it is read.
  in.seekg(0, std::ios::end);
  const std::streamoff bytes = in.tellg();
  if (bytes < 0 || bytes > std::streamoff(orvcd::kMaxCueSheetBytes)) {
    *error = BASS_ERROR_FILEFORM;
    return nullptr;
  }
  in.seekg(0);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.size() > orvcd::kMaxCueSheetBytes) {  // it grew while read
    *error = BASS_ERROR_FILEFORM;
    return nullptr;
  }
  size_t slash = cuePath.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : cuePath.substr(0, slash + 1);
  auto drive = std::make_shared<ImageDrive>();
  if (!orvcd::ParseCue(text, folder, &drive->sheet)) {
    *error = BASS_ERROR_FILEFORM;
    return nullptr;
  }
  std::vector<uint64_t> sizes;
  for (const std::string& f : drive->sheet.files) {
    std::FILE* fp = std::fopen(f.c_str(), "rb");
    if (!fp) {
      *error = BASS_ERROR_FILEOPEN;
      return nullptr;
    }
    fseeko(fp, 0, SEEK_END);
    sizes.push_back(uint64_t(ftello(fp)));
    std::fclose(fp);
  }
  if (!orvcd::ResolveCue(&drive->sheet, sizes)) {
    *error = BASS_ERROR_FILEFORM;
    return nullptr;
  }
  drive->vendor = "Orvella";
  drive->product = "Disc image " + cuePath.substr(slash == std::string::npos ? 0 : slash + 1);
  drive->rev = "1";
  return drive;
}

// g_mutex held.
void ListDrives() {
  if (g_listed) return;
  g_listed = true;
  cdio_loglevel_default = CDIO_LOG_ERROR;
  if (char** devs = cdio_get_devices(DRIVER_DEVICE)) {
    for (char** d = devs; *d && g_drives.size() < 26; ++d) {
      auto drive = std::make_shared<CdioDrive>(*d);
      drive->Describe();
      g_drives.push_back(drive);
    }
    cdio_free_device_list(devs);
  }
  g_systemDrives = g_drives.size();
  if (const char* env = std::getenv("ORVELLA_CD_IMAGES")) {
    std::stringstream ss(env);
    std::string path;
    while (std::getline(ss, path, ':')) {
      int error;
      if (path.empty() || g_drives.size() >= 26) continue;
      if (auto img = LoadImage(path, &error)) g_drives.push_back(img);
    }
  }
}

std::shared_ptr<Drive> GetDrive(DWORD drive) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ListDrives();
  if (drive >= g_drives.size()) return Fail(BASS_ERROR_DEVICE), nullptr;
  return g_drives[drive];
}

bool DiscTracks(const std::shared_ptr<Drive>& d, std::vector<TrackInfo>& tracks) {
  if (!d->Tracks(tracks) || tracks.empty()) return Fail(BASS_ERROR_NOCD);
  return true;
}

// ---- Streams ----

class CdStream {
 public:
  std::unique_ptr<TrackReader> reader;
  uint64_t length = 0;  // source bytes (16-bit stereo)
  uint64_t pos = 0;     // source bytes
  DWORD flags = 0, chans = 2, frameBytes = 4;
  DWORD track = 0;
  DWORD drive = 0;
  int64_t offsetBytes = 0;  // drive read offset
  std::vector<int16_t> src;  // reused read buffer

  std::mutex mutex;  // reader, length, pos and track: BASS_CD_StreamSetTrack swaps them

  DWORD Read(void* buffer, DWORD size, BOOL* ended) {
    std::lock_guard<std::mutex> lock(mutex);
    size_t frames = size / frameBytes;
    src.resize(frames * 2);
    size_t want = size_t(std::min<uint64_t>(frames * 4, length - pos));
    size_t got = ReadShifted(reinterpret_cast<uint8_t*>(src.data()), want);
    got -= got % 4;
    size_t n = got / 4;
    pos += got;
    if (pos >= length || got < want) *ended = TRUE;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < n; ++i) {
      float l = src[2 * i] / 32768.0f, r = src[2 * i + 1] / 32768.0f;
      if (chans == 1) {
        float m = 0.5f * (l + r);
        Put(out, i, 0, m, src[2 * i] / 2 + src[2 * i + 1] / 2);
      } else {
        Put(out, i, 0, l, src[2 * i]);
        Put(out, i, 1, r, src[2 * i + 1]);
      }
    }
    return DWORD(n * frameBytes);
  }
  bool Seek(QWORD bytes) {
    std::lock_guard<std::mutex> lock(mutex);
    uint64_t frame = bytes / frameBytes;
    if (frame * 4 > length) return false;
    pos = frame * 4;
    return true;
  }

 private:
  // The drive's read offset moves the whole track by whole samples; outside the track is silence.
  size_t ReadShifted(uint8_t* dst, size_t n) {
    int64_t at = int64_t(pos) + offsetBytes;
    size_t done = 0;
    if (at < 0) {
      size_t zeros = size_t(std::min<int64_t>(-at, int64_t(n)));
      std::memset(dst, 0, zeros);
      done = zeros;
      at += int64_t(zeros);
    }
    while (done < n) {
      size_t got = reader->Read(uint64_t(at), dst + done, n - done);
      if (got == 0) break;
      done += got;
      at += int64_t(got);
    }
    if (offsetBytes > 0 && done < n && uint64_t(at) >= length) {
      std::memset(dst + done, 0, n - done);  // shifted past the track end
      done = n;
    }
    return done;
  }
  void Put(uint8_t* out, size_t frame, size_t ch, float f, int16_t s) {
    size_t idx = frame * chans + ch;
    if (flags & BASS_SAMPLE_FLOAT) reinterpret_cast<float*>(out)[idx] = f;
    else if (flags & BASS_SAMPLE_8BITS) out[idx] = uint8_t((s >> 8) + 128);
    else reinterpret_cast<int16_t*>(out)[idx] = s;
  }
};

auto& g_streams = T().streams;  // guarded by g_mutex

CdStream* FindStream(HSTREAM h) {
  for (auto& [s, handle] : g_streams)
    if (handle == h && h) return s;
  return nullptr;
}

DWORD ReadFn(void* self, void* buffer, DWORD length, BOOL* ended) {
  return static_cast<CdStream*>(self)->Read(buffer, length, ended);
}
BOOL SeekFn(void* self, QWORD pos) { return static_cast<CdStream*>(self)->Seek(pos); }
QWORD LengthFn(void* self) {
  auto* s = static_cast<CdStream*>(self);
  std::lock_guard<std::mutex> lock(s->mutex);
  return s->length / 4 * s->frameBytes;
}
void CloseFn(void* self) {
  auto* s = static_cast<CdStream*>(self);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_streams.erase(s);
  }
  delete s;
}
const ORV_DECODER_FUNCS kFuncs = {ReadFn, SeekFn, LengthFn, nullptr, nullptr, CloseFn};

// "A:/Track01.cda" (or with "\"): drive letter, then the track number just before ".cda".
bool ParseCdaName(const char* name, DWORD* drive, DWORD* track) {
  if (!name) return false;
  std::string s = name;
  if (s.size() < 7 || !std::isalpha(static_cast<unsigned char>(s[0])) || s[1] != ':') return false;
  std::string lower = s;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (lower.compare(lower.size() - 4, 4, ".cda") != 0) return false;
  size_t end = s.size() - 4, begin = end;
  while (begin > 2 && std::isdigit(static_cast<unsigned char>(s[begin - 1])) && end - begin < 2) --begin;
  if (begin == end) return false;
  int number = std::atoi(s.substr(begin, end - begin).c_str());
  if (number < 1) return false;
  *drive = DWORD(std::toupper(static_cast<unsigned char>(s[0])) - 'A');
  *track = DWORD(number - 1);
  return true;
}

const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_CD, "CD Audio", "*.cda"},
};

// A .cda entry has no audio of its own: tracks open through BASS_CD_StreamCreateFile.
BOOL AddonOpenFile(ORV_FILE*, DWORD, ORV_DECODER*) { return Fail(BASS_ERROR_FILEFORM); }

const ORV_ADDON kAddon = {ORV_ADDON_ABI, {ORVELLA_BASS_VERSION, 1, kFormats}, AddonOpenFile, nullptr, orvaddon::ForgetCore};

}  // namespace

ORV_EXPORT const ORV_ADDON* OrvBassAddonGet(const ORV_CORE_API* core) {
  if (!core || core->abi != ORV_ADDON_ABI) return nullptr;
  orvaddon::SetCore(core);
  return &kAddon;
}

ORV_EXPORT DWORD ORV_CD_AddImage(const char* cuePath) {
  if (!cuePath) return Fail(BASS_ERROR_ILLPARAM), DWORD(-1);
  int error = 0;
  auto img = LoadImage(cuePath, &error);
  if (!img) return Fail(error), DWORD(-1);
  std::lock_guard<std::mutex> lock(g_mutex);
  ListDrives();
  if (g_drives.size() >= 26) return Fail(BASS_ERROR_NOCHAN), DWORD(-1);
  g_drives.push_back(img);
  Ok();
  return DWORD(g_drives.size() - 1);
}

ORV_EXPORT void ORV_CD_ClearImages(void) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ListDrives();
  g_drives.resize(g_systemDrives);
}

ORV_EXPORT BOOL BASS_CD_GetInfo(DWORD drive, BASS_CD_INFO* info) {
  auto d = GetDrive(drive);
  if (!d) return FALSE;
  if (!info) return Fail(BASS_ERROR_ILLPARAM);
  *info = BASS_CD_INFO{};
  info->vendor = d->vendor.c_str();
  info->product = d->product.c_str();
  info->rev = d->rev.c_str();
  info->letter = int(drive);
  info->rwflags = d->IsImage() ? 0 : BASS_CD_RWFLAG_READCDR | BASS_CD_RWFLAG_READCDRW;
  info->canopen = !d->IsImage();
  info->canlock = FALSE;
  info->maxspeed = d->IsImage() ? 0 : 176 * 48;
  info->cache = 0;
  info->cdtext = FALSE;
  return Ok();
}

ORV_EXPORT BOOL BASS_CD_Door(DWORD drive, DWORD action) {
  auto d = GetDrive(drive);
  if (!d) return FALSE;
  if (d->IsImage() || action > BASS_CD_DOOR_CLOSE + 1) return Fail(BASS_ERROR_NOTAVAIL);
  auto* cd = static_cast<CdioDrive*>(d.get());
  cd->Release();
  driver_return_code_t rc = action == BASS_CD_DOOR_OPEN ? cdio_eject_media_drive(cd->Device().c_str())
                                                        : cdio_close_tray(cd->Device().c_str(), nullptr);
  return rc == DRIVER_OP_SUCCESS ? Ok() : Fail(BASS_ERROR_UNKNOWN);
}

ORV_EXPORT BOOL BASS_CD_DoorIsOpen(DWORD drive) {
  auto d = GetDrive(drive);
  if (!d) return FALSE;
  Ok();
  if (d->IsImage()) return FALSE;
  auto* cd = static_cast<CdioDrive*>(d.get());
  std::lock_guard<std::mutex> lock(cd->mutex);
  return cd->Open() && mmc_get_tray_status(cd->cdio_) == 1;
}

ORV_EXPORT BOOL BASS_CD_DoorIsLocked(DWORD drive) {
  if (!GetDrive(drive)) return FALSE;
  Ok();
  return FALSE;  // this library never locks a door
}

ORV_EXPORT BOOL BASS_CD_IsReady(DWORD drive) {
  auto d = GetDrive(drive);
  if (!d) return FALSE;
  Ok();
  return d->Ready();
}

ORV_EXPORT DWORD BASS_CD_GetTracks(DWORD drive) {
  auto d = GetDrive(drive);
  std::vector<TrackInfo> t;
  if (!d || !DiscTracks(d, t)) return DWORD(-1);
  Ok();
  return DWORD(t.size());
}

ORV_EXPORT DWORD BASS_CD_GetTrackLength(DWORD drive, DWORD track) {
  auto d = GetDrive(drive);
  std::vector<TrackInfo> t;
  if (!d || !DiscTracks(d, t)) return BASS_CD_TRACK_ERROR;
  if (track >= t.size()) return Fail(BASS_ERROR_CDTRACK), BASS_CD_TRACK_ERROR;
  Ok();
  return DWORD(std::min<uint64_t>(t[track].lengthBytes, 0xFFFFFFFEu));
}

ORV_EXPORT DWORD BASS_CD_GetTrackPregap(DWORD drive, DWORD track) {
  auto d = GetDrive(drive);
  std::vector<TrackInfo> t;
  if (!d || !DiscTracks(d, t)) return BASS_CD_TRACK_ERROR;
  if (track >= t.size()) return Fail(BASS_ERROR_CDTRACK), BASS_CD_TRACK_ERROR;
  Ok();
  return t[track].pregapSectors * kSectorBytes;
}

ORV_EXPORT const char* BASS_CD_GetID(DWORD drive, DWORD id) {
  auto d = GetDrive(drive);
  std::vector<TrackInfo> t;
  if (!d || !DiscTracks(d, t)) return nullptr;
  std::string result;
  auto answer = [&]() {
    std::lock_guard<std::mutex> lock(g_mutex);
    d->id = result;  // valid until the drive's next id request
    Ok();
    return d->id.c_str();
  };
  if (id == BASS_CDID_UPC) {
    result = d->Upc();
    if (result.empty()) return Fail(BASS_ERROR_NOTAVAIL), nullptr;
    return answer();
  }
  if (id != BASS_CDID_CDDB && id != BASS_CDID_CDDB2) return Fail(BASS_ERROR_ILLTYPE), nullptr;
  // The freedb disc id: digit sums of the track start seconds, the playing time, the track count.
  auto digitSum = [](uint32_t n) {
    uint32_t s = 0;
    for (; n; n /= 10) s += n % 10;
    return s;
  };
  uint32_t sum = 0;
  for (const TrackInfo& ti : t) sum += digitSum((ti.startSector + 150) / 75);
  uint32_t leadOut = t.back().startSector + uint32_t(t.back().lengthBytes / kSectorBytes);
  uint32_t total = (leadOut + 150) / 75 - (t.front().startSector + 150) / 75;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08x", ((sum % 0xFF) << 24) | (total << 8) | uint32_t(t.size()));
  result = buf;
  if (id == BASS_CDID_CDDB2) {
    result += " " + std::to_string(t.size());
    for (const TrackInfo& ti : t) result += " " + std::to_string(ti.startSector + 150);
    result += " " + std::to_string((leadOut + 150) / 75);
  }
  return answer();
}

ORV_EXPORT DWORD BASS_CD_GetSpeed(DWORD drive) {
  if (!GetDrive(drive)) return DWORD(-1);
  // Neither images nor libcdio report the current speed.
  return Fail(BASS_ERROR_NOTAVAIL), DWORD(-1);
}

ORV_EXPORT BOOL BASS_CD_SetSpeed(DWORD drive, float speed) {
  auto d = GetDrive(drive);
  if (!d) return FALSE;
  if (d->IsImage()) return Fail(BASS_ERROR_NOTAVAIL);
  auto* cd = static_cast<CdioDrive*>(d.get());
  std::lock_guard<std::mutex> lock(cd->mutex);
  if (!cd->Open()) return Fail(BASS_ERROR_NOCD);
  // The speed is in KB/s; 176.4 KB/s is single speed. -1 (or 0) asks for the maximum.
  int factor = speed <= 0 ? -1 : std::max(1, int(std::lround(speed / 176.4f)));
  return cdio_set_speed(cd->cdio_, factor) == DRIVER_OP_SUCCESS ? Ok() : Fail(BASS_ERROR_NOTAVAIL);
}

ORV_EXPORT BOOL BASS_CD_SetOffset(DWORD drive, int offset) {
  auto d = GetDrive(drive);
  if (!d) return FALSE;
  if (offset < -44100 || offset > 44100) return Fail(BASS_ERROR_ILLPARAM);
  std::lock_guard<std::mutex> lock(g_mutex);
  d->readOffset = offset;  // applies to streams created afterwards
  return Ok();
}

ORV_EXPORT BOOL BASS_CD_Release(DWORD drive) {
  auto d = GetDrive(drive);
  if (!d) return FALSE;
  d->Release();
  return Ok();
}

ORV_EXPORT HSTREAM BASS_CD_StreamCreate(DWORD drive, DWORD track, DWORD flags) {
  const ORV_CORE_API* core = orvaddon::Core();
  if (!core) return 0;
  auto d = GetDrive(drive);
  std::vector<TrackInfo> t;
  if (!d || !DiscTracks(d, t)) return 0;
  if (track >= t.size()) return Fail(BASS_ERROR_CDTRACK), 0;
  if (!t[track].audio) return Fail(BASS_ERROR_NOTAUDIO), 0;
  auto s = std::make_unique<CdStream>();
  s->reader = d->OpenTrack(track);
  if (!s->reader) return Fail(BASS_ERROR_NOCD), 0;
  s->length = t[track].lengthBytes;
  s->flags = flags & (BASS_SAMPLE_FLOAT | BASS_SAMPLE_8BITS | BASS_SAMPLE_MONO);
  s->chans = (flags & BASS_SAMPLE_MONO) ? 1 : 2;
  s->frameBytes = s->chans * ((flags & BASS_SAMPLE_FLOAT) ? 4 : (flags & BASS_SAMPLE_8BITS) ? 1 : 2);
  s->track = track;
  s->drive = drive;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    s->offsetBytes = int64_t(d->readOffset) * 4;
  }
  ORV_DECODER dec{};
  dec.funcs = &kFuncs;
  dec.self = s.get();
  dec.freq = 44100;
  dec.chans = s->chans;
  dec.flags = s->flags & (BASS_SAMPLE_FLOAT | BASS_SAMPLE_8BITS);
  dec.ctype = BASS_CTYPE_STREAM_CD;
  dec.origres = 16;
  char name[32];
  std::snprintf(name, sizeof name, "%c:/Track%02u.cda", char('A' + drive), unsigned(track + 1));
  // BASS_CONFIG_CD_FREEOLD: a new stream replaces the drive's previous ones.
  auto getConfig = orvaddon::CoreFunction<DWORD(DWORD)>("BASS_GetConfig");
  auto streamFree = orvaddon::CoreFunction<BOOL(HSTREAM)>("BASS_StreamFree");
  if (getConfig && streamFree && getConfig(BASS_CONFIG_CD_FREEOLD) == 1) {
    std::vector<HSTREAM> old;
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      for (auto& [stream, handle] : g_streams)
        if (stream->drive == drive && handle) old.push_back(handle);
    }
    for (HSTREAM o : old) streamFree(o);  // outside the lock: closing takes it
  }
  CdStream* raw = s.release();  // the core owns it now, and closes it on failure
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_streams[raw] = 0;
  }
  HSTREAM h = core->CreateStream(&dec, nullptr, flags, 0, name);
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_streams.find(raw);  // gone when the creation failed or the stream was freed already
  if (h && it != g_streams.end()) it->second = h;
  return h;
}

ORV_EXPORT HSTREAM BASS_CD_StreamCreateFile(const char* file, DWORD flags) {
  if (!orvaddon::Core()) return 0;
  DWORD drive, track;
  if (!ParseCdaName(file, &drive, &track)) return Fail(BASS_ERROR_FILEOPEN), 0;
  return BASS_CD_StreamCreate(drive, track, flags);
}

ORV_EXPORT DWORD BASS_CD_StreamGetTrack(HSTREAM handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  CdStream* s = FindStream(handle);
  if (!s) return Fail(BASS_ERROR_HANDLE), DWORD(-1);
  std::lock_guard<std::mutex> sl(s->mutex);
  Ok();
  return s->track;
}

ORV_EXPORT BOOL BASS_CD_StreamSetTrack(HSTREAM handle, DWORD track) {
  DWORD drive;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    CdStream* s = FindStream(handle);
    if (!s) return Fail(BASS_ERROR_HANDLE);
    drive = s->drive;
  }
  auto d = GetDrive(drive);
  std::vector<TrackInfo> t;
  if (!d || !DiscTracks(d, t)) return FALSE;
  if (track >= t.size()) return Fail(BASS_ERROR_CDTRACK);
  if (!t[track].audio) return Fail(BASS_ERROR_NOTAUDIO);
  std::unique_ptr<TrackReader> reader = d->OpenTrack(track);
  if (!reader) return Fail(BASS_ERROR_NOCD);
  {
    std::lock_guard<std::mutex> lock(g_mutex);  // the stream may have gone meanwhile
    CdStream* s = FindStream(handle);
    if (!s) return Fail(BASS_ERROR_HANDLE);
    std::lock_guard<std::mutex> sl(s->mutex);
    s->reader = std::move(reader);
    s->length = t[track].lengthBytes;
    s->track = track;
    s->pos = 0;
  }
  // The core drops what it buffered of the old track and starts the new one.
  auto setPos = orvaddon::CoreFunction<BOOL(DWORD, QWORD, DWORD)>("BASS_ChannelSetPosition");
  if (setPos) setPos(handle, 0, BASS_POS_BYTE);
  return Ok();
}

// There is no analog audio cable to a sound card on these systems: the analog family answers
// "not available".
ORV_EXPORT BOOL BASS_CD_Analog_Play(DWORD drive, DWORD track, DWORD pos) {
  (void)track;
  (void)pos;
  if (!GetDrive(drive)) return FALSE;
  return Fail(BASS_ERROR_NOTAVAIL);
}

ORV_EXPORT DWORD BASS_CD_Analog_PlayFile(const char* file, DWORD pos) {
  (void)pos;
  DWORD drive, track;
  if (!ParseCdaName(file, &drive, &track)) return Fail(BASS_ERROR_FILEOPEN), DWORD(-1);
  if (!GetDrive(drive)) return DWORD(-1);
  return Fail(BASS_ERROR_NOTAVAIL), DWORD(-1);
}

ORV_EXPORT BOOL BASS_CD_Analog_Stop(DWORD drive) {
  if (!GetDrive(drive)) return FALSE;
  return Fail(BASS_ERROR_NOTAVAIL);
}

ORV_EXPORT DWORD BASS_CD_Analog_IsActive(DWORD drive) {
  if (!GetDrive(drive)) return BASS_ACTIVE_STOPPED;
  Ok();
  return BASS_ACTIVE_STOPPED;
}

ORV_EXPORT DWORD BASS_CD_Analog_GetPosition(DWORD drive) {
  if (!GetDrive(drive)) return DWORD(-1);
  return Fail(BASS_ERROR_NOTAVAIL), DWORD(-1);
}
