// Wake-ups of one of this process's threads, found by its name, for tests that check a thread
// sleeps until it has work instead of looking on a timer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace testutil {

// Times this process's thread called `name` has gone to sleep (voluntary context switches): each is
// a wake-up later. 0 when there is no such thread.
inline uint64_t WakeUpsOf(const std::string& name) {
  for (const auto& t : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(t.path() / "comm");
    std::string n;
    if (!std::getline(comm, n) || n != name) continue;
    std::ifstream status(t.path() / "status");
    const std::string key = "voluntary_ctxt_switches:";
    for (std::string line; std::getline(status, line);)
      if (line.rfind(key, 0) == 0) return std::stoull(line.substr(key.size()));
  }
  return 0;
}

}  // namespace testutil
