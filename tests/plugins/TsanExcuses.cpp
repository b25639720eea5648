// Reports ThreadSanitizer cannot judge in this program, excused here only:
// - glibc frees a finished thread's dynamic TLS (here the audio library's) when a
//   later thread recycles the cached stack, under glibc's own stack-cache lock;
// - under X11, Qt's event thread runs GLib's main loop, which is not instrumented;
// - the UI queue's waker hands a small functor to Qt from the posting thread; Qt
//   passes it on under its own (uninstrumented) locks, so the hand-over is unseen.
extern "C" const char* __tsan_default_suppressions() {
  return "race:_dl_deallocate_tls\n"
         "called_from_lib:libglib-2.0.so.0\n"
         "race:platform::AttachQueueToQtLoop\n";
}
