// A scripted HTTP server for the network stream tests: listens on 127.0.0.1 (port chosen by the
// system), reads each request's head and runs the test's handler on a thread of its own for that
// connection. Stopping closes every socket, so handlers that send or sleep end promptly.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nt {

class TestServer;

struct Conn {
  int fd = -1;
  std::string request;  // request line and headers
  TestServer* server = nullptr;

  bool Send(const void* p, size_t n);
  bool Send(const std::string& s) { return Send(s.data(), s.size()); }
  // Sleeps, but returns false at once when the server stops.
  bool Sleep(int ms);
  std::string Path() const {
    size_t a = request.find(' ');
    size_t b = request.find(' ', a + 1);
    return a == std::string::npos || b == std::string::npos ? std::string() : request.substr(a + 1, b - a - 1);
  }
  bool HasHeader(const std::string& text) const { return request.find(text) != std::string::npos; }
};

class TestServer {
 public:
  using Handler = std::function<void(Conn&)>;

  // "answer": false accepts connections and never reads or answers them.
  explicit TestServer(Handler h, bool answer = true) : handler_(std::move(h)), answer_(answer) {
    lfd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(lfd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    bind(lfd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(lfd_, 16);
    socklen_t len = sizeof a;
    getsockname(lfd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }
  ~TestServer() { Stop(); }

  void Stop() {
    {
      std::lock_guard<std::mutex> lk(m_);
      if (stop_) return;
      stop_ = true;
      for (int fd : fds_) shutdown(fd, SHUT_RDWR);
    }
    cv_.notify_all();
    if (acceptor_.joinable()) acceptor_.join();
    for (auto& t : threads_) t.join();
    std::lock_guard<std::mutex> lk(m_);
    for (int fd : fds_) close(fd);
    fds_.clear();
    close(lfd_);
  }

  int Port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int Requests() const { return requests_.load(); }
  std::string LastRequest() {
    std::lock_guard<std::mutex> lk(m_);
    return last_;
  }
  bool Stopped() {
    std::lock_guard<std::mutex> lk(m_);
    return stop_;
  }
  bool SleepFor(int ms) {
    std::unique_lock<std::mutex> lk(m_);
    return !cv_.wait_for(lk, std::chrono::milliseconds(ms), [&] { return stop_; });
  }

 private:
  void AcceptLoop() {
    for (;;) {
      pollfd p{lfd_, POLLIN, 0};
      if (Stopped()) return;
      if (poll(&p, 1, 50) <= 0) continue;
      int fd = accept4(lfd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::lock_guard<std::mutex> lk(m_);
      if (stop_) {
        close(fd);
        return;
      }
      fds_.push_back(fd);
      if (answer_) threads_.emplace_back([this, fd] { Serve(fd); });
    }
  }

  void Serve(int fd) {
    Conn c;
    c.fd = fd;
    c.server = this;
    char buf[4096];
    while (c.request.find("\r\n\r\n") == std::string::npos && c.request.size() < 65536) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 3000) <= 0) return;
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return;
      c.request.append(buf, size_t(n));
    }
    {
      std::lock_guard<std::mutex> lk(m_);
      last_ = c.request;
    }
    ++requests_;
    handler_(c);
    shutdown(fd, SHUT_RDWR);
  }

  Handler handler_;
  bool answer_;
  int lfd_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  std::mutex m_;
  std::condition_variable cv_;
  bool stop_ = false;
  std::vector<int> fds_;
  std::list<std::thread> threads_;
  std::string last_;
  std::atomic<int> requests_{0};
};

inline bool Conn::Send(const void* p, size_t n) {
  auto* b = static_cast<const char*>(p);
  while (n) {
    ssize_t w = send(fd, b, n, MSG_NOSIGNAL);
    if (w <= 0) return false;
    b += w;
    n -= size_t(w);
  }
  return true;
}

inline bool Conn::Sleep(int ms) { return server->SleepFor(ms); }

}  // namespace nt
