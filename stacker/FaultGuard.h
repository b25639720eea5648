// Containment of faults inside sub-module calls: a fault (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL) raised on a thread while it runs a guarded call jumps back to
// that call, which reports failure; any other fault goes on to the handler that
// was installed before (the host's own guard, or the default action).
//
// InstallFaultGuard is idempotent and may run on any thread. RunGuarded runs on
// the calling thread; guards nest. No lock is taken, so a call that faults
// leaves no lock of ours held; the caller's own locks stay as they were.
#pragma once

#include <setjmp.h>

namespace pilvo {

void InstallFaultGuard();

// The innermost guard of this thread (null outside guarded calls).
sigjmp_buf*& CurrentGuard();

// Runs f(); false when it faulted. The signal mask is not saved: the handler
// runs with SA_NODEFER, so nothing stays blocked after the jump.
template <typename F>
bool RunGuarded(F&& f) {
  sigjmp_buf jump;
  sigjmp_buf* outer = CurrentGuard();
  if (sigsetjmp(jump, 0) == 0) {
    CurrentGuard() = &jump;
    f();
    CurrentGuard() = outer;
    return true;
  }
  CurrentGuard() = outer;
  return false;
}

}  // namespace pilvo
