// Objects the audio library keeps for the whole life of the process on purpose: threads left
// behind (a stalled connection, a plug-in that never returns) may still reach them while the
// process ends, so they are never destroyed. Told to the leak checker, which would otherwise
// report them once the library is unloaded (then nothing it still maps points to them).
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define ORV_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORV_LSAN 1
#endif
#endif
#ifdef ORV_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace orvbass {

template <class T>
T* KeptForProcess(T* object) {
#ifdef ORV_LSAN
  __lsan_ignore_object(object);
#endif
  return object;
}

}  // namespace orvbass
