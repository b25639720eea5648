// The one HTTP/ICY server of the tests and benchmarks: listens on 127.0.0.1 on a
// port the system picks, answers every connection on its own thread with what
// the test's handler writes, counts the requests and keeps their heads.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace enginetest {

class HttpTestServer {
 public:
  struct Request {
    std::string method, path;          // path with its query
    std::vector<std::string> headers;  // "Name: value" lines
    std::string head;                  // the request line and headers as they came
    std::string Header(const std::string& name) const;  // value of the first such header (any case), or ""
  };
  // What a handler uses to answer: raw bytes, written as given. Write returns false once
  // the client has gone or the server stops; Sleep returns false when the server stops.
  class Connection {
   public:
    bool Write(const std::string& bytes);
    bool Sleep(int ms);
    bool Stopping() const;
    // True once the client has closed its end (or the server stops).
    bool ClientClosed() const;

   private:
    friend class HttpTestServer;
    int fd_ = -1;
    const std::atomic<bool>* stop_ = nullptr;
  };
  using Handler = std::function<void(const Request&, Connection&)>;

  // `answer` false: connections are accepted and held, never read or answered.
  explicit HttpTestServer(Handler handler, bool answer = true);
  ~HttpTestServer();  // stops
  // Handlers see Stopping(), connections are closed, threads joined; once is enough.
  void Stop();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path) const;  // "http://127.0.0.1:port" + path
  int Requests() const { return requests_.load(); }
  std::vector<Request> Seen() const;

  // Answers: a whole HTTP/1.0 response with a body and Content-Length.
  static std::string Response(const std::string& status, const std::vector<std::string>& headers,
                              const std::string& body, bool withLength = true);
  // An ICY stream body: `audio` with a metadata block after every `metaint` bytes; block i
  // carries titles[i] (a block of length 0 when the title is empty or repeated).
  static std::string IcyInterleave(const std::string& audio, size_t metaint, const std::vector<std::string>& titles);

 private:
  void AcceptLoop();
  void Serve(int fd);

  Handler handler_;
  bool answer_ = true;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread acceptThread_;
  mutable std::mutex mutex_;
  std::vector<std::thread> workers_;  // guarded by mutex_
  std::vector<int> openFds_;          // guarded by mutex_
  std::vector<Request> seen_;         // guarded by mutex_
};

}  // namespace enginetest
