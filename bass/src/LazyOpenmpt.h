// libopenmpt opened on first use instead of linked: it maps its own decoders (Vorbis, MPEG audio,
// zlib) and is only needed when a tracker module is opened. Include this instead of
// <libopenmpt/libopenmpt.h>; the calls below then go through a table filled on the first call.
//
// The soname of the API major version the code was compiled against is opened. When it cannot be
// opened, every entry is a stand-in (LazyLib.h: libopenmpt reports failure with 0 or null) and
// `loaded` is false; the opener checks it first and fails the way a file that is no module fails.
//
// Threading: any thread; the table is filled once (a function-local static) and only read after.
#pragma once

#include <libopenmpt/libopenmpt.h>

#include "LazyLib.h"

#define ORV_OPENMPT_FUNCTIONS(X)                                                                    \
  X(openmpt_error_func_ignore) X(openmpt_free_string) X(openmpt_module_create_from_memory2)         \
  X(openmpt_module_ctl_set_integer) X(openmpt_module_destroy)                                       \
  X(openmpt_module_get_duration_seconds) X(openmpt_module_get_instrument_name)                      \
  X(openmpt_module_get_metadata) X(openmpt_module_get_num_instruments)                              \
  X(openmpt_module_get_num_samples) X(openmpt_module_get_sample_name)                               \
  X(openmpt_module_read_interleaved_float_stereo) X(openmpt_module_read_interleaved_stereo)         \
  X(openmpt_module_set_position_seconds) X(openmpt_module_set_render_param)                         \
  X(openmpt_module_set_repeat_count)

namespace orvmpt {

struct TOpenmptApi {
  bool loaded = false;
#define ORV_MPT_MEMBER(name) decltype(&::name) name = &::orvlazy::StandIn<decltype(&::name), 0>::Call;
  ORV_OPENMPT_FUNCTIONS(ORV_MPT_MEMBER)
#undef ORV_MPT_MEMBER
};

inline TOpenmptApi LoadOpenmpt() {
  TOpenmptApi stand_ins;
  void* lib = orvlazy::OpenForGood("libopenmpt.so." OPENMPT_API_VERSION_STRINGIZE(OPENMPT_API_VERSION_MAJOR));
  if (!lib) return stand_ins;
  TOpenmptApi api;
  bool all = true;
#define ORV_MPT_RESOLVE(name) all = orvlazy::Resolve(lib, #name, api.name) && all;
  ORV_OPENMPT_FUNCTIONS(ORV_MPT_RESOLVE)
#undef ORV_MPT_RESOLVE
  if (!all) return stand_ins;
  api.loaded = true;
  return api;
}

inline const TOpenmptApi& Openmpt() {
  static const TOpenmptApi api = LoadOpenmpt();
  return api;
}

}  // namespace orvmpt

// The calls of the including file go through the table.
#define openmpt_error_func_ignore ::orvmpt::Openmpt().openmpt_error_func_ignore
#define openmpt_free_string ::orvmpt::Openmpt().openmpt_free_string
#define openmpt_module_create_from_memory2 ::orvmpt::Openmpt().openmpt_module_create_from_memory2
#define openmpt_module_ctl_set_integer ::orvmpt::Openmpt().openmpt_module_ctl_set_integer
#define openmpt_module_destroy ::orvmpt::Openmpt().openmpt_module_destroy
#define openmpt_module_get_duration_seconds ::orvmpt::Openmpt().openmpt_module_get_duration_seconds
#define openmpt_module_get_instrument_name ::orvmpt::Openmpt().openmpt_module_get_instrument_name
#define openmpt_module_get_metadata ::orvmpt::Openmpt().openmpt_module_get_metadata
#define openmpt_module_get_num_instruments ::orvmpt::Openmpt().openmpt_module_get_num_instruments
#define openmpt_module_get_num_samples ::orvmpt::Openmpt().openmpt_module_get_num_samples
#define openmpt_module_get_sample_name ::orvmpt::Openmpt().openmpt_module_get_sample_name
#define openmpt_module_read_interleaved_float_stereo ::orvmpt::Openmpt().openmpt_module_read_interleaved_float_stereo
#define openmpt_module_read_interleaved_stereo ::orvmpt::Openmpt().openmpt_module_read_interleaved_stereo
#define openmpt_module_set_position_seconds ::orvmpt::Openmpt().openmpt_module_set_position_seconds
#define openmpt_module_set_render_param ::orvmpt::Openmpt().openmpt_module_set_render_param
#define openmpt_module_set_repeat_count ::orvmpt::Openmpt().openmpt_module_set_repeat_count
