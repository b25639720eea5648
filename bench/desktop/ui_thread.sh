#!/usr/bin/env bash
# The main window's own cost while it plays: CPU time of the player's UI thread and of the whole
# process over a stretch of playback, from the kernel's scheduler statistics
# (/proc/<pid>/task/<tid>/schedstat, nanoseconds on the CPU and the number of times each thread ran),
# for one or more program folders measured in turn, round after round, in the same run.
#
# Needs only Xvfb and ffmpeg (no sound server: the audio library's silent output keeps real time).
#
# Usage: bench/desktop/ui_thread.sh FOLDER [FOLDER...]     e.g. build/OrvellaPlayer /tmp/before/OrvellaPlayer
# Environment: ROUNDS (default 5), SECONDS_MEASURED (default 15), SETTLE (seconds after start before
# measuring, default 4), PERF=1 also records `perf record -g` of the UI thread of the first folder's
# last round into perf-ui.data in the current folder.
set -euo pipefail

rounds="${ROUNDS:-5}"
secs="${SECONDS_MEASURED:-15}"
settle="${SETTLE:-4}"
[ $# -ge 1 ] || { echo "usage: $0 FOLDER [FOLDER...]" >&2; exit 2; }
folders=()
for f in "$@"; do
  [ -x "$f/OrvellaPlayer" ] || { echo "no player in $f" >&2; exit 2; }
  folders+=("$(realpath "$f")")
done

work=$(mktemp -d /tmp/orvella-ui-thread.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

ffmpeg -nostdin -v error -f lavfi -i "anoisesrc=color=pink:amplitude=0.25:duration=120:sample_rate=44100" \
  -f lavfi -i "sine=frequency=440:duration=120" -filter_complex "amix=inputs=2,pan=stereo|c0=c0|c1=c0" \
  -c:a libmp3lame -b:a 192k "$work/long.mp3"

disp=90
while [ -e "/tmp/.X11-unix/X$disp" ]; do disp=$((disp + 1)); done
Xvfb ":$disp" -screen 0 1280x1024x24 -nolisten tcp -ac >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$disp" ] && break; sleep 0.05; done

# Sum of the schedstat fields of every thread of a process: "ns_on_cpu times_run".
proc_stat() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ ns += $1; n += $3 } END { print ns, n }'; }
ui_stat() { awk '{ print $1, $3 }' /proc/"$1"/task/"$1"/schedstat; }

# measure FOLDER: prints "ui_ms ui_runs_per_s proc_ms"
measure() {
  local f="$work/prog"
  rm -rf "$f"
  cp -a "$1" "$f"
  rm -f "$f/OrvellaPlayer.ini" "$f/data/Default.plf"
  printf '[Options]\r\nfirstRun=0\r\n' > "$f/OrvellaPlayer.ini"
  local home="$work/home"
  rm -rf "$home"; mkdir -p "$home"
  env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY=":$disp" XDG_RUNTIME_DIR="$work" \
    ORVELLA_BASS_OUTPUT=silent "$f/OrvellaPlayer" "$work/long.mp3" >/dev/null 2>&1 &
  local pid=$!
  sleep "$settle"
  local u0 p0 u1 p1
  u0=$(ui_stat "$pid"); p0=$(proc_stat "$pid")
  if [ "${PERF:-0}" = 1 ] && [ "$2" = record ]; then
    perf record -q -g -t "$pid" -o perf-ui.data -- sleep "$secs" >/dev/null 2>&1
  else
    sleep "$secs"
  fi
  u1=$(ui_stat "$pid"); p1=$(proc_stat "$pid")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  set -- $u0 $u1 $p0 $p1
  awk -v a="$1" -v b="$2" -v c="$3" -v d="$4" -v e="$5" -v g="$7" -v s="$secs" \
    'BEGIN { printf "%.1f %.1f %.1f\n", (c - a) / 1e6, (d - b) / s, (g - e) / 1e6 }'
}

declare -A results
for r in $(seq "$rounds"); do
  for i in "${!folders[@]}"; do
    mode=plain
    [ "$r" = "$rounds" ] && [ "$i" = 0 ] && mode=record
    line=$(measure "${folders[$i]}" "$mode")
    echo "round $r, ${folders[$i]}: UI thread ${line%% *} ms, $(echo "$line" | cut -d' ' -f2) runs/s, process ${line##* } ms over $secs s"
    results[$i]+="$line"$'\n'
  done
done

stats() {  # column -> "median (min-max)"
  sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
    f = (v[NR] < 10) ? "%.2f (%.2f-%.2f)" : "%.1f (%.1f-%.1f)"; printf f, m, v[1], v[NR] }'
}
echo
echo "Machine: $(nproc) CPUs, $(awk -F: '/model name/ { print $2; exit }' /proc/cpuinfo | sed 's/^ *//'); load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Medians (lowest-highest) of $rounds rounds, $secs s of playback each:"
for i in "${!folders[@]}"; do
  r="${results[$i]}"
  echo "${folders[$i]}:"
  echo "  UI thread ms:    $(printf '%s' "$r" | cut -d' ' -f1 | stats)"
  echo "  UI runs/s:       $(printf '%s' "$r" | cut -d' ' -f2 | stats)"
  echo "  process ms:      $(printf '%s' "$r" | cut -d' ' -f3 | stats)"
done
# Each folder against the last one, round by round (the rounds share the machine's conditions).
last=$(( ${#folders[@]} - 1 ))
if [ "$last" -gt 0 ]; then
  echo "Per-round ratios to ${folders[$last]}, median (lowest-highest):"
  for i in $(seq 0 $((last - 1))); do
    for col in 1 3; do
      paste -d' ' <(printf '%s' "${results[$i]}" | cut -d' ' -f$col) <(printf '%s' "${results[$last]}" | cut -d' ' -f$col) |
        awk '{ printf "%.3f\n", $1 / $2 }' > "$work/ratios"
      [ "$col" = 1 ] && what="UI thread" || what="process"
      echo "  ${folders[$i]} $what: $(stats < "$work/ratios")"
    done
  done
fi
