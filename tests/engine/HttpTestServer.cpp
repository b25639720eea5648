#include "HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

namespace enginetest {

std::string HttpTestServer::Request::Header(const std::string& name) const {
  for (const auto& h : headers) {
    if (h.size() <= name.size() || h[name.size()] != ':') continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(h[i])) == std::tolower(static_cast<unsigned char>(name[i]));
    if (!same) continue;
    size_t b = h.find_first_not_of(' ', name.size() + 1);
    return b == std::string::npos ? std::string{} : h.substr(b);
  }
  return {};
}

bool HttpTestServer::Connection::Stopping() const { return stop_->load(); }

bool HttpTestServer::Connection::ClientClosed() const {
  if (stop_->load()) return true;
  pollfd p{fd_, POLLIN | POLLRDHUP, 0};
  if (poll(&p, 1, 0) <= 0) return false;
  if (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) return true;
  char c;
  return ::recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

bool HttpTestServer::Connection::Write(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    if (stop_->load()) return false;
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

bool HttpTestServer::Connection::Sleep(int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (stop_->load()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 10)));
  }
  return !stop_->load();
}

HttpTestServer::HttpTestServer(Handler handler, bool answer) : handler_(std::move(handler)), answer_(answer) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 16) != 0) {
    ::close(listenFd_);
    listenFd_ = -1;
    return;
  }
  socklen_t len = sizeof addr;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() { Stop(); }

void HttpTestServer::Stop() {
  stop_ = true;
  if (acceptThread_.joinable()) acceptThread_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
    workers.swap(workers_);
  }
  for (auto& t : workers) t.join();
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
}

std::string HttpTestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<HttpTestServer::Request> HttpTestServer::Seen() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

void HttpTestServer::AcceptLoop() {
  while (!stop_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    openFds_.push_back(fd);
    workers_.emplace_back([this, fd] { Serve(fd); });
  }
}

void HttpTestServer::Serve(int fd) {
  if (!answer_) {  // hold the connection until the server stops
    while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Reads the request head (bounded), then hands the connection to the handler.
  std::string head;
  char buf[1024];
  while (!stop_ && head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    head.append(buf, size_t(n));
  }
  if (!stop_ && head.find("\r\n\r\n") != std::string::npos) {
    Request req;
    req.head = head.substr(0, head.find("\r\n\r\n") + 4);
    size_t lineEnd = head.find("\r\n");
    std::string first = head.substr(0, lineEnd);
    size_t sp1 = first.find(' '), sp2 = first.rfind(' ');
    req.method = first.substr(0, sp1);
    if (sp1 != std::string::npos && sp2 > sp1) req.path = first.substr(sp1 + 1, sp2 - sp1 - 1);
    size_t pos = lineEnd + 2;
    while (pos < head.size()) {
      size_t e = head.find("\r\n", pos);
      if (e == std::string::npos || e == pos) break;
      req.headers.push_back(head.substr(pos, e - pos));
      pos = e + 2;
    }
    ++requests_;
    {
      std::lock_guard lock(mutex_);
      seen_.push_back(req);
    }
    Connection c;
    c.fd_ = fd;
    c.stop_ = &stop_;
    handler_(req, c);
  }
  std::lock_guard lock(mutex_);
  openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
  ::close(fd);
}

std::string HttpTestServer::Response(const std::string& status, const std::vector<std::string>& headers,
                                     const std::string& body, bool withLength) {
  std::string out = "HTTP/1.0 " + status + "\r\n";
  for (const auto& h : headers) out += h + "\r\n";
  if (withLength) out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  out += "\r\n";
  return out + body;
}

std::string HttpTestServer::IcyInterleave(const std::string& audio, size_t metaint,
                                          const std::vector<std::string>& titles) {
  std::string out;
  std::string last;
  size_t block = 0;
  for (size_t pos = 0; pos < audio.size(); pos += metaint, ++block) {
    out += audio.substr(pos, metaint);
    if (pos + metaint > audio.size()) break;  // a short last piece carries no block
    std::string title = block < titles.size() ? titles[block] : std::string{};
    if (title.empty() || title == last) {
      out += '\0';
      continue;
    }
    last = title;
    std::string text = "StreamTitle='" + title + "';";
    size_t units = (text.size() + 15) / 16;
    text.resize(units * 16, '\0');
    out += char(units);
    out += text;
  }
  return out;
}

}  // namespace enginetest
