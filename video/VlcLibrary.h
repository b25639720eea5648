// Run-time binding of libVLC 3: the library is loaded the first time a video
// plays, never at start-up. Only the types of <vlc/vlc.h> are used at compile time.
//
// Threads: Load() on the UI thread; the resolved pointers are immutable once
// loaded and may be called from any thread libVLC allows.
#pragma once

#include <vlc/vlc.h>

#include <string>

namespace video {

#define ORVELLA_VLC_FUNCTIONS(X)                 \
  X(libvlc_new)                                  \
  X(libvlc_release)                              \
  X(libvlc_errmsg)                               \
  X(libvlc_clock)                                \
  X(libvlc_event_attach)                         \
  X(libvlc_media_new_path)                       \
  X(libvlc_media_new_location)                   \
  X(libvlc_media_add_option)                     \
  X(libvlc_media_release)                        \
  X(libvlc_media_tracks_get)                     \
  X(libvlc_media_tracks_release)                 \
  X(libvlc_media_player_get_media)               \
  X(libvlc_media_player_new)                     \
  X(libvlc_media_player_release)                 \
  X(libvlc_media_player_set_media)               \
  X(libvlc_media_player_event_manager)           \
  X(libvlc_media_player_play)                    \
  X(libvlc_media_player_set_pause)               \
  X(libvlc_media_player_stop)                    \
  X(libvlc_media_player_get_state)               \
  X(libvlc_media_player_get_time)                \
  X(libvlc_media_player_set_time)                \
  X(libvlc_media_player_get_length)              \
  X(libvlc_media_player_set_rate)                \
  X(libvlc_media_player_get_rate)                \
  X(libvlc_media_player_next_chapter)            \
  X(libvlc_media_player_previous_chapter)        \
  X(libvlc_media_player_get_title)               \
  X(libvlc_media_player_set_title)               \
  X(libvlc_media_player_get_chapter)             \
  X(libvlc_media_player_set_chapter)             \
  X(libvlc_media_player_next_frame)              \
  X(libvlc_media_player_navigate)                \
  X(libvlc_video_set_callbacks)                  \
  X(libvlc_media_player_set_xwindow)             \
  X(libvlc_video_set_mouse_input)                \
  X(libvlc_video_set_key_input)                  \
  X(libvlc_video_take_snapshot)                  \
  X(libvlc_video_set_format_callbacks)           \
  X(libvlc_video_set_adjust_int)                 \
  X(libvlc_video_set_adjust_float)               \
  X(libvlc_audio_set_callbacks)                  \
  X(libvlc_audio_set_format_callbacks)           \
  X(libvlc_audio_set_track)                      \
  X(libvlc_audio_get_track)

class TVlcLibrary {
 public:
#define ORVELLA_VLC_POINTER(name) decltype(&::name) name = nullptr;
  ORVELLA_VLC_FUNCTIONS(ORVELLA_VLC_POINTER)
#undef ORVELLA_VLC_POINTER

  // The process-wide binding; loads libVLC on the first call. Null (with `error`
  // set) when the library or one of its functions is missing.
  static TVlcLibrary* Get(std::string* error = nullptr);
  // Whether libVLC has been loaded in this process (start-up must not load it).
  static bool Loaded();

 private:
  TVlcLibrary() = default;
  void* handle_ = nullptr;
};

}  // namespace video
