// libcurl opened on first use instead of linked: most runs never touch the network, and libcurl
// maps a megabyte and a dozen libraries at start. Include this instead of <curl/curl.h>; the
// curl_* calls below then go through a table filled on the first call.
//
// When libcurl cannot be opened, every entry is a stand-in that fails the way libcurl does when it
// cannot set up: handles come back NULL, calls return their failure codes, so callers take the
// paths they already have for a failed set-up.
//
// Threading: any thread; the table is filled once (a function-local static) and only read after.
// Header-only: the audio library and the program each keep their own table.
#pragma once

#ifndef CURL_DISABLE_TYPECHECK
#define CURL_DISABLE_TYPECHECK 1
#endif
#include <curl/curl.h>
#include <dlfcn.h>

#define ORV_CURL_FUNCTIONS(X)                                                                       \
  X(curl_global_init) X(curl_easy_init) X(curl_easy_cleanup) X(curl_easy_setopt) X(curl_easy_getinfo) \
  X(curl_easy_pause) X(curl_multi_init) X(curl_multi_cleanup) X(curl_multi_add_handle)              \
  X(curl_multi_remove_handle) X(curl_multi_perform) X(curl_multi_poll) X(curl_multi_wakeup)          \
  X(curl_multi_info_read) X(curl_slist_append) X(curl_slist_free_all)

namespace orvcurl {

namespace stand_in {
inline CURLcode GlobalInit(long) { return CURLE_FAILED_INIT; }
inline CURL* EasyInit() { return nullptr; }
inline void EasyCleanup(CURL*) {}
inline CURLcode EasySetopt(CURL*, CURLoption, ...) { return CURLE_FAILED_INIT; }
inline CURLcode EasyGetinfo(CURL*, CURLINFO, ...) { return CURLE_FAILED_INIT; }
inline CURLcode EasyPause(CURL*, int) { return CURLE_FAILED_INIT; }
inline CURLM* MultiInit() { return nullptr; }
inline CURLMcode MultiCleanup(CURLM*) { return CURLM_BAD_HANDLE; }
inline CURLMcode MultiHandle(CURLM*, CURL*) { return CURLM_BAD_HANDLE; }
inline CURLMcode MultiPerform(CURLM*, int* running) {
  if (running) *running = 0;
  return CURLM_BAD_HANDLE;
}
inline CURLMcode MultiPoll(CURLM*, curl_waitfd*, unsigned, int, int*) { return CURLM_BAD_HANDLE; }
inline CURLMcode MultiWakeup(CURLM*) { return CURLM_BAD_HANDLE; }
inline CURLMsg* MultiInfoRead(CURLM*, int* left) {
  if (left) *left = 0;
  return nullptr;
}
inline curl_slist* SlistAppend(curl_slist*, const char*) { return nullptr; }
inline void SlistFreeAll(curl_slist*) {}
}  // namespace stand_in

struct TCurlApi {
  bool loaded = false;
  decltype(&::curl_global_init) curl_global_init = &stand_in::GlobalInit;
  decltype(&::curl_easy_init) curl_easy_init = &stand_in::EasyInit;
  decltype(&::curl_easy_cleanup) curl_easy_cleanup = &stand_in::EasyCleanup;
  decltype(&::curl_easy_setopt) curl_easy_setopt = &stand_in::EasySetopt;
  decltype(&::curl_easy_getinfo) curl_easy_getinfo = &stand_in::EasyGetinfo;
  decltype(&::curl_easy_pause) curl_easy_pause = &stand_in::EasyPause;
  decltype(&::curl_multi_init) curl_multi_init = &stand_in::MultiInit;
  decltype(&::curl_multi_cleanup) curl_multi_cleanup = &stand_in::MultiCleanup;
  decltype(&::curl_multi_add_handle) curl_multi_add_handle = &stand_in::MultiHandle;
  decltype(&::curl_multi_remove_handle) curl_multi_remove_handle = &stand_in::MultiHandle;
  decltype(&::curl_multi_perform) curl_multi_perform = &stand_in::MultiPerform;
  decltype(&::curl_multi_poll) curl_multi_poll = &stand_in::MultiPoll;
  decltype(&::curl_multi_wakeup) curl_multi_wakeup = &stand_in::MultiWakeup;
  decltype(&::curl_multi_info_read) curl_multi_info_read = &stand_in::MultiInfoRead;
  decltype(&::curl_slist_append) curl_slist_append = &stand_in::SlistAppend;
  decltype(&::curl_slist_free_all) curl_slist_free_all = &stand_in::SlistFreeAll;
};

inline TCurlApi LoadCurl() {
  TCurlApi stand_ins;
  void* lib = nullptr;
  for (const char* name : {"libcurl.so.4", "libcurl-gnutls.so.4", "libcurl.so"})
    if ((lib = dlopen(name, RTLD_NOW | RTLD_LOCAL))) break;
  if (!lib) return stand_ins;
  // Kept loaded for good: transfers left behind by a stalled connection may still run in it.
  TCurlApi api;
#define ORV_CURL_RESOLVE(name)                                            \
  api.name = reinterpret_cast<decltype(&::name)>(dlsym(lib, #name)); \
  if (!api.name) return stand_ins;
  ORV_CURL_FUNCTIONS(ORV_CURL_RESOLVE)
#undef ORV_CURL_RESOLVE
  api.loaded = true;
  return api;
}

inline const TCurlApi& Curl() {
  static const TCurlApi api = LoadCurl();
  return api;
}

}  // namespace orvcurl

// The calls of the including file go through the table (curl.h may have made two of them macros).
#undef curl_easy_setopt
#undef curl_easy_getinfo
#define curl_global_init ::orvcurl::Curl().curl_global_init
#define curl_easy_init ::orvcurl::Curl().curl_easy_init
#define curl_easy_cleanup ::orvcurl::Curl().curl_easy_cleanup
#define curl_easy_setopt ::orvcurl::Curl().curl_easy_setopt
#define curl_easy_getinfo ::orvcurl::Curl().curl_easy_getinfo
#define curl_easy_pause ::orvcurl::Curl().curl_easy_pause
#define curl_multi_init ::orvcurl::Curl().curl_multi_init
#define curl_multi_cleanup ::orvcurl::Curl().curl_multi_cleanup
#define curl_multi_add_handle ::orvcurl::Curl().curl_multi_add_handle
#define curl_multi_remove_handle ::orvcurl::Curl().curl_multi_remove_handle
#define curl_multi_perform ::orvcurl::Curl().curl_multi_perform
#define curl_multi_poll ::orvcurl::Curl().curl_multi_poll
#define curl_multi_wakeup ::orvcurl::Curl().curl_multi_wakeup
#define curl_multi_info_read ::orvcurl::Curl().curl_multi_info_read
#define curl_slist_append ::orvcurl::Curl().curl_slist_append
#define curl_slist_free_all ::orvcurl::Curl().curl_slist_free_all
