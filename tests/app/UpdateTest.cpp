// The update check against a server the test runs on 127.0.0.1: the request,
// the verdicts on answers and failures, the answer file, one check at a time,
// and closing the window during a stalled check.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "AppTestUtil.h"
#include "HttpTestServer.h"
#include "app/desktop/FormUpdate.h"
#include "app/desktop/UpdateCheck.h"
#include "platform/IniFile.h"

namespace fs = std::filesystem;
using app::desktop::CompareVersions;
using app::desktop::Judge;
using app::desktop::TUpdateVerdict;
using enginetest::HttpTestServer;

namespace {

// The tests' HTTP server with one fixed behaviour per case.
class TestServer {
 public:
  enum class Mode { Answer, Stall, RedirectLoop, Huge };

  explicit TestServer(Mode mode, int status = 200, std::string body = {})
      : server_([this, mode, status, body = std::move(body)](const HttpTestServer::Request&,
                                                               HttpTestServer::Connection& c) {
          switch (mode) {
            case Mode::Answer:
              c.Write("HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
              break;
            case Mode::RedirectLoop:
              c.Write("HTTP/1.1 302 Found\r\nLocation: /cgi-bin/check_update.cgi?title=Orvella+Player\r\n"
                      "Content-Length: 0\r\nConnection: close\r\n\r\n");
              break;
            case Mode::Huge: {
              c.Write("HTTP/1.1 200 OK\r\nContent-Length: 10485760\r\nConnection: close\r\n\r\n");
              const std::string block(65536, '1');
              for (int i = 0; i < 160 && c.Write(block); ++i) {
              }
              break;
            }
            case Mode::Stall:
              holding_ = true;
              // Hold the connection until the client goes or the test ends.
              while (!c.ClientClosed() && c.Sleep(10)) {
              }
              holding_ = false;
              break;
          }
        }) {}
  std::string Site() const { return "http://127.0.0.1:" + std::to_string(server_.Port()); }
  std::vector<std::string> Requests() const {
    std::vector<std::string> heads;
    for (const auto& r : server_.Seen()) heads.push_back(r.head);
    return heads;
  }
  // True while a stalled connection is held open by the client.
  bool Holding() const { return holding_; }

 private:
  std::atomic<bool> holding_{false};
  HttpTestServer server_;  // last: stopped before the flag it writes goes away
};

// Processes events until `done` or 30 s pass.
template <class F>
bool WaitFor(F done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

struct ApplicationFirst {
  ApplicationFirst() { apptest::EnsureApplication(); }
};

struct Window {
  explicit Window(const std::string& site) {
    char tmpl[] = "/tmp/orvella-update-XXXXXX";
    folder = std::string(mkdtemp(tmpl)) + "/";
    answer = folder + "version.txt";
    std::ofstream(answer, std::ios::binary) << "previous answer\r\n";
    form.site = site;
    form.answerFile = answer;
    form.mainText = [](const std::string& key) { return "<" + key + ">"; };
    form.onCheckDone = [this] { ++done; };
  }
  ~Window() {
    form.close();
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  // Shows the window (which starts a check) and waits for its end.
  void CheckOnce() {
    const int before = done;
    form.show();
    ASSERT_TRUE(WaitFor([&] { return done > before; }));
  }
  std::string Text() const { return form.LabelText()->text().toStdString(); }
  std::string Link() const { return form.LabelLink()->text().toStdString(); }

  ApplicationFirst application;
  app::desktop::TFormUpdate form;
  std::string folder, answer;
  int done = 0;
};

}  // namespace

TEST(UpdateVersions, ComparedPartByPartAsNumbers) {
  EXPECT_GT(CompareVersions("1.10", "1.4"), 0);
  EXPECT_GT(CompareVersions("1.5", "1.4"), 0);
  EXPECT_EQ(CompareVersions("1.4", "1.4"), 0);
  EXPECT_EQ(CompareVersions("1.4.0", "1.4"), 0);
  EXPECT_EQ(CompareVersions("01.04", "1.4"), 0);
  EXPECT_LT(CompareVersions("1.3.9", "1.4"), 0);
  EXPECT_GT(CompareVersions("2", "1.99999999999999999999"), 0);
  EXPECT_GT(CompareVersions("1.100000000000000000001", "1.99999999999999999999"), 0);
}

TEST(UpdateVersions, OnlyACompleteSuccessfulNumericAnswerCounts) {
  EXPECT_EQ(Judge(true, 200, "1.5\n").verdict, TUpdateVerdict::NewVersion);
  EXPECT_EQ(Judge(true, 200, " 1.5 \r\n").version, "1.5");
  EXPECT_EQ(Judge(true, 200, "").verdict, TUpdateVerdict::LastVersion);
  EXPECT_EQ(Judge(true, 200, "<html>").verdict, TUpdateVerdict::CantConnect);
  EXPECT_EQ(Judge(true, 200, "Z").verdict, TUpdateVerdict::CantConnect);
  EXPECT_EQ(Judge(true, 200, "1..5").verdict, TUpdateVerdict::CantConnect);
  EXPECT_EQ(Judge(true, 404, "1.5").verdict, TUpdateVerdict::CantConnect);
  EXPECT_EQ(Judge(false, 200, "1.5").verdict, TUpdateVerdict::CantConnect);
  EXPECT_EQ(Judge(true, 204, "").verdict, TUpdateVerdict::LastVersion);
}

TEST(UpdateCheck, RequestHasThePathTheAgentAndNoCache) {
  TestServer server(TestServer::Mode::Answer, 200, "1.4");
  Window w(server.Site());
  w.CheckOnce();
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& r = requests[0];
  EXPECT_EQ(r.rfind("GET /cgi-bin/check_update.cgi?title=Orvella+Player HTTP/1.1\r\n", 0), 0u) << r;
  EXPECT_NE(r.find("\r\nUser-Agent: Orvella Player 1.4\r\n"), std::string::npos) << r;
  EXPECT_NE(r.find("\r\nCache-Control: no-cache\r\n"), std::string::npos) << r;
  EXPECT_NE(r.find("\r\nPragma: no-cache\r\n"), std::string::npos) << r;
}

TEST(UpdateCheck, AnswersGiveTheirTextLinkAndAnswerFile) {
  struct Case {
    std::string body, text;
    bool link;
  };
  const std::vector<Case> cases = {
      {"1.4", "<StringLastVersion>", false},
      {"1.5\nmore", "<StringNewVersionIsAvailable>1.5", true},
      {"1.5\r\n", "<StringNewVersionIsAvailable>1.5", true},
      {"\xEF\xBB\xBF" "1.5", "<StringNewVersionIsAvailable>1.5", true},
      {"", "<StringLastVersion>", false},
      {"1.10", "<StringNewVersionIsAvailable>1.10", true},
  };
  for (const Case& c : cases) {
    TestServer server(TestServer::Mode::Answer, 200, c.body);
    Window w(server.Site());
    w.CheckOnce();
    EXPECT_EQ(w.Text(), c.text) << c.body;
    EXPECT_EQ(w.Link(), c.link ? server.Site() + "/orvella_player.shtml" : "") << c.body;
    EXPECT_EQ(apptest::ReadFile(w.answer), c.body);
    EXPECT_FALSE(w.form.UpdateCheckRunning());
  }
}

TEST(UpdateCheck, AReadOnlyAnswerFileStillGivesTheRightText) {
  TestServer server(TestServer::Mode::Answer, 200, "1.5");
  Window w(server.Site());
  w.form.answerFile = w.folder + "no/such/folder/version.txt";
  w.CheckOnce();
  EXPECT_EQ(w.Text(), "<StringNewVersionIsAvailable>1.5");
}

TEST(UpdateCheck, AnAnswerFileWriteFailingAtAnyStepKeepsTheOldFileAndTheAnswerStands) {
  TestServer server(TestServer::Mode::Answer, 200, "1.5\nnewer notes");
  for (const char* step : {"open", "write", "sync", "rename"}) {
    Window w(server.Site());
    // Set before the worker starts and cleared after it has handed its result over.
    platform::IniFile::SetFaultHook([step = std::string(step)](std::string_view s) { return s != step; });
    w.CheckOnce();
    platform::IniFile::SetFaultHook(nullptr);
    EXPECT_EQ(w.Text(), "<StringNewVersionIsAvailable>1.5") << step;
    EXPECT_EQ(apptest::ReadFile(w.answer), "previous answer\r\n") << step;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(w.folder)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"version.txt"}) << step;
  }
}

TEST(UpdateCheck, FailuresSayCantConnectAndKeepTheAnswerFile) {
  std::vector<std::unique_ptr<TestServer>> servers;
  servers.push_back(std::make_unique<TestServer>(TestServer::Mode::Answer, 404, "<html>Not found</html>"));
  servers.push_back(std::make_unique<TestServer>(TestServer::Mode::Answer, 500, "1.5"));
  servers.push_back(std::make_unique<TestServer>(TestServer::Mode::Answer, 200, "<!DOCTYPE html>\n<p>portal</p>"));
  servers.push_back(std::make_unique<TestServer>(TestServer::Mode::RedirectLoop));
  servers.push_back(std::make_unique<TestServer>(TestServer::Mode::Huge));
  servers.push_back(std::make_unique<TestServer>(TestServer::Mode::Stall));
  std::vector<std::string> sites;
  for (const auto& s : servers) sites.push_back(s->Site());
  {
    // A port nobody listens on.
    TestServer closed(TestServer::Mode::Answer);
    sites.push_back(closed.Site());
  }
  for (size_t i = 0; i < sites.size(); ++i) {
    Window w(sites[i]);
    w.form.timeoutMs = 1500;  // the stalled server
    w.CheckOnce();
    EXPECT_EQ(w.Text(), "<StringCantConnectToServer>") << sites[i];
    EXPECT_EQ(w.Link(), "");
    EXPECT_EQ(apptest::ReadFile(w.answer), "previous answer\r\n") << sites[i];
  }
  EXPECT_GT(servers[3]->Requests().size(), 1u);  // the redirect was followed, within a bound
  EXPECT_LE(servers[3]->Requests().size(), 6u);
}

TEST(UpdateCheck, ASecondCheckWhileOneRunsMakesNoRequestAndClosingEndsTheStalledOne) {
  TestServer server(TestServer::Mode::Stall);
  Window w(server.Site());
  w.form.show();
  ASSERT_TRUE(WaitFor([&] { return server.Holding(); }));
  EXPECT_TRUE(w.form.UpdateCheckRunning());
  w.form.findChild<QPushButton*>("ButtonCheck")->click();
  w.form.Check();
  QApplication::processEvents();
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(w.Text(), "Checking for updates ...");
  // Closing returns with the transfer ended (the server sees the client go)
  // and no result arrives afterwards.
  w.form.close();
  EXPECT_FALSE(w.form.UpdateCheckRunning());
  EXPECT_TRUE(WaitFor([&] { return !server.Holding(); }));
  QApplication::processEvents();
  EXPECT_EQ(w.done, 0);
  EXPECT_EQ(w.Text(), "Checking for updates ...");
}
