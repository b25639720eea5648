#!/usr/bin/env bash
# CPU of `orvella play --fast` on a 10-minute file with one gain module through
# the stacker against the same gain module alone (best of three runs each), in
# a temporary plug-in folder (the stacker writes plugin.ini beside itself).
# Usage: stacker_bench.sh [program-folder]   (default: build/OrvellaPlayer)
set -euo pipefail
stage="${1:-build/OrvellaPlayer}"
orvella="$stage/orvella"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$stage/plugins/dsp_orvella.so" "$stage/plugins/dsp_pilvo3.so" "$work/"
printf '[Pilvo]\nPlugins=dsp_orvella.so,0,1\n' > "$work/plugin.ini"
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=600" -ac 2 -c:a pcm_s16le "$work/long.wav"

cpu() {  # user+sys CPU seconds of a command
  /usr/bin/time -f "%U %S" -o "$work/t" "$@" >/dev/null 2>&1
  awk '{printf "%.3f", $1 + $2}' "$work/t"
}
best() {  # best of three
  local b=""
  for _ in 1 2 3; do
    local c; c=$(cpu "$@")
    if [ -z "$b" ] || awk -v c="$c" -v b="$b" 'BEGIN{exit !(c < b)}'; then b=$c; fi
  done
  echo "$b"
}
alone=$(best env -u DISPLAY "$orvella" play --dsp "$work/dsp_orvella.so:0" --out "$work/a.wav" --fast "$work/long.wav")
stacked=$(best env -u DISPLAY "$orvella" play --dsp "$work/dsp_pilvo3.so:0" --out "$work/b.wav" --fast "$work/long.wav")
printf "10-minute WAV, fast capture: gain alone %.3f s CPU, gain through the stacker %.3f s CPU, ratio %.3f\n" \
  "$alone" "$stacked" "$(awk -v a="$stacked" -v b="$alone" 'BEGIN{print a/b}')"
cmp -s <(tail -c +45 "$work/a.wav") <(tail -c +45 "$work/b.wav") && echo "same samples heard both ways" || echo "the two outputs differ"
