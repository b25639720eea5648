// What the faulting test modules do: a store to address zero, the way a plug-in bug crashes.
// Kept out of UBSan's checks, which would otherwise stop the program at the store in a
// sanitizer build instead of letting the host's fault guard meet the crash.
#pragma once

// The pointer itself is volatile: the compiler cannot prove the store faults, so it neither
// turns it into a trap nor drops the call as having no effect.
__attribute__((no_sanitize("undefined"), noinline)) inline void PluginCrash() {
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
}
