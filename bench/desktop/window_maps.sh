#!/usr/bin/env bash
# When each of the player's windows is mapped after start, playing an MP3 given on the command line:
# the first window (the playlist and equaliser windows are shown from inside the main window's first
# show) and the main window. Program folders given are measured alternately in one run, each start
# with a fresh copy of the folder and a fresh home, on a private Xvfb display with the silent
# output; medians of RUNS runs (default 10).
# Usage: bench/desktop/window_maps.sh FOLDER [FOLDER...]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 program-folder [program-folder...]" >&2; exit 2; }
runs="${RUNS:-10}"
here="$(cd "$(dirname "$0")" && pwd)"
work=$(mktemp -d /tmp/orvella-window-maps.XXXXXX)
xpid=""
cleanup() {
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cc -O2 -o "$work/mapwait" "$here/mapwait.c" -lX11
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=30:sample_rate=44100" -ac 2 -c:a libmp3lame \
  -b:a 192k "$work/tone.mp3"
disp=80
while [ -e "/tmp/.X11-unix/X$disp" ]; do disp=$((disp + 1)); done
Xvfb ":$disp" -screen 0 1280x1024x24 -nolisten tcp -ac >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$disp" ] && break; sleep 0.05; done
for r in $(seq "$runs"); do
  i=0
  for folder in "$@"; do
    i=$((i + 1))
    f="$work/prog"; rm -rf "$f" "$work/home"; cp -a "$folder" "$f"; mkdir "$work/home"
    rm -f "$f/OrvellaPlayer.ini" "$f/data/Default.plf"
    printf '[Options]\r\nfirstRun=0\r\n' > "$f/OrvellaPlayer.ini"
    # The main window's title is the caption or, once playing, "1. tone.mp3".
    DISPLAY=":$disp" HOME="$work/home" ORVELLA_BASS_OUTPUT=silent "$work/mapwait" --all 2000 "$f/OrvellaPlayer" \
      "$work/tone.mp3" 2>/dev/null |
      awk -v i="$i" 'NR == 1 { first = $1 } /Orvella Player|tone\.mp3/ && main == "" { main = $1 }
                     END { print i, (first == "" ? "-" : first), (main == "" ? "-" : main) }' >> "$work/maps"
  done
done
med() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '%-60s %14s %14s\n' "program folder ($runs runs, medians)" "first map (ms)" "main map (ms)"
i=0
for folder in "$@"; do
  i=$((i + 1))
  first=$(awk -v i="$i" '$1 == i && $2 != "-" { print $2 }' "$work/maps" | med)
  main=$(awk -v i="$i" '$1 == i && $3 != "-" { print $3 }' "$work/maps" | med)
  printf '%-60s %14s %14s\n' "$folder" "$first" "$main"
done
