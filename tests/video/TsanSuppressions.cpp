// libVLC, its plug-ins and the FFmpeg libraries it decodes with (and, for the
// window tests, Qt's own worker threads) are not built with ThreadSanitizer: their own synchronisation (atomics in their code) is
// invisible to it, so memory they hand between their threads reads as races.
// Reports with their code in the stack are suppressed; our side of every
// hand-over (callbacks, the sound ring, the event poster) stays checked.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libvlccore.so.9\n"
         "race:libvlc.so.5\n"
         "race:/usr/lib/x86_64-linux-gnu/vlc/plugins/\n"
         "race:libavcodec.so.59\n"
         "race:libavutil.so.57\n"
         "race:libavformat.so.59\n"
         "race:libswscale.so.6\n"
         "race:libQt6Gui.so.6\n"
         "race:libQt6Core.so.6\n";
}
