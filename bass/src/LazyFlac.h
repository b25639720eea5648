// libFLAC opened on first use instead of linked, as libmpg123 is (LazyMpg123.h). Include this
// instead of <FLAC/stream_decoder.h>; the calls below then go through a table filled on the first call.
//
// libFLAC's soname follows its API version (FLAC_API_VERSION_CURRENT): 12 is the API of the header
// built against. When it cannot be opened or lacks a function, every entry is a stand-in (LazyLib.h:
// null, or false: libFLAC's booleans are ints) and `loaded` is false; the opener checks it first and leaves the file to FFmpeg.
// In a process of the library it is usually mapped already (libpulse -> libsndfile -> libFLAC).
//
// Threading: any thread; the table is filled once (a function-local static) and only read after.
// Decoder objects of libFLAC share nothing.
#pragma once

#include <FLAC/stream_decoder.h>

#include "LazyLib.h"

static_assert(FLAC_API_VERSION_CURRENT == 12, "the soname opened below belongs to libFLAC's API 12");

#define ORV_FLAC_FUNCTIONS(X)                                                                      \
  X(FLAC__stream_decoder_new) X(FLAC__stream_decoder_delete) X(FLAC__stream_decoder_set_md5_checking) \
  X(FLAC__stream_decoder_set_metadata_respond) X(FLAC__stream_decoder_init_stream)                   \
  X(FLAC__stream_decoder_finish) X(FLAC__stream_decoder_flush) X(FLAC__stream_decoder_get_state)      \
  X(FLAC__stream_decoder_get_decode_position) X(FLAC__stream_decoder_process_single)                 \
  X(FLAC__stream_decoder_process_until_end_of_metadata) X(FLAC__stream_decoder_seek_absolute)

namespace orvflac {

inline constexpr const char* kSoname = "libFLAC.so.12";

struct TFlacApi {
  bool loaded = false;
#define ORV_FLAC_MEMBER(name) decltype(&::name) name = &::orvlazy::StandIn<decltype(&::name), 0>::Call;
  ORV_FLAC_FUNCTIONS(ORV_FLAC_MEMBER)
#undef ORV_FLAC_MEMBER
};

inline TFlacApi LoadFlac() {
  TFlacApi stand_ins;
  void* lib = orvlazy::OpenForGood(kSoname);
  if (!lib) return stand_ins;
  TFlacApi api;
  bool all = true;
#define ORV_FLAC_RESOLVE(name) all = orvlazy::Resolve(lib, #name, api.name) && all;
  ORV_FLAC_FUNCTIONS(ORV_FLAC_RESOLVE)
#undef ORV_FLAC_RESOLVE
  if (!all) return stand_ins;
  api.loaded = true;
  return api;
}

inline const TFlacApi& Flac() {
  static const TFlacApi api = LoadFlac();
  return api;
}

}  // namespace orvflac

// The calls of the including file go through the table.
#define FLAC__stream_decoder_new ::orvflac::Flac().FLAC__stream_decoder_new
#define FLAC__stream_decoder_delete ::orvflac::Flac().FLAC__stream_decoder_delete
#define FLAC__stream_decoder_set_md5_checking ::orvflac::Flac().FLAC__stream_decoder_set_md5_checking
#define FLAC__stream_decoder_set_metadata_respond ::orvflac::Flac().FLAC__stream_decoder_set_metadata_respond
#define FLAC__stream_decoder_init_stream ::orvflac::Flac().FLAC__stream_decoder_init_stream
#define FLAC__stream_decoder_finish ::orvflac::Flac().FLAC__stream_decoder_finish
#define FLAC__stream_decoder_flush ::orvflac::Flac().FLAC__stream_decoder_flush
#define FLAC__stream_decoder_get_state ::orvflac::Flac().FLAC__stream_decoder_get_state
#define FLAC__stream_decoder_get_decode_position ::orvflac::Flac().FLAC__stream_decoder_get_decode_position
#define FLAC__stream_decoder_process_single ::orvflac::Flac().FLAC__stream_decoder_process_single
#define FLAC__stream_decoder_process_until_end_of_metadata \
  ::orvflac::Flac().FLAC__stream_decoder_process_until_end_of_metadata
#define FLAC__stream_decoder_seek_absolute ::orvflac::Flac().FLAC__stream_decoder_seek_absolute
