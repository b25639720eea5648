// Network streams of the engine: opening an address (live broadcast or network
// file), pre-buffering a broadcast, reopening it on resume, and the notices of
// the library's metadata, download and status procedures.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "engine/AddonFamilies.h"
#include "engine/ZOZUZivade.h"
#include "platform/Paths.h"
#include "plugins/PluginCtrl.h"
#include "tags/MPEGaudio.h"

namespace engine {

namespace {

constexpr DWORD kDecodeOnly = 0x200000;
constexpr int kPumpStepMs = 20;
// While connecting the UI thread waits in shorter steps: the connection may take seconds.
constexpr int kConnectStepMs = 10;
constexpr int kDefaultNetTimeoutMs = 5000;

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  size_t n = std::strlen(prefix);
  return s.size() >= n && Upper(s.substr(0, n)) == Upper(prefix);
}

uint32_t ClampSize(QWORD n) { return n > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(n); }

// Library procedures: they run on library threads and only hand over and post.
void CALLBACK MetaProc(HSYNC, DWORD channel, DWORD, void* user) {
  static_cast<net::TMetaRecord*>(user)->Notice(channel);
}
void CALLBACK DownloadedProc(HSYNC, DWORD channel, DWORD, void* user) {
  platform::PostMessage(static_cast<platform::HWND>(user), WM_BASS_DOWNLOADED, channel, 0);
}
void CALLBACK NetStatusProc(const void* buffer, DWORD length, void* user) {
  static_cast<net::TNetStatusRecord*>(user)->Notice(buffer, length);
}

}  // namespace

// One connection attempt on its own thread. The attempt that is given up frees its channel
// itself when it arrives; whoever comes second (the worker or the engine) frees it.
struct TZOZUZivade::ConnectJob {
  enum State { kRunning, kDone, kAbandoned };
  std::atomic<int> state{kRunning};
  std::atomic<bool> finished{false};  // the worker has left the library and is about to end
  DWORD handle = 0;
  int error = 0;
  std::function<void(DWORD)> free;
};

void TZOZUZivade::JoinFinishedConnects(bool all) {
  for (auto it = connects_.begin(); it != connects_.end();) {
    // An abandoned attempt may still be connecting: only the engine's end waits for it (the
    // library gives up within its network timeout); the UI thread never does.
    if (all || it->first->finished.load()) {
      if (it->second.joinable()) it->second.join();
      it = connects_.erase(it);
    } else {
      ++it;
    }
  }
}

DWORD TZOZUZivade::ConnectPumping(std::function<DWORD()> create, bool& cancelled, int& error) {
  JoinFinishedConnects(false);
  auto job = std::make_shared<ConnectJob>();
  TBassCore* bass = &bass_;
  job->free = [bass](DWORD h) { bass->BASS_StreamFree(h); };
  std::thread worker([job, create = std::move(create), bass] {
    DWORD h = create();
    job->handle = h;
    job->error = h ? 0 : bass->BASS_ErrorGetCode();
    int expected = ConnectJob::kRunning;
    if (!job->state.compare_exchange_strong(expected, ConnectJob::kDone) && h) job->free(h);
    job->finished = true;
  });
  connecting_ = true;
  connectCancel_ = false;
  while (job->state.load() == ConnectJob::kRunning && !connectCancel_) Pump(kConnectStepMs);
  connecting_ = false;
  cancelled = false;
  DWORD handle = 0;
  if (connectCancel_) {
    cancelled = true;
    int expected = ConnectJob::kRunning;
    if (!job->state.compare_exchange_strong(expected, ConnectJob::kAbandoned)) {
      // It answered just as it was given up.
      if (job->handle) job->free(job->handle);
    }
    connects_.emplace_back(job, std::move(worker));
  } else {
    worker.join();
    handle = job->handle;
    error = job->error;
  }
  connectCancel_ = false;
  return handle;
}

bool TZOZUZivade::OpenURL(const std::string& url, const std::string& nameIn, bool wasPlaying) {
  auto resumePrevious = [&] {
    if (wasPlaying && outputChannel_) bass_.BASS_ChannelPlay(outputChannel_, FALSE);
  };
  const std::string e = platform::LowerAscii(net::UrlExtension(url));
  const std::string E = Upper(e);
  const DWORD flags = singleChannelConfig_ ? 0 : kDecodeOnly;
  const uint64_t id = ++netStreamSeq_;
  auto inList = [&](const char* list) {
    return E.size() >= 3 && std::strstr(list, ("*" + E + ";").c_str()) != nullptr;
  };

  DWORD handle = 0;
  int kind = skNone;
  int pluginNum = -1;
  bool aac = false;
  bool cancelled = false;
  int error = 0;
  auto findPlugin = [&](const std::string& ext) {
    return pluginBuffersReady_ && ext.size() >= 3 ? plugins::FindPluginForExt(ext) : -1;
  };

  if ((E == ".ASF" || E == ".WMA") && !wmaReady_) {
    pluginNum = plugins::FindPluginForExt(E == ".ASF" ? "ASF" : "WMA");
    if (pluginNum < 0) {
      errorBox_.ShowError("Load BASSWMA.DLL or Winamp input plug-in for ASF/WMA file.");
      resumePrevious();
      return false;
    }
    if (!pluginBuffersReady_) {
      errorBox_.ShowError("Cannot run Winamp input plug-ins. (Faild to get buffer) !");
      resumePrevious();
      return false;
    }
  } else {
    if (inList("*.MID;*.MIDI;*.RMI;*.KAR;")) {
      if (!soundFontReady_) {
        if (families_->MIDILoaded()) errorBox_.ShowError("None of sound font is loaded.");
        resumePrevious();
        return false;
      }
      netStatus_.Arm(hiddenWindow_, id);
      auto create = families_->midi.BASS_MIDI_StreamCreateURL;
      net::TNetStatusRecord* status = &netStatus_;
      handle = ConnectPumping(
          [create, url, flags, status] {
            return create(url.c_str(), 0, flags | BASS_STREAM_STATUS, &NetStatusProc, status, 44100);
          },
          cancelled, error);
      kind = skMIDI;
    } else {
      auto create = bass_.BASS_StreamCreateURL;
      handle = ConnectPumping([create, url, flags] { return create(url.c_str(), 0, flags, nullptr, nullptr); },
                              cancelled, error);
      kind = skFile;
      if (handle) {
        BASS_CHANNELINFO ci{};
        bass_.BASS_ChannelGetInfo(handle, &ci);
        if (ci.ctype == 0x10300 || ci.ctype == 0x10301) kind = skWMA;
        aac = ci.ctype == 0x10B00 || ci.ctype == 0x10B01;
      }
    }
    if (cancelled) {  // Close (or another Open) came during the connection: nothing to report
      if (kind == skMIDI) netStatus_.Disarm();
      return false;
    }
    if (!handle) {
      std::string exts = plugins::GetPluginExtFilter();
      if (!e.empty() && platform::LowerAscii(exts).find("*" + e + ";") != std::string::npos)
        pluginNum = findPlugin(E.substr(1));
      if (pluginNum < 0) {
        if (kind == skMIDI) netStatus_.Disarm();
        errorBox_.ShowError("Invalid or unsupported URL stream.\n -> " + nameIn);
        resumePrevious();
        return false;
      }
    }
  }
  (void)error;

  TStreamInfo info;
  info.FileName = url;
  bool live = false;
  if (pluginNum >= 0) {
    Close();
    streamKind_ = skPlugin;
    pluginSlot_ = pluginNum;
    plugins::SelectInputPlugin(pluginNum);
    decoderName_ = plugins::GetPluginInfo(pluginNum).Description;
    supportedBy_ = sbPluginOnly;
  } else {
    Close();
    decodeChannel_ = handle;
    streamKind_ = kind;
    if (kind == skMIDI) downloadComplete_ = true;
    supportedBy_ = sbBassOnly;
  }
  netStreamId_ = id;
  if (kind != skMIDI) netStatus_.Disarm();

  // Live broadcast or network file: a known extension names a file, unless the server
  // answers as a broadcast does (no length, or interleaved metadata).
  if (IsBassKind()) {
    httpHeaders_ = net::TagList(bass_.BASS_ChannelGetTags(decodeChannel_, BASS_TAG_HTTP));
    icyHeaders_ = net::TagList(bass_.BASS_ChannelGetTags(decodeChannel_, BASS_TAG_ICY));
  }
  bool known = !e.empty() && (platform::LowerAscii(GetNativeFileExts()).find("*" + e + ";") != std::string::npos ||
                              platform::LowerAscii(AddOnExtList()).find("*" + e + ";") != std::string::npos ||
                              platform::LowerAscii(plugins::GetPluginExtFilter()).find("*" + e + ";") !=
                                  std::string::npos);
  // The library plays mms:// only as a broadcast (no length, never complete), whatever the name
  // ends in: "mms://host/live.asf" is a live stream, not a file being downloaded.
  if (pluginNum < 0 && StartsWithNoCase(url, "mms://")) known = false;
  if (streamKind_ != skMIDI && (!httpHeaders_.empty() || !icyHeaders_.empty())) {
    bool metaint = false, lengthKnown = false;
    net::HeaderValue(icyHeaders_, "icy-metaint", &metaint);
    if (!metaint) net::HeaderValue(httpHeaders_, "icy-metaint", &metaint);
    std::string length = net::HeaderValue(httpHeaders_, "content-length", &lengthKnown);
    if (!lengthKnown) length = net::HeaderValue(icyHeaders_, "content-length", &lengthKnown);
    if (metaint || !lengthKnown) known = false;
    // A length the library does not keep as a file's (too large to hold) is played as a broadcast.
    const QWORD end = bass_.BASS_StreamGetFilePosition(decodeChannel_, BASS_FILEPOS_END);
    if (known && end != QWORD(-1) && end != std::strtoull(length.c_str(), nullptr, 10)) known = false;
  }
  live = !known;
  liveBroadcast_ = live;
  networkFile_ = !live;

  if (live) {
    if (streamKind_ == skWMA) {
      for (const auto& line : net::TagList(bass_.BASS_ChannelGetTags(decodeChannel_, BASS_TAG_WMA)))
        if (line.rfind("Bitrate=", 0) == 0) info.BitRate = std::atoi(line.c_str() + 8) / 1000;
      bool found = false;
      std::string t = net::MetaTitle(bass_.BASS_ChannelGetTags(decodeChannel_, BASS_TAG_WMA_META), true, &found);
      if (found) info.Title = t;
    } else if (IsBassKind()) {
      tagList_ = icyHeaders_.empty() ? httpHeaders_ : icyHeaders_;
      info.BitRate = net::HeaderBitRate(tagList_);
      bool found = false;
      std::string t = net::MetaTitle(bass_.BASS_ChannelGetTags(decodeChannel_, BASS_TAG_META), false, &found);
      info.Title = found ? t : std::string{};
    }
    metaTitle_ = info.Title;
  } else if (IsBassKind()) {
    if (E == ".OGG") {
      for (const auto& entry : net::TagList(bass_.BASS_ChannelGetTags(decodeChannel_, BASS_TAG_OGG))) {
        if (StartsWithNoCase(entry, "TITLE=")) {
          info.Title = net::CleanText(entry.substr(6));
          break;
        }
        if (StartsWithNoCase(entry, "ARTIST=")) info.Artist = net::CleanText(entry.substr(7));
        else if (StartsWithNoCase(entry, "GENRE=")) info.Genre = net::CleanText(entry.substr(6));
        else if (StartsWithNoCase(entry, "ALBUM=")) info.Album = net::CleanText(entry.substr(6));
      }
    } else if (streamKind_ == skWMA) {
      tagList_ = net::TagList(bass_.BASS_ChannelGetTags(decodeChannel_, BASS_TAG_WMA));
      for (const auto& line : tagList_) {
        if (line.rfind("FileSize=", 0) == 0) info.FileSize = ClampSize(std::strtoull(line.c_str() + 9, nullptr, 10));
        else if (line.rfind("Bitrate=", 0) == 0) info.BitRate = std::atoi(line.c_str() + 8) / 1000;
        else if (line.rfind("Title=", 0) == 0) info.Title = net::CleanText(line.substr(6));
        else if (line.rfind("Author=", 0) == 0) info.Artist = net::CleanText(line.substr(7));
      }
    }
    if (info.Title.empty()) info.Title = net::UrlTitle(url);
    if (streamKind_ == skMIDI) {
      // The status line comes from the download procedure.
      for (int i = 0; i < 100 && !netStatus_.Arrived(id) && netStreamId_ == id; ++i) Pump(30);
      if (netStreamId_ != id) return false;  // closed while waiting
      std::string status = netStatus_.Status(id);
      httpHeaders_.clear();
      if (!status.empty()) httpHeaders_.push_back(status);
    }
    info.Duration = int32_t(GetLength());
    QWORD total = bass_.BASS_StreamGetFilePosition(decodeChannel_, BASS_FILEPOS_END);
    if (total != QWORD(-1)) {
      if (streamKind_ != skWMA) {
        info.FileSize = ClampSize(total);
        double seconds = info.Duration / 1000.0;
        info.BitRate = seconds > 0 ? int32_t(std::lround(double(total) / (seconds * 125))) : 0;
      }
      if (bass_.BASS_StreamGetFilePosition(decodeChannel_, BASS_FILEPOS_DOWNLOAD) == total) downloadComplete_ = true;
    }
    if (!downloadComplete_)
      bass_.BASS_ChannelSetSync(decodeChannel_, BASS_SYNC_DOWNLOAD, 0, &DownloadedProc, hiddenWindow_);
  }

  if (IsBassKind()) {
    BASS_CHANNELINFO ci{};
    bass_.BASS_ChannelGetInfo(decodeChannel_, &ci);
    info.SampleRate = ci.freq;
    info.Channels = uint16_t(ci.chans);
    info.Format = int32_t(ci.ctype);
    if (!live && GetNativeFileExts().find("*" + e + ";") == std::string::npos && !AddOnForExt(e).empty())
      decoderName_ = AddOnForExt(e);
    else if (streamKind_ == skWMA) decoderName_ = "basswma.so";
    else if (streamKind_ == skMIDI) decoderName_ = "bassmidi.so";
    else if (aac) decoderName_ = "bass_aac.so";
    else decoderName_ = "bass.so";
    if (live) {
      metaRecord_.Arm(hiddenWindow_, decodeChannel_, id, streamKind_ == skWMA, bass_.BASS_ChannelGetTags);
      if (streamKind_ == skWMA) {
        bass_.BASS_ChannelSetSync(decodeChannel_, 0x10101, 0, &MetaProc, &metaRecord_);
        bass_.BASS_ChannelSetSync(decodeChannel_, 0x10100, 0, &MetaProc, &metaRecord_);
      } else {
        bass_.BASS_ChannelSetSync(decodeChannel_, BASS_SYNC_META, 0, &MetaProc, &metaRecord_);
      }
    }
  }

  TakeOpenedStream(url, info);
  return true;
}

bool TZOZUZivade::PreBuffer(DWORD channel) {
  const uint64_t gen = streamGen_;
  int timeoutMs = int(bass_.BASS_GetConfig(BASS_CONFIG_NET_TIMEOUT));
  if (timeoutMs <= 0 || timeoutMs == -1) timeoutMs = kDefaultNetTimeoutMs;
  // The share of the buffer to fill first: the library's pre-buffer setting (75 % unless changed).
  DWORD fillPercent = bass_.BASS_GetConfig(BASS_CONFIG_NET_PREBUF);
  if (fillPercent == DWORD(-1) || fillPercent > 100) fillPercent = 75;
  prebuffering_ = true;
  prebufferCancel_ = false;
  using Clock = std::chrono::steady_clock;
  auto lastProgress = Clock::now();
  QWORD lastSeen = QWORD(-2);
  bool failed = false;
  const bool wmaProgress = bass_.BASS_StreamGetFilePosition(channel, BASS_FILEPOS_WMA_BUFFER) != QWORD(-1);
  for (;;) {
    QWORD progress;
    if (wmaProgress) {
      QWORD pct = bass_.BASS_StreamGetFilePosition(channel, BASS_FILEPOS_WMA_BUFFER);
      if (pct == QWORD(-1)) {
        failed = true;
        break;
      }
      if (pct >= 100) break;
      progress = pct;
    } else {
      QWORD total = bass_.BASS_StreamGetFilePosition(channel, BASS_FILEPOS_END);
      if (total == QWORD(-1)) {
        failed = true;
        break;
      }
      QWORD down = bass_.BASS_StreamGetFilePosition(channel, BASS_FILEPOS_DOWNLOAD);
      QWORD cur = bass_.BASS_StreamGetFilePosition(channel, BASS_FILEPOS_CURRENT);
      if (total > 0 && down != QWORD(-1) && cur != QWORD(-1) && down >= cur) {
        const long long fill = std::llround(double(down - cur) * 100.0 / double(total));
        if (fill > static_cast<long long>(fillPercent) || fill >= 100) break;
      }
      // The server closed the connection: what came is all there is.
      if (bass_.BASS_StreamGetFilePosition(channel, BASS_FILEPOS_CONNECTED) == 0) break;
      progress = down;
    }
    if (progress != lastSeen) {
      lastSeen = progress;
      lastProgress = Clock::now();
    } else if (Clock::now() - lastProgress > std::chrono::milliseconds(timeoutMs)) {
      break;  // the server stalls: play what came; the library resumes when data arrives
    }
    Pump(kPumpStepMs);
    if (gen != streamGen_ || prebufferCancel_) {  // Close or Stop during the wait: no message
      prebuffering_ = false;
      return false;
    }
  }
  prebuffering_ = false;
  if (failed) {
    errorBox_.ShowError("Error at buffering process.");
    decoderName_.clear();
    NoteDecoder();
    return false;
  }
  return true;
}

void TZOZUZivade::ReopenLive() {
  const std::string name = streamName_;
  bool mutedHere = false;
  if (!muted_) {
    SetMuted(true, 0);
    mutedHere = true;
  }
  if (Open(name)) Play();
  if (mutedHere) SetMuted(false, 500);
}

void TZOZUZivade::HandleMeta() {
  net::TMetaRecord::Entry entry;
  while (metaRecord_.Take(entry)) {
    // Titles of a stream closed since they were posted are dropped.
    if (entry.stream != netStreamId_ || !liveBroadcast_) continue;
    if (entry.title == metaTitle_) continue;  // the same title again is no news
    metaTitle_ = entry.title;
    streamInfo_.Title = entry.title;
    UpdateVisInfo();
    if (OnGetMeta) OnGetMeta(this, entry.title);
  }
}

void TZOZUZivade::ReadDownloadedTags() {
  const std::string E = Upper(net::UrlExtension(streamName_));
  if (!(E == ".MP3" || E == ".MP2" || E == ".MP1" || (E == ".AAC" && aacReady_))) return;
  tags::TMP3TagInfo tag;
  bool ok = false;
  if (const char* v1 = bass_.BASS_ChannelGetTags(decodeChannel_, BASS_TAG_ID3))
    ok = tags::TMPEGaudio::ReadTagFromBuffer(v1, 128, 1, tag);
  if (!ok) {
    if (const char* v2 = bass_.BASS_ChannelGetTags(decodeChannel_, BASS_TAG_ID3V2)) {
      const auto* b = reinterpret_cast<const unsigned char*>(v2);
      if (std::memcmp(b, "ID3", 3) == 0) {
        size_t size = (size_t(b[6] & 0x7F) << 21) | (size_t(b[7] & 0x7F) << 14) | (size_t(b[8] & 0x7F) << 7) |
                      size_t(b[9] & 0x7F);
        size += 10 + ((b[5] & 0x10) ? 10 : 0);
        ok = tags::TMPEGaudio::ReadTagFromBuffer(v2, size, 2, tag);
      }
    }
  }
  if (!ok) return;
  streamInfo_.Title = net::CleanText(tag.Title);
  streamInfo_.Artist = net::CleanText(tag.Artist);
  streamInfo_.Album = net::CleanText(tag.Album);
  streamInfo_.Year = net::CleanText(tag.Year);
  streamInfo_.Genre = net::CleanText(tag.Genre);
  streamInfo_.Track = uint8_t(std::clamp(tag.Track, 0, 255));
  streamInfo_.Comment = net::CleanText(tag.Comment);
  if (streamInfo_.Title.empty()) streamInfo_.Title = net::UrlTitle(streamName_);
}

void TZOZUZivade::HandleDownloaded(DWORD channel) {
  // Once per stream, and only for the stream that posted it.
  if (channel != decodeChannel_ || !networkFile_ || downloadComplete_ || !IsBassKind()) return;
  downloadComplete_ = true;
  ReadDownloadedTags();
  QWORD total = bass_.BASS_StreamGetFilePosition(decodeChannel_, BASS_FILEPOS_END);
  if (total != QWORD(-1)) streamInfo_.FileSize = ClampSize(total);
  streamInfo_.Duration = int32_t(GetLength());
  plugins::SetStreamDuration(streamInfo_.Duration);
  if (OnDownloaded) OnDownloaded(this, uint32_t(streamInfo_.Duration));
}

}  // namespace engine
