// Shared pieces of the libraries opened on first use (LazyFFmpeg.h, LazyOpenmpt.h): the stand-in
// every table entry starts with, and the open itself.
//
// A stand-in fails the way its library reports failure: null for pointers, `IntFail` for signed
// results, zero for unsigned and floating ones, nothing for void. Callers ask whether the library
// loaded before they start, so stand-ins only keep a stray call harmless.
#pragma once

#include <dlfcn.h>

#include <type_traits>

namespace orvlazy {

template <typename F, long IntFail>
struct StandIn;

template <typename R, typename... A, long IntFail>
struct StandIn<R (*)(A...), IntFail> {
  static R Call(A...) {
    if constexpr (std::is_void_v<R>) return;
    else if constexpr (std::is_pointer_v<R>) return nullptr;
    else if constexpr (std::is_integral_v<R> && std::is_signed_v<R>) return R(IntFail);
    else return R{};
  }
};

// Points `entry` at `symbol` of `lib`; false (entry untouched) when the library lacks it.
template <typename F>
bool Resolve(void* lib, const char* symbol, F& entry) {
  void* f = dlsym(lib, symbol);
  if (f) entry = reinterpret_cast<F>(f);
  return f != nullptr;
}

// Kept mapped for good once opened: objects the library handed out (and what its dependencies'
// initialisers allocated) outlive any one user, and a library unloaded and loaded again would leak
// that each time.
inline void* OpenForGood(const char* soname) { return dlopen(soname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE); }

}  // namespace orvlazy
