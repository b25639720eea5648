// libmpg123 opened on first use instead of linked, as FFmpeg and libopenmpt are (LazyFFmpeg.h,
// LazyOpenmpt.h). Include this instead of <mpg123.h>; the calls below then go through a table
// filled on the first call.
//
// The library's soname has been libmpg123.so.0 for every release of its API (its header gives the
// API version, not the soname). When it cannot be opened or lacks a function, every entry is a
// stand-in (LazyLib.h: libmpg123 reports failure with MPG123_ERR, -1 or null) and `loaded` is false;
// the opener checks it first and leaves the file to FFmpeg.
//
// Threading: any thread; the table is filled once (a function-local static) and only read after.
// Handles of libmpg123 are independent of each other, one per stream.
#pragma once

#include <sys/types.h>

#include <mpg123.h>

#include "LazyLib.h"

// The functions taking or returning off_t: 64-bit here, so the unsuffixed names are the large-file ones.
static_assert(sizeof(off_t) == 8, "libmpg123's unsuffixed functions take a 64-bit off_t on this platform");

#define ORV_MPG123_FUNCTIONS(X)                                                                      \
  X(mpg123_init) X(mpg123_new) X(mpg123_delete) X(mpg123_param2) X(mpg123_format_none) X(mpg123_format) \
  X(mpg123_rates) X(mpg123_replace_reader_handle) X(mpg123_open_handle) X(mpg123_close)              \
  X(mpg123_getformat) X(mpg123_info2) X(mpg123_read) X(mpg123_seek) X(mpg123_length) X(mpg123_scan)   \
  X(mpg123_tell_stream)

namespace orvmpg {

struct TMpg123Api {
  bool loaded = false;
#define ORV_MPG_MEMBER(name) \
  decltype(&::name) name = &::orvlazy::StandIn<decltype(&::name), MPG123_ERR>::Call;
  ORV_MPG123_FUNCTIONS(ORV_MPG_MEMBER)
#undef ORV_MPG_MEMBER
};

inline TMpg123Api LoadMpg123() {
  TMpg123Api stand_ins;
  void* lib = orvlazy::OpenForGood("libmpg123.so.0");
  if (!lib) return stand_ins;
  TMpg123Api api;
  bool all = true;
#define ORV_MPG_RESOLVE(name) all = orvlazy::Resolve(lib, #name, api.name) && all;
  ORV_MPG123_FUNCTIONS(ORV_MPG_RESOLVE)
#undef ORV_MPG_RESOLVE
  // Needed by releases before 1.27 (a no-op since); done once, before any handle exists.
  if (!all || api.mpg123_init() != MPG123_OK) return stand_ins;
  api.loaded = true;
  return api;
}

inline const TMpg123Api& Mpg123() {
  static const TMpg123Api api = LoadMpg123();
  return api;
}

}  // namespace orvmpg

// The calls of the including file go through the table. mpg123.h maps mpg123_param and mpg123_info
// to their int-typed variants (mpg123_param2, mpg123_info2); those are the names redirected here.
#define mpg123_init ::orvmpg::Mpg123().mpg123_init
#define mpg123_new ::orvmpg::Mpg123().mpg123_new
#define mpg123_delete ::orvmpg::Mpg123().mpg123_delete
#define mpg123_param2 ::orvmpg::Mpg123().mpg123_param2
#define mpg123_format_none ::orvmpg::Mpg123().mpg123_format_none
#define mpg123_format ::orvmpg::Mpg123().mpg123_format
#define mpg123_rates ::orvmpg::Mpg123().mpg123_rates
#define mpg123_replace_reader_handle ::orvmpg::Mpg123().mpg123_replace_reader_handle
#define mpg123_open_handle ::orvmpg::Mpg123().mpg123_open_handle
#define mpg123_close ::orvmpg::Mpg123().mpg123_close
#define mpg123_getformat ::orvmpg::Mpg123().mpg123_getformat
#define mpg123_info2 ::orvmpg::Mpg123().mpg123_info2
#define mpg123_read ::orvmpg::Mpg123().mpg123_read
#define mpg123_seek ::orvmpg::Mpg123().mpg123_seek
#define mpg123_length ::orvmpg::Mpg123().mpg123_length
#define mpg123_scan ::orvmpg::Mpg123().mpg123_scan
#define mpg123_tell_stream ::orvmpg::Mpg123().mpg123_tell_stream
