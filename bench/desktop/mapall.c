/* Starts a command and reports every top-level window it maps within a time.
 *
 * Usage: mapall LIMIT_MS COMMAND [ARG...]
 * Prints "<milliseconds> <window name>" for each map seen as an X event on the root window (no
 * polling), the clock starting just before the fork; ends the command after LIMIT_MS. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Ms(const struct timespec* a, const struct timespec* b) {
  return (b->tv_sec - a->tv_sec) * 1e3 + (b->tv_nsec - a->tv_nsec) / 1e6;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: mapall LIMIT_MS COMMAND [ARG...]\n");
    return 2;
  }
  int limitMs = atoi(argv[1]);
  Display* d = XOpenDisplay(NULL);
  if (!d) {
    fprintf(stderr, "mapall: cannot open display\n");
    return 2;
  }
  int fd = ConnectionNumber(d);
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
  XSync(d, False);

  struct timespec t0, now;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  for (;;) {
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type == MapNotify && !e.xmap.override_redirect) {
        clock_gettime(CLOCK_MONOTONIC, &now);
        char* name = NULL;
        XFetchName(d, e.xmap.window, &name);
        printf("%.1f %s\n", Ms(&t0, &now), name ? name : "?");
        if (name) XFree(name);
      }
    }
    clock_gettime(CLOCK_MONOTONIC, &now);
    int left = limitMs - (int)Ms(&t0, &now);
    if (left <= 0) break;
    struct pollfd p = {fd, POLLIN, 0};
    poll(&p, 1, left);
  }
  kill(pid, SIGTERM);
  waitpid(pid, NULL, 0);
  return 0;
}
