// Network streams: download thread (libcurl), byte store, decode-ahead thread, the outer decoder
// the channel reads, and BASS_StreamCreateURL.
#include "Net.h"

#include "Icy.h"
#include "LazyCurl.h"
#include "LazyFFmpeg.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <map>

namespace orvbass {

using Clock = std::chrono::steady_clock;

namespace {

constexpr QWORD kFileCap = 512ull << 20;      // network files above this play as live streams
constexpr QWORD kPinCap = 2ull << 20;         // live bytes kept while the format is probed
constexpr QWORD kMinRing = 64ull << 10;
constexpr QWORD kMaxRing = 16ull << 20;
constexpr size_t kMaxHeaderText = 64u << 10;  // header lines kept as tags
constexpr size_t kMaxPlaylist = 64u << 10;
constexpr size_t kMaxMetaQueue = 256;
constexpr int kMaxRedirects = 5;              // six requests at most

DWORD ConfigValue(DWORD option, DWORD fallback) {
  std::lock_guard<std::mutex> lk(L().mutex);
  auto it = L().otherConfig.find(option);
  return it == L().otherConfig.end() ? fallback : it->second;
}

std::string ConfigText(DWORD option) {
  std::lock_guard<std::mutex> lk(L().mutex);
  auto it = L().ptrConfig.find(option);
  return it == L().ptrConfig.end() ? std::string() : it->second;
}

std::string Lower(std::string s) {
  for (auto& ch : s) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  size_t n = std::strlen(prefix);
  return s.size() >= n && Lower(s.substr(0, n)) == prefix;
}

// "name: value" -> value (trimmed), when the line's name is "name".
bool HeaderValue(const std::string& line, const char* name, std::string& value) {
  size_t colon = line.find(':');
  if (colon == std::string::npos || Lower(line.substr(0, colon)) != name) return false;
  size_t b = colon + 1;
  while (b < line.size() && (line[b] == ' ' || line[b] == '\t')) ++b;
  value = line.substr(b);
  return true;
}

void InitCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

// ------------------------------------------------------------------------------ byte store
// Live streams: a window of at most "cap" bytes ahead of the reader (everything from 0 while
// pinned). Network files: every byte in an anonymous memory file, up to kFileCap.
struct NetStore {
  std::mutex m;
  std::condition_variable cv;
  bool fileMode = false;
  int fd = -1;
  QWORD cap = kMinRing;
  QWORD total = 0;  // a network file's length
  std::vector<uint8_t> ring;
  QWORD base = 0;  // position of ring[0]
  QWORD end = 0;   // bytes stored so far
  QWORD rpos = 0;
  bool pinned = true;
  bool finished = false, complete = false, aborted = false;
  bool useDeadline = false, timedOut = false;
  Clock::time_point deadline;
  std::function<void()> onSpace;  // wakes the download thread
  std::atomic<bool> writerWaiting{false};  // the download thread waits for room (paused transfer)

  ~NetStore() {
    if (fd >= 0) close(fd);
  }

  bool InitFile(QWORD length) {
    fd = memfd_create("orvella-net", MFD_CLOEXEC);
    if (fd < 0) {
      FILE* t = tmpfile();
      if (!t) return false;
      fd = dup(fileno(t));
      fclose(t);
      if (fd < 0) return false;
    }
    fileMode = true;
    total = length;
    return true;
  }

  QWORD SpaceLocked() const {
    if (fileMode) return end < kFileCap ? kFileCap - end : 0;
    QWORD used = pinned ? end - base : end - std::max(rpos, base);
    QWORD limit = pinned ? std::max(cap, kPinCap) : cap;
    return used < limit ? limit - used : 0;
  }
  QWORD Space() {
    std::lock_guard<std::mutex> lk(m);
    return SpaceLocked();
  }

  void Write(const uint8_t* p, size_t n) {
    if (!n) return;
    {
      std::lock_guard<std::mutex> lk(m);
      if (fileMode) {
        size_t done = 0;
        while (done < n) {
          ssize_t w = pwrite(fd, p + done, n - done, off_t(end + done));
          if (w <= 0) break;
          done += size_t(w);
        }
        end += done;
      } else {
        ring.insert(ring.end(), p, p + n);
        end += n;
      }
    }
    cv.notify_all();
  }

  void Finish(bool whole) {
    {
      std::lock_guard<std::mutex> lk(m);
      finished = true;
      complete = whole;
    }
    cv.notify_all();
  }

  void Abort() {
    {
      std::lock_guard<std::mutex> lk(m);
      aborted = true;
    }
    cv.notify_all();
  }

  void SetDeadline(int ms) {
    std::lock_guard<std::mutex> lk(m);
    useDeadline = ms > 0;
    deadline = Clock::now() + std::chrono::milliseconds(ms);
  }

  void Release() {
    std::lock_guard<std::mutex> lk(m);
    useDeadline = false;
    pinned = false;
    TrimLocked();
  }

  void TrimLocked() {
    if (fileMode || pinned) return;
    QWORD drop = std::min(rpos, end) > base ? std::min(rpos, end) - base : 0;
    if (drop >= (64u << 10) || drop == ring.size()) {
      ring.erase(ring.begin(), ring.begin() + long(drop));
      base += drop;
    }
  }

  DWORD Read(void* buf, DWORD len) {
    DWORD n = 0;
    {
      std::unique_lock<std::mutex> lk(m);
      while (rpos >= end && !finished && !aborted) {
        if (useDeadline) {
          if (cv.wait_until(lk, deadline) == std::cv_status::timeout && rpos >= end) {
            timedOut = true;
            return 0;
          }
        } else {
          cv.wait(lk);
        }
      }
      if (aborted || rpos >= end) return 0;
      n = DWORD(std::min<QWORD>(len, end - rpos));
      if (fileMode) {
        ssize_t r = pread(fd, buf, n, off_t(rpos));
        n = r > 0 ? DWORD(r) : 0;
      } else {
        std::memcpy(buf, ring.data() + (rpos - base), n);
      }
      rpos += n;
      TrimLocked();
      // Wake a waiting writer only once there is room for a whole chunk again.
      if (!writerWaiting.load() || SpaceLocked() < (32u << 10)) return n;
      writerWaiting = false;
    }
    if (onSpace) onSpace();
    return n;
  }

  bool Seek(QWORD pos) {
    std::lock_guard<std::mutex> lk(m);
    if (pos > end || (!fileMode && pos < base)) return false;
    rpos = pos;
    return true;
  }
};

ORV_FILE* NetFileFor(NetStore* s) { return FileOpenNet(s); }
DWORD NetStoreRead(NetStore* s, void* buf, DWORD len) { return s->Read(buf, len); }
bool NetStoreSeek(NetStore* s, QWORD pos) { return s->Seek(pos); }
QWORD NetStoreTell(NetStore* s) {
  std::lock_guard<std::mutex> lk(s->m);
  return s->rpos;
}
QWORD NetStoreSize(NetStore* s) { return s->fileMode ? s->total : 0; }

// ------------------------------------------------------------------------------ connection
struct MetaEvent {
  QWORD bytePos;  // audio bytes before it
  std::string text;
};

struct NetConn {
  // set before the thread starts
  std::string url;
  DWORD offset = 0, flags = 0;
  DOWNLOADPROC* proc = nullptr;
  void* user = nullptr;
  int timeoutMs = 5000;
  DWORD bufferMs = 5000;
  bool wantWhole = false;  // DownloadWhole: every byte, in the memory file
  QWORD wholeCap = 0;
  bool followPlaylist = false;
  std::string agent, proxy;

  NetStore store;
  std::atomic<bool> abort{false};
  std::atomic<DWORD> handle{0};  // the channel, once it exists
  std::atomic<bool> downloadFired{false};
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  // Lists the easy handle points to; each connection owns its own, freed after the handle, so
  // nothing is left behind when the library is unloaded.
  curl_slist* aliases = nullptr;
  curl_slist* headers = nullptr;
  AVIOContext* mms = nullptr;  // an mms:// stream through FFmpeg's protocols instead of libcurl
  std::thread th;

  // guarded by m
  std::mutex m;
  std::condition_variable cv;
  bool headersReady = false, done = false;
  int error = 0;
  std::deque<MetaEvent> metas;
  std::string lastTitle;
  bool haveTitle = false;
  bool connected = false;

  // written by the download thread before headersReady, read-only afterwards
  std::vector<std::string> lines;  // the response being received
  std::string httpTags, icyTags;   // zero-separated lists
  long status = 0;
  QWORD contentLength = QWORD(-1);
  uint32_t metaint = 0;
  bool live = true;
  bool playlist = false;
  std::string contentType;

  // download thread only
  IcyDeinterleaver icy;
  QWORD skip = 0;  // a Range the server ignored
  bool paused = false;
  Clock::time_point mmsDeadline;
  size_t headerBytes = 0;
  std::string playlistBody;
  bool bodyStarted = false;

  ~NetConn() {
    if (easy) {
      if (multi) curl_multi_remove_handle(multi, easy);
      curl_easy_cleanup(easy);
    }
    if (multi) curl_multi_cleanup(multi);
    curl_slist_free_all(aliases);
    curl_slist_free_all(headers);
    if (mms) avio_closep(&mms);
  }

  void Fail(int code) {
    {
      std::lock_guard<std::mutex> lk(m);
      if (!error) error = code;
    }
    cv.notify_all();
  }

  void Stop() {
    abort = true;
    store.Abort();
    if (multi) curl_multi_wakeup(multi);
    {
      std::lock_guard<std::mutex> lk(store.m);  // RunMms waits for room on this
    }
    store.cv.notify_all();
    if (th.joinable()) th.join();
  }

  bool HeadersDone();
  size_t OnHeader(const char* p, size_t n);
  size_t OnBody(const uint8_t* p, size_t n);
  void OnMeta(const std::string& text);
  void Run();
  void RunMms();
  void FireDownloadSync();
};

static size_t HeaderCb(char* p, size_t size, size_t n, void* self) {
  return static_cast<NetConn*>(self)->OnHeader(p, size * n);
}
static size_t WriteCb(char* p, size_t size, size_t n, void* self) {
  return static_cast<NetConn*>(self)->OnBody(reinterpret_cast<const uint8_t*>(p), size * n);
}
static int ProgressCb(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<NetConn*>(self)->abort.load() ? 1 : 0;
}

size_t NetConn::OnHeader(const char* p, size_t n) {
  if (abort) return 0;
  headerBytes += n;
  std::string line(p, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (StartsWithNoCase(line, "http/") || StartsWithNoCase(line, "icy ")) {
    lines.clear();
    headerBytes = n;
  }
  if (!line.empty()) {
    if (headerBytes <= kMaxHeaderText) lines.push_back(line);
    return n;
  }
  // The end of one response's headers: a redirect that will be followed waits for the next one.
  long code = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
  if (code >= 300 && code < 400) {
    for (auto& l : lines) {
      std::string v;
      if (HeaderValue(l, "location", v) && !v.empty()) return n;
    }
  }
  status = code;
  return HeadersDone() ? n : 0;
}

bool NetConn::HeadersDone() {
  bool icyStatus = !lines.empty() && StartsWithNoCase(lines[0], "icy");
  std::string list;
  bool chunked = false;
  for (auto& l : lines) {
    list += l;
    list += '\0';
    std::string v;
    if (HeaderValue(l, "content-length", v)) {
      char* e = nullptr;
      unsigned long long len = std::strtoull(v.c_str(), &e, 10);
      if (e != v.c_str() && v[0] != '-') contentLength = QWORD(len);
    } else if (HeaderValue(l, "icy-metaint", v)) {
      metaint = ParseIcyMetaInt(v);
    } else if (HeaderValue(l, "content-type", v)) {
      contentType = Lower(v);
    } else if (HeaderValue(l, "transfer-encoding", v)) {
      chunked = Lower(v).find("chunked") != std::string::npos;
    }
  }
  list += '\0';
  if (icyStatus) icyTags = list;
  else httpTags = list;
  if ((flags & BASS_STREAM_STATUS) && proc) proc(list.data(), 0, user);

  if (status >= 400 || status < 100) {
    Fail(BASS_ERROR_FILEOPEN);
    return false;
  }
  std::string path = Lower(url.substr(0, url.find_first_of("?#")));
  auto endsWith = [&](const char* ext) {
    size_t n = std::strlen(ext);
    return path.size() >= n && path.compare(path.size() - n, n, ext) == 0;
  };
  bool playlistType = contentType.find("scpls") != std::string::npos ||
                      contentType.find("mpegurl") != std::string::npos || endsWith(".pls") ||
                      endsWith(".m3u") || endsWith(".m3u8");
  if (followPlaylist && playlistType && !wantWhole) {
    playlist = true;
  } else if (!wantWhole && (contentType.rfind("text/", 0) == 0 || contentType.find("html") != std::string::npos)) {
    Fail(BASS_ERROR_FILEFORM);  // a web page, not sound
    return false;
  }
  // Without a length, or with ICY metadata, this is a broadcast whatever the name says.
  live = icyStatus || metaint || contentLength == QWORD(-1) || chunked || contentLength > kFileCap;
  if (offset && status != 206 && !live) skip = offset;
  icy = IcyDeinterleaver(metaint);
  if (wantWhole) {
    if (contentLength != QWORD(-1) && contentLength > wholeCap) {
      Fail(BASS_ERROR_FILEFORM);
      return false;
    }
    if (!store.InitFile(contentLength == QWORD(-1) ? 0 : contentLength)) {
      Fail(BASS_ERROR_MEM);
      return false;
    }
  } else if (!playlist) {
    if (!live) {
      if (!store.InitFile(contentLength - (skip ? 0 : 0))) {
        Fail(BASS_ERROR_MEM);
        return false;
      }
    } else {
      // The ring holds the configured time at the announced bit rate (256 kbit/s when unknown).
      QWORD kbps = 256;
      for (auto& l : lines) {
        std::string v;
        if (HeaderValue(l, "icy-br", v) || HeaderValue(l, "ice-bitrate", v)) {
          unsigned long b = std::strtoul(v.c_str(), nullptr, 10);
          if (b >= 8 && b <= 1536) kbps = b;
          break;
        }
      }
      store.cap = std::clamp<QWORD>(QWORD(bufferMs) * kbps / 8, kMinRing, kMaxRing);
    }
  }
  {
    std::lock_guard<std::mutex> lk(m);
    headersReady = true;
    connected = true;
  }
  cv.notify_all();
  return true;
}

void NetConn::OnMeta(const std::string& text) {
  bool found = false;
  std::string title = IcyStreamTitle(text, &found);
  const std::string& key = found ? title : text;
  std::lock_guard<std::mutex> lk(m);
  if (haveTitle && key == lastTitle) return;  // the same title again: no notice
  haveTitle = true;
  lastTitle = key;
  metas.push_back({store.end, text});
  if (metas.size() > kMaxMetaQueue) metas.pop_front();
}

size_t NetConn::OnBody(const uint8_t* p, size_t n) {
  if (abort) return 0;
  if (playlist) {
    if (playlistBody.size() + n > kMaxPlaylist) return 0;
    playlistBody.append(reinterpret_cast<const char*>(p), n);
    return n;
  }
  if (wantWhole && store.end + n > wholeCap) {
    Fail(BASS_ERROR_FILEFORM);
    return 0;
  }
  // All or nothing: a paused chunk is delivered again whole.
  // Flag first, then look: a read in between then wakes the transfer instead of being missed.
  store.writerWaiting = true;
  if (store.Space() < n) {
    paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  store.writerWaiting = false;
  size_t all = n;
  if (skip) {
    size_t k = size_t(std::min<QWORD>(skip, n));
    skip -= k;
    p += k;
    n -= k;
  }
  icy.Feed(
      p, n,
      [&](const uint8_t* a, size_t k) {
        store.Write(a, k);
        if (proc) proc(a, DWORD(k), user);
      },
      [&](const std::string& t) { OnMeta(t); });
  return all;
}

void NetConn::FireDownloadSync() {
  DWORD h = handle.load();
  if (!h || downloadFired.exchange(true)) return;  // once, from whichever side sees both
  auto c = FindChannel(h);
  if (!c) return;
  // Never wait on the channel lock: the stream may be being freed, which waits for this thread.
  while (!abort.load() && c->alive.load()) {
    if (c->mutex.try_lock()) {
      if (c->alive.load()) ChannelFireNow(*c, BASS_SYNC_DOWNLOAD, 0);
      c->mutex.unlock();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

static int MapCurlError(CURLcode rc) {
  switch (rc) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return BASS_ERROR_NONET;
    case CURLE_OPERATION_TIMEDOUT:
      return BASS_ERROR_TIMEOUT;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return BASS_ERROR_NOTAVAIL;
    case CURLE_OUT_OF_MEMORY:
      return BASS_ERROR_MEM;
    default:
      return BASS_ERROR_FILEOPEN;
  }
}

void NetConn::Run() {
  const auto headerDeadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  CURLcode result = CURLE_OK;
  bool finished = false;
  while (!abort.load()) {
    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
      if (msg->msg == CURLMSG_DONE) {
        result = msg->data.result;
        finished = true;
      }
    }
    if (finished) break;
    bool ready;
    {
      std::lock_guard<std::mutex> lk(m);
      ready = headersReady;
      if (error) break;
    }
    if (!ready && Clock::now() >= headerDeadline) {
      Fail(BASS_ERROR_TIMEOUT);
      break;
    }
    if (paused && store.Space() >= (32u << 10)) {
      paused = false;
      curl_easy_pause(easy, CURLPAUSE_CONT);
      continue;
    }
    // A paused transfer is woken by the reader when room appears (the timeout is a safety net).
    curl_multi_poll(multi, nullptr, 0, paused ? 500 : 200, nullptr);
  }
  bool ready, whole = false;
  {
    std::lock_guard<std::mutex> lk(m);
    ready = headersReady;
    connected = false;
  }
  if (!abort.load()) {
    if (!ready) Fail(finished ? MapCurlError(result) : BASS_ERROR_TIMEOUT);
    else if (finished && result != CURLE_OK && result != CURLE_PARTIAL_FILE && wantWhole) Fail(MapCurlError(result));
    whole = ready && finished && result == CURLE_OK && store.fileMode &&
            (store.total == 0 || store.end == store.total);
  }
  store.Finish(whole);
  if (ready && proc && !abort.load()) proc(nullptr, 0, user);
  {
    std::lock_guard<std::mutex> lk(m);
    done = true;
  }
  cv.notify_all();
  if (whole && !wantWhole) FireDownloadSync();
}

// Starts the transfer; false (error set) when libcurl cannot be set up.
static bool StartConn(NetConn& c) {
  InitCurl();
  c.multi = curl_multi_init();
  c.easy = curl_easy_init();
  if (!c.multi || !c.easy) return SetError(BASS_ERROR_MEM);
  CURL* e = c.easy;
  curl_easy_setopt(e, CURLOPT_URL, c.url.c_str());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, long(kMaxRedirects));
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(c.timeoutMs));
  curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
  for (const char* alias : {"ICY 200 OK", "ICY 200"}) {
    curl_slist* l = curl_slist_append(c.aliases, alias);
    if (!l) return SetError(BASS_ERROR_MEM);
    c.aliases = l;
  }
  curl_easy_setopt(e, CURLOPT_HTTP200ALIASES, c.aliases);
  if (!c.wantWhole) {
    c.headers = curl_slist_append(nullptr, "Icy-MetaData: 1");
    if (!c.headers) return SetError(BASS_ERROR_MEM);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, c.headers);
  }
  curl_easy_setopt(e, CURLOPT_USERAGENT, c.agent.empty() ? "OrvellaPlayer" : c.agent.c_str());
  if (!c.proxy.empty()) curl_easy_setopt(e, CURLOPT_PROXY, c.proxy.c_str());
  if (c.offset) curl_easy_setopt(e, CURLOPT_RANGE, (std::to_string(c.offset) + "-").c_str());
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, HeaderCb);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &c);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, WriteCb);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &c);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, ProgressCb);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, &c);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_multi_add_handle(c.multi, e);
  CURLM* multi = c.multi;
  c.store.onSpace = [multi] { curl_multi_wakeup(multi); };
  c.th = std::thread([&c] { c.Run(); });
  return true;
}

static std::unique_ptr<NetConn> NewConn(const std::string& url, DWORD offset, DWORD flags, DOWNLOADPROC* proc,
                                        void* user) {
  auto c = std::make_unique<NetConn>();
  c->url = url;
  c->offset = offset;
  c->flags = flags;
  c->proc = proc;
  c->user = user;
  c->timeoutMs = int(std::clamp<DWORD>(ConfigValue(BASS_CONFIG_NET_TIMEOUT, 5000), 50, 600000));
  c->bufferMs = std::clamp<DWORD>(ConfigValue(BASS_CONFIG_NET_BUFFER, 5000), 1000, 60000);
  c->followPlaylist = ConfigValue(BASS_CONFIG_NET_PLAYLIST, 0) != 0;
  c->agent = ConfigText(BASS_CONFIG_NET_AGENT);
  c->proxy = ConfigText(BASS_CONFIG_NET_PROXY);
  return c;
}

// Waits for the headers (or the end of the transfer when "untilDone"); false with the error set.
static bool WaitConn(NetConn& c, bool untilDone, int limitMs) {
  std::unique_lock<std::mutex> lk(c.m);
  auto until = Clock::now() + std::chrono::milliseconds(limitMs);
  while (!c.error && !c.done && !(c.headersReady && !untilDone)) {
    if (c.cv.wait_until(lk, until) == std::cv_status::timeout) {
      if (!c.error) c.error = BASS_ERROR_TIMEOUT;
      break;
    }
  }
  if (c.error) return SetError(c.error);
  if (!c.headersReady) return SetError(BASS_ERROR_FILEOPEN);
  return true;
}

// ------------------------------------------------------------------------------ decode ahead
namespace {

struct TagCopy {
  std::string id3v1, id3v2, ogg, wma;
};

// A tag list (zero-terminated strings, then an empty one) copied whole, at most "limit" bytes.
std::string CopyTagList(const char* list, size_t limit = 1u << 20) {
  if (!list) return {};
  size_t n = 0;
  while (n < limit && (list[n] || (n > 0 && list[n - 1]))) ++n;
  if (n >= limit) return {};
  return std::string(list, n + 1);
}

struct NetDecoder {
  std::unique_ptr<NetConn> conn;
  ORV_FILE* file = nullptr;
  ORV_DECODER inner{};
  bool innerCore = false;
  DWORD frameBytes = 4;
  std::atomic<DWORD> handle{0};
  std::thread th;

  std::mutex decMutex;  // the inner decoder
  bool completeDone = false;  // guarded by decMutex

  // guarded by pcmMutex
  std::mutex pcmMutex;
  std::condition_variable pcmCv;
  std::vector<uint8_t> ring;
  size_t head = 0, fill = 0;
  QWORD readPos = 0;  // channel position of the ring's first byte
  bool ended = false, quit = false, rebuffer = false;
  uint32_t seekGen = 0;
  std::deque<MetaEvent> pending;  // bytePos: channel position where the text takes effect
  std::deque<MetaEvent> heard;    // fired, newest last
  QWORD length = QWORD(-1);
  TagCopy tags;
  QWORD audioStart = 0;

  void Publish() {  // decMutex held
    TagCopy t;
    if (innerCore) {
      FFmpegTagBlock(inner.self, BASS_TAG_ID3, t.id3v1);
      FFmpegTagBlock(inner.self, BASS_TAG_ID3V2, t.id3v2);
      FFmpegTagBlock(inner.self, BASS_TAG_OGG, t.ogg);
    } else if (inner.funcs->tags) {
      // An add-on's header tags (Windows Media's over mms://) are fixed once it has opened.
      t.wma = CopyTagList(inner.funcs->tags(inner.self, BASS_TAG_WMA));
    }
    if (!completeDone) t.id3v1.clear();  // the tail is not there yet
    QWORD len = inner.funcs->length ? inner.funcs->length(inner.self) : QWORD(-1);
    QWORD start = inner.funcs->filePosition ? inner.funcs->filePosition(inner.self, BASS_FILEPOS_START) : 0;
    std::lock_guard<std::mutex> lk(pcmMutex);
    tags = std::move(t);
    length = conn->live ? QWORD(-1) : len;
    audioStart = start == QWORD(-1) ? 0 : start;
  }

  void CompleteIfDone() {  // decMutex held
    if (completeDone || conn->live) return;
    {
      std::lock_guard<std::mutex> lk(conn->store.m);
      if (!conn->store.complete) return;
    }
    completeDone = true;
    if (innerCore) FFmpegNetComplete(inner.self);
    Publish();
  }

  // API threads: the tail's tags and the exact length as soon as the download is complete, even
  // while the decode thread sleeps on a full ring. Its reads no longer wait then, so the lock is
  // never held for long.
  void EnsureComplete() {
    if (conn->live) return;
    {
      std::lock_guard<std::mutex> lk(conn->store.m);
      if (!conn->store.complete) return;
    }
    std::lock_guard<std::mutex> dl(decMutex);
    CompleteIfDone();
  }

  std::string lastComments;           // decode thread
  std::vector<std::string> chained;    // decode thread

  void Run() {
    // About 90 ms of CD-quality sound per wake-up.
    const size_t chunk = std::max<size_t>(frameBytes, 16384 - 16384 % frameBytes);
    std::vector<uint8_t> tmp(chunk);
    QWORD produced = 0;  // channel position after the ring's last byte
    for (;;) {
      uint32_t gen;
      {
        std::unique_lock<std::mutex> lk(pcmMutex);
        pcmCv.wait(lk, [&] { return quit || (!ended && ring.size() - fill >= chunk); });
        if (quit) return;
        gen = seekGen;
        produced = readPos + fill;
      }
      BOOL end = FALSE;
      DWORD n;
      QWORD bytePos;
      {
        std::lock_guard<std::mutex> lk(decMutex);
        CompleteIfDone();
        n = inner.funcs->read(inner.self, tmp.data(), DWORD(chunk), &end);
        n -= n % frameBytes;
        bytePos = FileTell(file);
        if (innerCore && inner.funcs->filePosition) bytePos = inner.funcs->filePosition(inner.self, BASS_FILEPOS_CURRENT);
        std::string list;
        if (innerCore && FFmpegTakeMetaUpdate(inner.self, list) && list != lastComments) {
          lastComments = list;
          chained.push_back(std::move(list));
        }
      }
      std::vector<MetaEvent> metas;
      {
        std::lock_guard<std::mutex> lk(conn->m);
        while (!conn->metas.empty() && conn->metas.front().bytePos <= bytePos) {
          metas.push_back(std::move(conn->metas.front()));
          conn->metas.pop_front();
        }
      }
      std::lock_guard<std::mutex> lk(pcmMutex);
      if (quit) return;
      if (gen != seekGen) continue;  // repositioned meanwhile: this belongs to the old place
      size_t cap = ring.size();
      for (size_t i = 0; i < n;) {
        size_t at = (head + fill) % cap;
        size_t k = std::min<size_t>(n - i, cap - at);
        std::memcpy(ring.data() + at, tmp.data() + i, k);
        fill += k;
        i += k;
      }
      // Every metadata text ends with an empty string, like a chained part's comment list, so a
      // reader may walk either as a list; a lone terminator let such a walk run past the text.
      for (auto& m : metas) pending.push_back({produced + n, std::move(m.text) + '\0'});
      // A chained Ogg stream's next part: its comments are the metadata from here on.
      for (auto& list : chained) {
        tags.ogg = list;
        pending.push_back({produced + n, std::move(list)});
      }
      chained.clear();
      while (pending.size() > kMaxMetaQueue) pending.pop_front();
      if (end) ended = true;
    }
  }

  DWORD Read(void* buffer, DWORD len, BOOL* endedOut) {
    std::vector<MetaEvent> fire;
    DWORD n = 0;
    {
      std::lock_guard<std::mutex> lk(pcmMutex);
      // After running dry, wait for half the ring (or the end) so playback does not stutter.
      if (rebuffer && !ended && fill < ring.size() / 2) return 0;
      rebuffer = false;
      n = DWORD(std::min<size_t>(fill, len));
      n -= n % frameBytes;
      auto* out = static_cast<uint8_t*>(buffer);
      size_t cap = ring.size();
      for (DWORD i = 0; i < n;) {
        size_t k = std::min<size_t>(n - i, cap - head);
        std::memcpy(out + i, ring.data() + head, k);
        head = (head + k) % cap;
        i += DWORD(k);
      }
      fill -= n;
      readPos += n;
      while (!pending.empty() && pending.front().bytePos <= readPos) {
        fire.push_back(std::move(pending.front()));
        pending.pop_front();
      }
      if (fill == 0 && ended) *endedOut = TRUE;
      else if (n == 0) rebuffer = true;
    }
    pcmCv.notify_one();
    if (!fire.empty()) {
      // One at a time: a decoding channel's notice runs in here and reads the newest text.
      auto c = FindChannel(handle.load());
      for (auto& e : fire) {
        QWORD pos = e.bytePos;
        {
          std::lock_guard<std::mutex> lk(pcmMutex);
          heard.push_back(std::move(e));
          if (heard.size() > kMaxMetaQueue) heard.pop_front();
        }
        if (c) {
          std::lock_guard<std::recursive_mutex> lk(c->mutex);
          ChannelAddonEvent(*c, BASS_SYNC_META, 0, pos);
        }
      }
    }
    return n;
  }

  bool Seek(QWORD pos) {
    if (conn->live || !inner.funcs->seek) return false;
    std::lock_guard<std::mutex> dl(decMutex);
    CompleteIfDone();
    if (!completeDone) return false;  // a network file seeks once it is all here
    if (!inner.funcs->seek(inner.self, pos)) return false;
    {
      std::lock_guard<std::mutex> lk(pcmMutex);
      ++seekGen;
      head = fill = 0;
      readPos = pos;
      ended = rebuffer = false;
      pending.clear();
    }
    pcmCv.notify_all();
    return true;
  }

  const char* Tags(DWORD type) {
    switch (type) {
      case BASS_TAG_HTTP: return conn->httpTags.empty() ? nullptr : conn->httpTags.data();
      case BASS_TAG_ICY: return conn->icyTags.empty() ? nullptr : conn->icyTags.data();
      case BASS_TAG_META: {
        std::lock_guard<std::mutex> lk(pcmMutex);
        return heard.empty() ? nullptr : heard.back().text.c_str();
      }
      default: break;
    }
    EnsureComplete();
    std::lock_guard<std::mutex> lk(pcmMutex);
    const std::string* s = type == BASS_TAG_ID3 ? &tags.id3v1 : type == BASS_TAG_ID3V2 ? &tags.id3v2
                           : type == BASS_TAG_OGG ? &tags.ogg : type == BASS_TAG_WMA ? &tags.wma : nullptr;
    if (!s || s->empty()) return nullptr;
    // Blocks handed out stay valid while the channel exists: every version handed out is kept
    // (they change at most once, when the download completes).
    auto& versions = kept[type];
    if (versions.empty() || versions.back() != *s) versions.push_back(*s);
    return versions.back().data();
  }
  std::map<DWORD, std::deque<std::string>> kept;  // guarded by pcmMutex

  const char* MetaAt(QWORD pos) {
    std::lock_guard<std::mutex> lk(pcmMutex);
    // A notice fired at its position reads its own text even when the device clock lands a few
    // frames short of it.
    if (heard.empty()) return nullptr;
    if (pos == QWORD(-1)) return heard.back().text.c_str();
    QWORD slack = QWORD(frameBytes) * 512;
    const char* best = nullptr;
    for (auto& e : heard)
      if (e.bytePos <= pos + slack) best = e.text.c_str();
    if (!best && !heard.empty()) best = heard.front().text.c_str();
    return best;
  }

  QWORD FilePos(DWORD mode) {
    NetStore& s = conn->store;
    std::lock_guard<std::mutex> lk(s.m);
    switch (mode) {
      case BASS_FILEPOS_CURRENT: return s.rpos;
      case BASS_FILEPOS_DOWNLOAD: return s.end;
      case BASS_FILEPOS_END: return s.fileMode ? s.total : s.cap;
      case BASS_FILEPOS_START: {
        std::lock_guard<std::mutex> pl(pcmMutex);
        return audioStart;
      }
      case BASS_FILEPOS_CONNECTED: {
        std::lock_guard<std::mutex> cl(conn->m);
        return conn->connected ? 1 : 0;
      }
      case BASS_FILEPOS_BUFFER: return s.end > s.rpos ? s.end - s.rpos : 0;
      default: return QWORD(-1);
    }
  }

  void Close() {
    conn->Stop();  // wakes a decoder read waiting for bytes
    {
      std::lock_guard<std::mutex> lk(pcmMutex);
      quit = true;
    }
    pcmCv.notify_all();
    if (th.joinable()) th.join();
    if (inner.funcs && inner.funcs->close) inner.funcs->close(inner.self);
    FileClose(file);
  }
};

DWORD NdRead(void* self, void* buf, DWORD len, BOOL* ended) { return static_cast<NetDecoder*>(self)->Read(buf, len, ended); }
BOOL NdSeek(void* self, QWORD pos) { return static_cast<NetDecoder*>(self)->Seek(pos) ? TRUE : FALSE; }
QWORD NdLength(void* self) {
  auto* d = static_cast<NetDecoder*>(self);
  d->EnsureComplete();
  std::lock_guard<std::mutex> lk(d->pcmMutex);
  return d->length;
}
const char* NdTags(void* self, DWORD type) { return static_cast<NetDecoder*>(self)->Tags(type); }
QWORD NdFilePos(void* self, DWORD mode) { return static_cast<NetDecoder*>(self)->FilePos(mode); }
void NdClose(void* self) {
  auto* d = static_cast<NetDecoder*>(self);
  d->Close();
  delete d;
}
const ORV_DECODER_FUNCS kNetFuncs = {NdRead, NdSeek, NdLength, NdTags, NdFilePos, NdClose};
// A broadcast cannot seek: a restart plays on from what comes next.
const ORV_DECODER_FUNCS kLiveFuncs = {NdRead, nullptr, NdLength, NdTags, NdFilePos, NdClose};

}  // namespace

bool IsNetDecoder(const ORV_DECODER& dec) { return dec.funcs == &kNetFuncs || dec.funcs == &kLiveFuncs; }
const char* NetMetaAt(void* self, QWORD pos) { return static_cast<NetDecoder*>(self)->MetaAt(pos); }

// ------------------------------------------------------------------------------ creation
// Probes the format of a connected stream and makes its channel.
static HSTREAM FinishOpen(std::unique_ptr<NetConn> conn, const std::string& url, DWORD flags) {
  // Probe the format with reads bounded by the timeout.
  conn->store.SetDeadline(conn->timeoutMs);
  ORV_FILE* f = FileOpenNet(&conn->store);
  ORV_DECODER inner{};
  const DWORD fmtFlags = flags & (BASS_SAMPLE_8BITS | BASS_SAMPLE_FLOAT | BASS_SAMPLE_MONO);
  bool core = OpenFFmpeg(f, fmtFlags, nullptr, nullptr, 0, &inner, true);
  HPLUGIN plugin = 0;
  if (!core) {
    conn->store.Seek(0);
    plugin = TryAddonDecoders(f, fmtFlags, &inner);
  }
  bool timedOut;
  {
    std::lock_guard<std::mutex> lk(conn->store.m);
    timedOut = conn->store.timedOut;
  }
  if ((!core && !plugin) || timedOut) {
    if (core || plugin) inner.funcs->close(inner.self);
    conn->Stop();
    FileClose(f);
    QWORD got;
    {
      std::lock_guard<std::mutex> lk(conn->store.m);
      got = conn->store.end;
    }
    return Fail<HSTREAM>(timedOut && got == 0 ? BASS_ERROR_TIMEOUT : BASS_ERROR_FILEFORM, 0);
  }
  conn->store.Release();

  auto* d = new NetDecoder;
  d->conn = std::move(conn);
  d->file = f;
  d->inner = inner;
  d->innerCore = core;
  d->frameBytes = DWORD(BytesOf(FmtOfFlags(inner.flags)) * int(inner.chans));
  // About a second of sound decoded ahead (a little more than the playback buffer).
  QWORD ahead = QWORD(inner.freq) * d->frameBytes * std::max<DWORD>(1000, L().bufferMs.load() + 250) / 1000;
  d->ring.assign(size_t(ahead - ahead % d->frameBytes), 0);
  {
    std::lock_guard<std::mutex> lk(d->decMutex);
    d->Publish();
  }
  // MMS announces its bit rate in the ASF header, not in HTTP headers: from here on the ring holds
  // the configured time at that rate (it was sized for 256 kbit/s, which doubles the pre-buffering
  // wait of a 128 kbit/s broadcast).
  if (d->conn->mms) {
    for (const char* t = d->tags.wma.c_str(); *t; t += std::strlen(t) + 1) {
      if (std::strncmp(t, "Bitrate=", 8) != 0) continue;
      const unsigned long bps = std::strtoul(t + 8, nullptr, 10);
      if (bps >= 8000 && bps <= 1536000) {
        std::lock_guard<std::mutex> lk(d->conn->store.m);
        d->conn->store.cap = std::clamp<QWORD>(QWORD(d->conn->bufferMs) * (bps / 1000) / 8, kMinRing, kMaxRing);
      }
      break;
    }
  }
  d->th = std::thread([d] { d->Run(); });
  ORV_DECODER outer = inner;
  outer.funcs = d->conn->live ? &kLiveFuncs : &kNetFuncs;
  outer.self = d;
  NetConn* c = d->conn.get();
  HSTREAM h = CreateChannelFromDecoder(outer, nullptr, flags, plugin, url.c_str(), false);
  if (h) {
    d->handle = h;
    c->handle = h;
    // Completed before the handle existed: the notice is still due.
    bool whole;
    {
      std::lock_guard<std::mutex> lk(c->store.m);
      whole = c->store.complete;
    }
    if (whole) c->FireDownloadSync();
  }
  return h;
}

static HSTREAM OpenHttp(std::string url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, void* user) {
  for (int hop = 0;; ++hop) {
    auto conn = NewConn(url, offset, flags, proc, user);
    if (!StartConn(*conn)) return 0;
    if (!WaitConn(*conn, false, conn->timeoutMs + 1000)) {
      conn->Stop();
      return 0;
    }
    if (conn->playlist) {
      // A .pls/.m3u answer: play the first address in it.
      bool ok = WaitConn(*conn, true, conn->timeoutMs + 1000);
      conn->Stop();
      if (!ok) return 0;
      std::string next = FirstPlaylistAddress(conn->playlistBody);
      if (next.empty() || hop >= 3) return Fail<HSTREAM>(BASS_ERROR_FILEFORM, 0);
      url = next;
      offset = 0;
      continue;
    }
    return FinishOpen(std::move(conn), url, flags);
  }
}

void NetConn::RunMms() {
  std::vector<uint8_t> buf(16384);
  while (!abort.load()) {
    if (store.Space() < buf.size()) {
      std::unique_lock<std::mutex> lk(store.m);
      store.cv.wait_for(lk, std::chrono::milliseconds(50));
      continue;
    }
    int r = avio_read_partial(mms, buf.data(), int(buf.size()));
    if (r <= 0) break;
    store.Write(buf.data(), size_t(r));
    if (proc) proc(buf.data(), DWORD(r), user);
  }
  {
    std::lock_guard<std::mutex> lk(m);
    connected = false;
    done = true;
  }
  store.Finish(false);
  if (proc && !abort.load()) proc(nullptr, 0, user);
  cv.notify_all();
}

static int MmsInterrupt(void* self) {
  auto* c = static_cast<NetConn*>(self);
  return c->abort.load() || Clock::now() >= c->mmsDeadline ? 1 : 0;
}

// mms:// through FFmpeg: MMS over HTTP first, then over TCP; neither answering is error 37.
static HSTREAM OpenMms(const std::string& url, DWORD flags, DOWNLOADPROC* proc, void* user) {
  std::string rest = url.substr(6);
  for (const char* scheme : {"mmsh://", "mmst://"}) {
    auto conn = NewConn(url, 0, flags, proc, user);
    conn->mmsDeadline = Clock::now() + std::chrono::milliseconds(conn->timeoutMs);
    AVIOInterruptCB cb{MmsInterrupt, conn.get()};
    if (avio_open2(&conn->mms, (scheme + rest).c_str(), AVIO_FLAG_READ, &cb, nullptr) < 0) continue;
    conn->mmsDeadline = Clock::time_point::max();
    conn->store.cap = std::clamp<QWORD>(QWORD(conn->bufferMs) * 256 / 8, kMinRing, kMaxRing);
    conn->headersReady = conn->connected = true;
    NetConn* c = conn.get();
    c->th = std::thread([c] { c->RunMms(); });
    return FinishOpen(std::move(conn), url, flags);
  }
  return Fail<HSTREAM>(BASS_ERROR_NOTAVAIL, 0);
}

HSTREAM CreateURLStream(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, void* user) {
  std::string u = (flags & BASS_UNICODE) ? std::string() : std::string(url);
  if (flags & BASS_UNICODE) {
    for (const wchar_t* w = static_cast<const wchar_t*>(static_cast<const void*>(url)); *w; ++w)
      u += *w < 0x80 ? char(*w) : '?';
  }
  if (StartsWithNoCase(u, "http://") || StartsWithNoCase(u, "https://"))
    return OpenHttp(u, offset, flags & ~BASS_UNICODE, proc, user);
  if (StartsWithNoCase(u, "mms://")) return OpenMms(u, flags & ~BASS_UNICODE, proc, user);
  return Fail<HSTREAM>(BASS_ERROR_NOTAVAIL, 0);
}

bool DownloadWhole(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, void* user, QWORD maxBytes,
                   std::vector<uint8_t>& out) {
  if (!url) return SetError(BASS_ERROR_ILLPARAM);
  std::string u = url;
  if (!StartsWithNoCase(u, "http://") && !StartsWithNoCase(u, "https://")) return SetError(BASS_ERROR_NOTAVAIL);
  auto conn = NewConn(u, offset, flags, proc, user);
  conn->wantWhole = true;
  conn->wholeCap = maxBytes;
  if (!StartConn(*conn)) return false;
  bool ok = WaitConn(*conn, true, conn->timeoutMs * 4);
  conn->Stop();
  if (!ok) return false;
  NetStore& s = conn->store;
  if (!s.complete && s.total && s.end != s.total) return SetError(BASS_ERROR_FILEOPEN);
  out.resize(size_t(s.end));
  if (s.end && pread(s.fd, out.data(), out.size(), 0) != ssize_t(out.size())) return SetError(BASS_ERROR_FILEOPEN);
  return SetError(BASS_OK);
}

}  // namespace orvbass
