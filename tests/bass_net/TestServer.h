// The network stream tests' view of the tests' HTTP server: a handler gets the
// connection with its raw request head and writes what the case needs.
// Stopping closes every socket, so handlers that send or sleep end promptly.
#pragma once

#include <string>

#include "HttpTestServer.h"

namespace nt {

struct Conn {
  std::string request;  // request line and headers
  enginetest::HttpTestServer::Connection* connection = nullptr;

  bool Send(const void* p, size_t n) { return connection->Write(std::string(static_cast<const char*>(p), n)); }
  bool Send(const std::string& s) { return connection->Write(s); }
  // Sleeps, but returns false at once when the server stops.
  bool Sleep(int ms) { return connection->Sleep(ms); }
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
  explicit TestServer(Handler h, bool answer = true)
      : server_(
            [h = std::move(h)](const enginetest::HttpTestServer::Request& r,
                               enginetest::HttpTestServer::Connection& c) {
              Conn conn;
              conn.request = r.head;
              conn.connection = &c;
              if (h) h(conn);
            },
            answer) {}

  void Stop() { server_.Stop(); }
  int Port() const { return server_.Port(); }
  std::string Url(const std::string& path) const { return server_.Url(path); }
  int Requests() const { return server_.Requests(); }
  std::string LastRequest() const {
    const auto seen = server_.Seen();
    return seen.empty() ? std::string() : seen.back().head;
  }

 private:
  enginetest::HttpTestServer server_;
};

}  // namespace nt
