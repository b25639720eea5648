/* Stands in for libmpg123.so.0 in a process that must run without a usable libmpg123. Libraries
 * mapped at start need it there: the sound server's client library through libsndfile, FFmpeg's
 * libavformat through libopenmpt, both bound at load. So this one has the functions they import,
 * each failing as libmpg123 fails (MPG123_ERR, -1, null), and lacks the others the audio library
 * needs, which then finds libmpg123 unusable and leaves MPEG audio to FFmpeg. */
#include <stddef.h>

#define FAILING_INT(name) long name(void) { return -1; }
#define FAILING_PTR(name) void* name(void) { return NULL; }

FAILING_INT(mpg123_init)
FAILING_INT(mpg123_close)
FAILING_INT(mpg123_format)
FAILING_INT(mpg123_getformat)
FAILING_INT(mpg123_info2)
FAILING_INT(mpg123_length)
FAILING_INT(mpg123_open_handle)
FAILING_INT(mpg123_param2)
FAILING_INT(mpg123_read)
FAILING_INT(mpg123_replace_reader_handle)
FAILING_INT(mpg123_scan)
FAILING_INT(mpg123_seek)
FAILING_INT(mpg123_outblock)
FAILING_PTR(mpg123_new)
FAILING_INT(mpg123_id3)
void mpg123_delete(void* handle) { (void)handle; }
void mpg123_exit(void) {}
const char* mpg123_plain_strerror(int code) { (void)code; return "libmpg123 is not available"; }
