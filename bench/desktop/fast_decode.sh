#!/bin/bash
# The decode path alone: `orvella play --fast` (dual-channel, the capture discarded into /dev/null)
# against `ffmpeg -f null` on the same 10-minute 192 kbit/s MP3, CPU (user + system) of each, run
# alternately in the same session, medians of RUNS runs, with the spread (lowest and highest) of
# each figure and of the per-run ratio. Needs ffmpeg; nothing else is installed.
#
#   bench/desktop/fast_decode.sh build/OrvellaPlayer                 # RUNS=9 by default
#   bench/desktop/fast_decode.sh build/OrvellaPlayer /tmp/before     # a second program folder,
#                                                                    # measured in the same rounds
# CPU=perf counts perf's task-clock (milliseconds, finer) instead of /usr/bin/time's 10 ms steps.
set -euo pipefail
stage=$(cd "${1:-build/OrvellaPlayer}" && pwd)
before=""
[ -n "${2:-}" ] && before=$(cd "$2" && pwd)
runs=${RUNS:-9}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=600" -f lavfi -i "anoisesrc=d=600:a=0.1" \
  -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" -ar 44100 -b:a 192k "$work/long.mp3"
cpu() {  # user+system CPU seconds of a command
  if [ "${CPU:-time}" = perf ]; then
    perf stat -x, -e task-clock -o "$work/time" "$@" >/dev/null 2>&1
    awk -F, '/task-clock/ { printf "%.3f", $1 / 1000 }' "$work/time"
  else
    /usr/bin/time -f "%U %S" -o "$work/time" "$@" >/dev/null 2>&1
    awk '{ printf "%.3f", $1 + $2 }' "$work/time"
  fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
fast=(); ffm=(); old=(); rf=(); ro=()
for r in $(seq "$runs"); do
  fast+=("$(cpu "$stage/orvella" play --out /dev/null --fast "$work/long.mp3")")
  ffm+=("$(cpu ffmpeg -nostdin -v error -i "$work/long.mp3" -f null -)")
  rf+=("$(ratio "${fast[-1]}" "${ffm[-1]}")")
  line="run $r: orvella ${fast[-1]} s, ffmpeg ${ffm[-1]} s"
  if [ -n "$before" ]; then
    old+=("$(cpu "$before/orvella" play --out /dev/null --fast "$work/long.mp3")")
    ro+=("$(ratio "${old[-1]}" "${ffm[-1]}")")
    line="$line, before ${old[-1]} s"
  fi
  echo "$line" >&2
done
med() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
span() { printf '%s\n' "$@" | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%s-%s", lo, hi }'; }
f=$(med "${fast[@]}"); g=$(med "${ffm[@]}")
echo "Machine: $(nproc) CPUs, $(awk -F: '/model name/ { print $2; exit }' /proc/cpuinfo | sed 's/^ *//'); load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "10-minute MP3, $runs runs, medians: orvella play --fast $f s CPU, ffmpeg -f null $g s CPU: $(awk -v a="$f" -v b="$g" 'BEGIN { printf "%.2fx", a / b }')"
echo "  spread: orvella $(span "${fast[@]}") s, ffmpeg $(span "${ffm[@]}") s; per-run ratio median $(med "${rf[@]}")x, $(span "${rf[@]}")x"
if [ -n "$before" ]; then
  o=$(med "${old[@]}")
  echo "  before: $o s CPU ($(span "${old[@]}") s): $(awk -v a="$o" -v b="$g" 'BEGIN { printf "%.2fx", a / b }'); per-run ratio median $(med "${ro[@]}")x, $(span "${ro[@]}")x"
fi
