#!/usr/bin/env bash
# Measures the engine through orvella: identifying 2,000 files, and playing a
# 10-minute MP3 into the fast capture against FFmpeg decoding it alone.
# Usage: cli_bench.sh [program-folder]   (default: build/OrvellaPlayer)
set -euo pipefail
stage="${1:-build/OrvellaPlayer}"
orvella="$stage/orvella"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpu() {  # user+sys CPU seconds of a command
  /usr/bin/time -f "%U %S" -o "$work/t" "$@" >/dev/null 2>&1
  awk '{printf "%.3f", $1 + $2}' "$work/t"
}

ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=600" -ac 2 -c:a libmp3lame -b:a 192k "$work/long.mp3"
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=5" -ac 2 -c:a libmp3lame -b:a 128k \
  -metadata title=T -metadata artist=A "$work/one.mp3"
mkdir "$work/many"
for i in $(seq 1 2000); do cp "$work/one.mp3" "$work/many/f$i.mp3"; done

start=$(date +%s.%N)
"$orvella" info --json "$work"/many/*.mp3 > "$work/info.jsonl"
end=$(date +%s.%N)
n=$(wc -l < "$work/info.jsonl")
awk -v s="$start" -v e="$end" -v n="$n" 'BEGIN { printf "orvella info: %d files in %.3f s (%.1f us per file)\n", n, e - s, (e - s) * 1e6 / n }'

ours=$(cpu "$orvella" play --out "$work/x.wav" --fast "$work/long.mp3")
ref=$(cpu ffmpeg -nostdin -v error -i "$work/long.mp3" -f null -)
awk -v a="$ours" -v b="$ref" 'BEGIN { printf "10-minute MP3: orvella play --fast %.3f s CPU, ffmpeg -f null %.3f s CPU, ratio %.2f\n", a, b, a / b }'
