/* Starts a command and reports when its first top-level window is mapped.
 *
 * Usage: mapwait [--all] TIMEOUT_MS COMMAND [ARG...]
 * Prints "<pid> <milliseconds>" on success (the command keeps running), or
 * "<pid> timeout" when no window was mapped in time. The clock starts just
 * before the fork; the map is seen as an X event on the root window (no
 * polling), so the figure is what a user would see on an idle display.
 * With --all it prints "<milliseconds> <window name>" for every window mapped
 * within TIMEOUT_MS instead, then ends the command. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Ms(const struct timespec* a, const struct timespec* b) {
  return (b->tv_sec - a->tv_sec) * 1e3 + (b->tv_nsec - a->tv_nsec) / 1e6;
}

int main(int argc, char** argv) {
  const int all = argc > 1 && strcmp(argv[1], "--all") == 0;
  argc -= all;
  argv += all;
  if (argc < 3) {
    fprintf(stderr, "usage: mapwait [--all] TIMEOUT_MS COMMAND [ARG...]\n");
    return 2;
  }
  int timeoutMs = atoi(argv[1]);
  Display* d = XOpenDisplay(NULL);
  if (!d) {
    fprintf(stderr, "mapwait: cannot open display\n");
    return 2;
  }
  int fd = ConnectionNumber(d);
  fcntl(fd, F_SETFD, FD_CLOEXEC);  // the player must not inherit our connection
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
      // Menus and tooltips are override-redirect; a real top-level window is not.
      if (e.type == MapNotify && !e.xmap.override_redirect) {
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (!all) {
          printf("%d %.1f\n", (int)pid, Ms(&t0, &now));
          return 0;
        }
        char* name = NULL;
        XFetchName(d, e.xmap.window, &name);
        printf("%.1f %s\n", Ms(&t0, &now), name ? name : "?");
        if (name) XFree(name);
      }
    }
    clock_gettime(CLOCK_MONOTONIC, &now);
    int left = timeoutMs - (int)Ms(&t0, &now);
    if (left <= 0) break;
    struct pollfd p = {fd, POLLIN, 0};
    poll(&p, 1, left);
  }
  if (all) {
    kill(pid, SIGTERM);
    waitpid(pid, NULL, 0);
    return 0;
  }
  printf("%d timeout\n", (int)pid);
  return 1;
}
