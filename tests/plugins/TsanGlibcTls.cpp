// Reports ThreadSanitizer cannot judge in this program, excused here only:
// - glibc frees a finished thread's dynamic TLS (here the audio library's) when a
//   later thread recycles the cached stack, under glibc's own stack-cache lock;
// - under X11, Qt's event thread runs GLib's main loop, which is not instrumented.
extern "C" const char* __tsan_default_suppressions() {
  return "race:_dl_deallocate_tls\n"
         "called_from_lib:libglib-2.0.so.0\n";
}
