// Cases that need a process of their own (what a process has mapped cannot be undone): a test
// starts one of the program's DISABLED_ cases in a new process of the same program.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fresh {

// Whether a shared object whose path contains `library` is mapped in this process.
inline bool Mapped(const char* library) {
  std::ifstream in("/proc/self/maps");
  const std::string maps((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return maps.find(library) != std::string::npos;
}

// Runs `test` (with --gtest_also_run_disabled_tests) in a new process of this program with `env`
// added; true when it passed and ran to its end (MarkDone, its last step). Killed after a minute.
inline bool Run(const std::string& test, const std::vector<std::pair<std::string, std::string>>& env = {}) {
  char tmpl[] = "/tmp/orvfresh_XXXXXX";
  if (!mkdtemp(tmpl)) return false;
  const std::string dir = tmpl, marker = dir + "/done";
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    setenv("ORVELLA_FRESH_MARKER", marker.c_str(), 1);
    const std::string filter = "--gtest_filter=" + test;
    execl("/proc/self/exe", "fresh", filter.c_str(), "--gtest_also_run_disabled_tests", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  for (int waited = 0;; waited += 50) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0 || waited >= 60000) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << test << " did not end in time";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const bool done = std::filesystem::exists(marker);
  EXPECT_TRUE(done) << test << " did not run to its end";
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return done && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The last step of a case run by Run: says it got there without a failure.
inline void MarkDone() {
  const char* marker = getenv("ORVELLA_FRESH_MARKER");
  if (marker && !::testing::Test::HasFailure()) std::ofstream(marker) << "done\n";
}

}  // namespace fresh
