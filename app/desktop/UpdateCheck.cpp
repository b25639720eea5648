#include "app/desktop/UpdateCheck.h"

#include <QTimer>
#include <pthread.h>
#include <sched.h>

#include <vector>

#include "bass/src/LazyCurl.h"  // libcurl opened when the check first runs
#include "platform/IniFile.h"

namespace app::desktop {

namespace {

std::vector<std::string> Parts(const std::string& v) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t dot = v.find('.', start);
    std::string p = v.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    size_t nz = p.find_first_not_of('0');
    parts.push_back(nz == std::string::npos ? std::string() : p.substr(nz));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return parts;
}

bool IsVersion(const std::string& s) {
  if (s.empty() || s.front() == '.' || s.back() == '.') return false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '.') {
      if (s[i + 1] == '.') return false;
    } else if (s[i] < '0' || s[i] > '9') {
      return false;
    }
  }
  return true;
}

struct TTransfer {
  std::string body;
  size_t maxBody = 0;
  bool overflow = false;
};

size_t OnData(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const size_t n = size * count;
  if (t->body.size() + n > t->maxBody) {
    t->overflow = true;
    return 0;  // ends the transfer
  }
  t->body.append(data, n);
  return n;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

std::string CheckAddress(const std::string& site) {
  std::string title = kProductName;
  for (char& c : title)
    if (c == ' ') c = '+';
  return site + "/cgi-bin/check_update.cgi?title=" + title;
}

std::string ProductPage(const std::string& site) { return site + "/orvella_player.shtml"; }

int CompareVersions(const std::string& a, const std::string& b) {
  std::vector<std::string> pa = Parts(a), pb = Parts(b);
  const size_t n = std::max(pa.size(), pb.size());
  pa.resize(n);
  pb.resize(n);
  for (size_t i = 0; i < n; ++i) {
    // Leading zeros are gone, so the longer number is the larger.
    if (pa[i].size() != pb[i].size()) return pa[i].size() < pb[i].size() ? -1 : 1;
    if (int c = pa[i].compare(pb[i])) return c < 0 ? -1 : 1;
  }
  return 0;
}

TUpdateAnswer Judge(bool complete, long status, const std::string& body, const std::string& current) {
  TUpdateAnswer answer;
  if (!complete || status < 200 || status > 299) return answer;
  std::string line = body.substr(0, body.find('\n'));
  if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
  std::string clean;
  for (char c : line)
    if (c != '\r' && c != ' ' && c != '\t') clean += c;
  if (clean.empty()) {
    answer.verdict = TUpdateVerdict::LastVersion;
    return answer;
  }
  // A page of some other kind (a portal, an error page sent as 200) is no answer.
  if (!IsVersion(clean)) return answer;
  if (CompareVersions(clean, current) > 0) {
    answer.verdict = TUpdateVerdict::NewVersion;
    answer.version = clean;
  } else {
    answer.verdict = TUpdateVerdict::LastVersion;
  }
  return answer;
}

TUpdateCheck::TUpdateCheck() {
  poll_ = std::make_unique<QTimer>();
  poll_->setInterval(50);
  QObject::connect(poll_.get(), &QTimer::timeout, [this] { Deliver(); });
}

TUpdateCheck::~TUpdateCheck() { Cancel(); }

bool TUpdateCheck::Start(const TUpdateRequest& request, std::function<void(const TUpdateAnswer&)> done) {
  if (running_) return false;
  GlobalInit();  // here, on the calling thread, not at start: it opens libcurl
  Join();
  running_ = true;
  cancel_ = false;
  done_ = std::move(done);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hasResult_ = false;
  }
  worker_ = std::thread(&TUpdateCheck::Run, this, request);
  poll_->start();
  return true;
}

void TUpdateCheck::Cancel() {
  cancel_ = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (wake_) curl_multi_wakeup(static_cast<CURLM*>(wake_));
  }
  Join();
  poll_->stop();
  std::lock_guard<std::mutex> lock(mutex_);
  hasResult_ = false;
  running_ = false;
  done_ = nullptr;
}

void TUpdateCheck::Join() {
  if (worker_.joinable()) worker_.join();
}

void TUpdateCheck::Deliver() {
  TUpdateAnswer answer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hasResult_) return;
    hasResult_ = false;
    answer = result_;
  }
  poll_->stop();
  Join();
  running_ = false;
  auto done = std::move(done_);
  done_ = nullptr;
  if (done) done(answer);
}

void TUpdateCheck::Run(TUpdateRequest request) {
  // The check must never compete with playback for the processor.
  sched_param idle{};
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);

  TTransfer transfer;
  transfer.maxBody = request.maxBody;
  bool complete = false;
  long status = 0;
  CURLM* multi = curl_multi_init();
  CURL* easy = curl_easy_init();
  curl_slist* headers = nullptr;
  if (multi && easy) {
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(easy, CURLOPT_URL, request.address.c_str());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, request.agent.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");  // direct access
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, request.timeoutMs);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_multi_add_handle(multi, easy);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wake_ = multi;
    }
    int running = 1;
    while (running && !cancel_) {
      if (curl_multi_perform(multi, &running) != CURLM_OK) break;
      if (running && !cancel_) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy)
        complete = msg->data.result == CURLE_OK && !transfer.overflow && !cancel_;
    }
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wake_ = nullptr;
    }
    curl_multi_remove_handle(multi, easy);
  }
  if (easy) curl_easy_cleanup(easy);
  if (multi) curl_multi_cleanup(multi);
  curl_slist_free_all(headers);
  if (cancel_) return;

  const TUpdateAnswer answer = Judge(complete, status, transfer.body);
  // The previous answer file stays whole unless a complete answer replaces it.
  if (answer.verdict != TUpdateVerdict::CantConnect && !request.answerFile.empty())
    platform::WriteFileAtomic(request.answerFile, transfer.body);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancel_) return;
    result_ = answer;
    hasResult_ = true;
  }
}

}  // namespace app::desktop
