// The update check: asks the maker's site for the newest version number on a
// worker thread at idle priority, keeps the answer in "version.txt" and
// decides what to tell the user from the answer it holds in memory.
//
// Threads: TUpdateCheck is created, started, cancelled and destroyed on one
// thread (the UI thread, with a Qt event loop). The worker touches only its
// own copies, the atomic and the result slot below; while a check runs, a
// timer on the owner's thread collects the result, so nothing crosses into Qt
// from the worker.
// Destroying the object cancels a running check at once and joins the worker.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>


class QTimer;

namespace app::desktop {

inline constexpr const char* kProductName = "Orvella Player";
inline constexpr const char* kProductVersion = "1.4";
// The maker's site, scheme and host without a trailing '/'; set at build time.
#ifndef ORVELLA_UPDATE_SITE
#define ORVELLA_UPDATE_SITE "https://orvella-player.org"
#endif
inline constexpr const char* kUpdateSite = ORVELLA_UPDATE_SITE;

// site + "/cgi-bin/check_update.cgi?title=Orvella+Player".
std::string CheckAddress(const std::string& site);
// site + "/orvella_player.shtml".
std::string ProductPage(const std::string& site);

// Compares dotted numbers part by part as numbers ("1.10" > "1.4", "1.4.0" == "1.4").
int CompareVersions(const std::string& a, const std::string& b);

enum class TUpdateVerdict { CantConnect, LastVersion, NewVersion };

struct TUpdateAnswer {
  TUpdateVerdict verdict = TUpdateVerdict::CantConnect;
  std::string version;  // the newer version for NewVersion
};

// The verdict on a transfer: `complete` (the whole body arrived), the HTTP
// status and the body. Only a 2xx answer whose first line (byte-order mark,
// CR and blanks removed) is made of numbers and dots counts; an empty body is
// "the latest version".
TUpdateAnswer Judge(bool complete, long status, const std::string& body, const std::string& current = kProductVersion);

struct TUpdateRequest {
  std::string address;      // the check address
  std::string agent;        // the main window's caption
  std::string answerFile;   // "version.txt"; written only after a complete answer
  long timeoutMs = 30000;   // whole transfer
  size_t maxBody = 65536;   // a longer answer is no version number
};

class TUpdateCheck {
 public:
  TUpdateCheck();
  ~TUpdateCheck();
  TUpdateCheck(const TUpdateCheck&) = delete;
  TUpdateCheck& operator=(const TUpdateCheck&) = delete;

  // Starts a check unless one runs (returns false then). `done` runs on the owner's thread.
  bool Start(const TUpdateRequest& request, std::function<void(const TUpdateAnswer&)> done);
  bool Running() const { return running_; }
  // Ends a running check at once; its `done` is not called. Joins the worker.
  void Cancel();

 private:
  void Run(TUpdateRequest request);
  void Deliver();  // owner's thread: the worker's result arrived
  void Join();

  std::unique_ptr<QTimer> poll_;  // owner's thread; runs while a check runs
  std::thread worker_;
  bool running_ = false;                               // owner's thread only
  std::function<void(const TUpdateAnswer&)> done_;     // owner's thread only
  std::atomic<bool> cancel_{false};
  std::mutex mutex_;      // guards wake_, result_, hasResult_
  void* wake_ = nullptr;  // the worker's multi handle, to wake its wait
  TUpdateAnswer result_;
  bool hasResult_ = false;
};

}  // namespace app::desktop
