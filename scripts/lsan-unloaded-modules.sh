#!/usr/bin/env bash
# Names the frames LeakSanitizer prints as "(<unknown module>)": code of a library that was
# unloaded before the report at exit. Runs an ASan-built command with a small preloaded
# dlclose wrapper that records the process's mappings before each unload, then resolves every
# unknown address of the report to its library and offset (and to a function with addr2line
# when the library has symbols; a stripped one gives the nearest exported name). Only for
# diagnosis; the leak itself is then fixed in our code.
# usage: lsan-unloaded-modules.sh <command> [arguments...]
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: $0 <command> [arguments...]" >&2; exit 2; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat >"$work/shim.c" <<'C'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
int dlclose(void* handle) {
  static int (*real)(void*);
  if (!real) real = (int (*)(void*))dlsym(RTLD_NEXT, "dlclose");
  FILE* in = fopen("/proc/self/maps", "r");
  FILE* out = fopen(getenv("ORV_MAPS_LOG"), "a");
  if (in && out) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, in)) > 0) fwrite(buf, 1, n, out);
  }
  if (in) fclose(in);
  if (out) fclose(out);
  return real(handle);
}
C
cc -shared -fPIC -o "$work/shim.so" "$work/shim.c" -ldl || exit 2
asan="$(gcc -print-file-name=libasan.so)"
ORV_MAPS_LOG="$work/maps" LD_PRELOAD="$asan $work/shim.so" ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" \
  "$@" 2>"$work/report"
rc=$?
cat "$work/report" >&2
touch "$work/maps"
grep -o '0x[0-9a-f]*  (<unknown module>)' "$work/report" | awk '{print $1}' | sort -u |
  while read -r addr; do
    awk -v a="$addr" '
      function hex(s,  i, c, v) { v = 0; s = tolower(s); sub(/^0x/, "", s)
        for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", substr(s, i, 1)) - 1; v = v * 16 + c }
        return v }
      NF >= 6 { split($1, r, "-"); x = hex(a)
        if (x >= hex(r[1]) && x < hex(r[2])) { printf "%s %s 0x%x\n", a, $6, x - hex(r[1]) + hex($3); exit } }' "$work/maps"
  done | while read -r addr lib off; do
    fn="$(addr2line -f -C -e "$lib" "$off" 2>/dev/null | head -1)"
    echo "$addr = $lib+$off ${fn:+($fn)}"
  done
exit $rc
