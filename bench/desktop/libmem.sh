#!/usr/bin/env bash
# Which shared objects the player maps 3 s after start and what each costs in RSS and PSS (kB),
# with the whole process's RSS and PSS; runs the player RUNS times (default 5) on the offscreen
# platform with the silent output, playing FILE when one is given, and prints medians.
# Usage: bench/desktop/libmem.sh [program-folder] [file]
set -euo pipefail
stage="$(realpath "${1:-build/OrvellaPlayer}")"
file="${2:-}"
runs="${RUNS:-5}"
work=$(mktemp -d /tmp/orvella-libmem.XXXXXX)
trap 'rm -rf "$work"' EXIT
for r in $(seq "$runs"); do
  f="$work/prog"; rm -rf "$f"; cp -a "$stage" "$f"
  rm -f "$f/OrvellaPlayer.ini" "$f/data/Default.plf"
  printf '[Options]\r\nfirstRun=0\r\n' > "$f/OrvellaPlayer.ini"
  mkdir -p "$work/home"
  HOME="$work/home" QT_QPA_PLATFORM=offscreen ORVELLA_BASS_OUTPUT=silent "$f/OrvellaPlayer" ${file:+"$file"} \
    >/dev/null 2>&1 &
  pid=$!
  sleep 3
  awk '/^Rss:/ { r = $2 } /^Pss:/ { p = $2 } END { print "TOTAL", r, p }' "/proc/$pid/smaps_rollup" > "$work/run$r"
  # per mapped file: sum of Rss and Pss over its mappings
  awk '/^[0-9a-f]+-[0-9a-f]+ / { name = ($6 != "" ? $6 : "[anon]") } /^Rss:/ { rss[name] += $2 }
       /^Pss:/ { pss[name] += $2 } END { for (n in rss) print n, rss[n], pss[n] }' "/proc/$pid/smaps" >> "$work/run$r"
  kill "$pid"; wait "$pid" 2>/dev/null || true
done
cat "$work"/run* | awk '{ n[$1]++; r[$1, n[$1]] = $2; p[$1, n[$1]] = $3 }
  function med(a, k, c,   i, j, t, v) { for (i = 1; i <= c; i++) v[i] = a[k, i]
    for (i = 1; i <= c; i++) for (j = i + 1; j <= c; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    return v[int((c + 1) / 2)] }
  END { for (k in n) printf "%8d %8d %s\n", med(r, k, n[k]), med(p, k, n[k]), (n[k] < '"$runs"' ? k " (in " n[k] " runs)" : k) }' |
  sort -k1,1nr | awk 'BEGIN { print "  RSS kB   PSS kB  object" } { print }'
