// FFmpeg (libavutil, libswresample, libavcodec, libavformat) opened on first use instead of linked:
// Debian's FFmpeg maps about a hundred libraries (codecs, TLS, XML, ...) that a run playing no
// file, or starting its first window, has no use for. Include this instead of the FFmpeg headers;
// the calls below then go through a table filled on the first call.
//
// The exact sonames the code was compiled against are opened (from the *_VERSION_MAJOR macros): a
// different major version would have other structure layouts. When any of them cannot be opened,
// every entry is a stand-in (LazyLib.h) and `loaded` is false; openers check it first and fail the
// way a format FFmpeg does not know fails.
//
// Threading: any thread; the table is filled once (a function-local static) and only read after.
// Header-only: the audio library and the program each keep their own table.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/macros.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include <cerrno>

#include "LazyLib.h"

#define ORV_AVUTIL_FUNCTIONS(X)                                                                     \
  X(av_malloc) X(av_free) X(av_freep) X(av_log_set_level) X(av_dict_set) X(av_dict_free) X(av_dict_get) \
  X(av_rescale) X(av_rescale_q) X(av_channel_layout_default) X(av_channel_layout_copy)                \
  X(av_channel_layout_uninit) X(av_frame_alloc) X(av_frame_free) X(av_frame_unref)
#define ORV_SWRESAMPLE_FUNCTIONS(X) X(swr_alloc_set_opts2) X(swr_init) X(swr_convert) X(swr_free)
#define ORV_AVCODEC_FUNCTIONS(X)                                                                    \
  X(avcodec_alloc_context3) X(avcodec_free_context) X(avcodec_parameters_to_context) X(avcodec_open2) \
  X(avcodec_find_decoder) X(avcodec_find_decoder_by_name) X(avcodec_descriptor_get)                  \
  X(avcodec_send_packet) X(avcodec_receive_frame) X(avcodec_flush_buffers) X(av_packet_alloc)        \
  X(av_packet_free) X(av_packet_unref) X(av_get_bits_per_sample)
#define ORV_AVFORMAT_FUNCTIONS(X)                                                                   \
  X(avformat_alloc_context) X(avformat_open_input) X(avformat_find_stream_info) X(avformat_close_input) \
  X(av_find_best_stream) X(av_read_frame) X(av_seek_frame) X(avio_alloc_context) X(avio_context_free) \
  X(avio_seek) X(avio_open2) X(avio_closep) X(avio_read_partial) X(av_codec_get_tag)                 \
  X(avformat_get_riff_audio_tags) X(avformat_get_riff_video_tags)

namespace orvav {

// decltype of a function carries its attributes (av_malloc's alloc_size); a pointer cannot.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"

struct TAvApi {
  bool loaded = false;
#define ORV_AV_MEMBER(name) \
  decltype(&::name) name = &::orvlazy::StandIn<decltype(&::name), AVERROR(ENOSYS)>::Call;
  ORV_AVUTIL_FUNCTIONS(ORV_AV_MEMBER)
  ORV_SWRESAMPLE_FUNCTIONS(ORV_AV_MEMBER)
  ORV_AVCODEC_FUNCTIONS(ORV_AV_MEMBER)
  ORV_AVFORMAT_FUNCTIONS(ORV_AV_MEMBER)
#undef ORV_AV_MEMBER
};

#define ORV_AV_SONAME(lib, major) "lib" #lib ".so." AV_STRINGIFY(major)

inline TAvApi LoadAv() {
  TAvApi stand_ins;
  // Dependencies first, so each library finds the ones it needs already mapped.
  void* util = orvlazy::OpenForGood(ORV_AV_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR));
  void* swr = util ? orvlazy::OpenForGood(ORV_AV_SONAME(swresample, LIBSWRESAMPLE_VERSION_MAJOR)) : nullptr;
  void* codec = swr ? orvlazy::OpenForGood(ORV_AV_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR)) : nullptr;
  void* format = codec ? orvlazy::OpenForGood(ORV_AV_SONAME(avformat, LIBAVFORMAT_VERSION_MAJOR)) : nullptr;
  if (!format) return stand_ins;
  TAvApi api;
  bool all = true;
#define ORV_AV_UTIL(name) all = orvlazy::Resolve(util, #name, api.name) && all;
#define ORV_AV_SWR(name) all = orvlazy::Resolve(swr, #name, api.name) && all;
#define ORV_AV_CODEC(name) all = orvlazy::Resolve(codec, #name, api.name) && all;
#define ORV_AV_FORMAT(name) all = orvlazy::Resolve(format, #name, api.name) && all;
  ORV_AVUTIL_FUNCTIONS(ORV_AV_UTIL)
  ORV_SWRESAMPLE_FUNCTIONS(ORV_AV_SWR)
  ORV_AVCODEC_FUNCTIONS(ORV_AV_CODEC)
  ORV_AVFORMAT_FUNCTIONS(ORV_AV_FORMAT)
#undef ORV_AV_UTIL
#undef ORV_AV_SWR
#undef ORV_AV_CODEC
#undef ORV_AV_FORMAT
  if (!all) return stand_ins;
  api.loaded = true;
  return api;
}

#undef ORV_AV_SONAME

#pragma GCC diagnostic pop

inline const TAvApi& Av() {
  static const TAvApi api = LoadAv();
  return api;
}

}  // namespace orvav

// The calls of the including file go through the table. avio_tell is an inline over avio_seek in
// avio.h; it is redirected too so that nothing refers to FFmpeg's own symbols.
#define avio_tell(s) avio_seek((s), 0, SEEK_CUR)
#define av_malloc ::orvav::Av().av_malloc
#define av_free ::orvav::Av().av_free
#define av_freep ::orvav::Av().av_freep
#define av_log_set_level ::orvav::Av().av_log_set_level
#define av_dict_set ::orvav::Av().av_dict_set
#define av_dict_free ::orvav::Av().av_dict_free
#define av_dict_get ::orvav::Av().av_dict_get
#define av_rescale ::orvav::Av().av_rescale
#define av_rescale_q ::orvav::Av().av_rescale_q
#define av_channel_layout_default ::orvav::Av().av_channel_layout_default
#define av_channel_layout_copy ::orvav::Av().av_channel_layout_copy
#define av_channel_layout_uninit ::orvav::Av().av_channel_layout_uninit
#define av_frame_alloc ::orvav::Av().av_frame_alloc
#define av_frame_free ::orvav::Av().av_frame_free
#define av_frame_unref ::orvav::Av().av_frame_unref
#define swr_alloc_set_opts2 ::orvav::Av().swr_alloc_set_opts2
#define swr_init ::orvav::Av().swr_init
#define swr_convert ::orvav::Av().swr_convert
#define swr_free ::orvav::Av().swr_free
#define avcodec_alloc_context3 ::orvav::Av().avcodec_alloc_context3
#define avcodec_free_context ::orvav::Av().avcodec_free_context
#define avcodec_parameters_to_context ::orvav::Av().avcodec_parameters_to_context
#define avcodec_open2 ::orvav::Av().avcodec_open2
#define avcodec_find_decoder ::orvav::Av().avcodec_find_decoder
#define avcodec_find_decoder_by_name ::orvav::Av().avcodec_find_decoder_by_name
#define avcodec_descriptor_get ::orvav::Av().avcodec_descriptor_get
#define avcodec_send_packet ::orvav::Av().avcodec_send_packet
#define avcodec_receive_frame ::orvav::Av().avcodec_receive_frame
#define avcodec_flush_buffers ::orvav::Av().avcodec_flush_buffers
#define av_packet_alloc ::orvav::Av().av_packet_alloc
#define av_packet_free ::orvav::Av().av_packet_free
#define av_packet_unref ::orvav::Av().av_packet_unref
#define av_get_bits_per_sample ::orvav::Av().av_get_bits_per_sample
#define avformat_alloc_context ::orvav::Av().avformat_alloc_context
#define avformat_open_input ::orvav::Av().avformat_open_input
#define avformat_find_stream_info ::orvav::Av().avformat_find_stream_info
#define avformat_close_input ::orvav::Av().avformat_close_input
#define av_find_best_stream ::orvav::Av().av_find_best_stream
#define av_read_frame ::orvav::Av().av_read_frame
#define av_seek_frame ::orvav::Av().av_seek_frame
#define avio_alloc_context ::orvav::Av().avio_alloc_context
#define avio_context_free ::orvav::Av().avio_context_free
#define avio_seek ::orvav::Av().avio_seek
#define avio_open2 ::orvav::Av().avio_open2
#define avio_closep ::orvav::Av().avio_closep
#define avio_read_partial ::orvav::Av().avio_read_partial
#define av_codec_get_tag ::orvav::Av().av_codec_get_tag
#define avformat_get_riff_audio_tags ::orvav::Av().avformat_get_riff_audio_tags
#define avformat_get_riff_video_tags ::orvav::Av().avformat_get_riff_video_tags
