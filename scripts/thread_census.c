/* Preloaded into test runs by scripts/check-thread-labels.sh: every process that
 * starts a thread appends one line "<program> <first argument>" to the file named
 * by ORVELLA_THREAD_CENSUS, so tests that start threads can be told apart from
 * those that do not. Only the first thread of a process is recorded. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int (*create_fn)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

static void record(void) {
  static int done;
  if (__atomic_exchange_n(&done, 1, __ATOMIC_SEQ_CST)) return;
  const char* out = getenv("ORVELLA_THREAD_CENSUS");
  if (!out || !*out) return;
  char cmd[4096];
  int fd = open("/proc/self/cmdline", O_RDONLY);
  if (fd < 0) return;
  ssize_t n = read(fd, cmd, sizeof cmd - 1);
  close(fd);
  if (n <= 0) return;
  cmd[n] = 0;
  /* argv[0], then the test filter if there is one. */
  const char* filter = "";
  for (ssize_t i = 0; i < n; i += (ssize_t)strlen(cmd + i) + 1)
    if (strncmp(cmd + i, "--gtest_filter=", 15) == 0) filter = cmd + i + 15;
  char line[8192];
  int len = snprintf(line, sizeof line, "%s %s\n", cmd, filter);
  if (len <= 0) return;
  if (len >= (int)sizeof line) len = (int)sizeof line - 1;
  int o = open(out, O_WRONLY | O_APPEND | O_CREAT, 0644);
  if (o < 0) return;
  if (write(o, line, (size_t)len) < 0) { /* nothing to do */ }
  close(o);
}

int pthread_create(pthread_t* t, const pthread_attr_t* a, void* (*fn)(void*), void* arg) {
  static create_fn real;
  if (!real) real = (create_fn)dlsym(RTLD_NEXT, "pthread_create");
  record();
  return real(t, a, fn, arg);
}
