#include "stacker/FaultGuard.h"

#include <signal.h>

#include <mutex>

namespace pilvo {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction g_previous[4];

void Handler(int sig, siginfo_t* info, void* context) {
  if (sigjmp_buf* jump = CurrentGuard()) {
    CurrentGuard() = nullptr;
    siglongjmp(*jump, sig);
  }
  int slot = 0;
  for (int i = 0; i < 4; ++i)
    if (kSignals[i] == sig) slot = i;
  const struct sigaction& old = g_previous[slot];
  if ((old.sa_flags & SA_SIGINFO) && old.sa_sigaction) {
    old.sa_sigaction(sig, info, context);
    return;
  }
  if (old.sa_handler == SIG_IGN) return;
  if (old.sa_handler != SIG_DFL && old.sa_handler) {
    old.sa_handler(sig);
    return;
  }
  signal(sig, SIG_DFL);  // the fault repeats on return and ends the program as it would have
}

}  // namespace

sigjmp_buf*& CurrentGuard() {
  static thread_local sigjmp_buf* current = nullptr;
  return current;
}

void InstallFaultGuard() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction sa {};
    sa.sa_sigaction = &Handler;
    sa.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 4; ++i) sigaction(kSignals[i], &sa, &g_previous[i]);
  });
}

}  // namespace pilvo
