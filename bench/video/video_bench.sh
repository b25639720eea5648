#!/usr/bin/env bash
# Video measurements: first picture against bare libVLC, and CPU per minute of
# 720p H.264 playback (ours, the bare program, cvlc --vout=dummy).
# Usage: bench/video/video_bench.sh [build-folder]   (default: build)
set -euo pipefail
build="${1:-build}"
bench="$build/bench/video_bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=30
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=s=1280x720:r=30:d=$seconds" -f lavfi -i "sine=f=440:d=$seconds" \
  -c:v libx264 -preset veryfast -b:v 3M -c:a aac -b:a 128k "$work/hd.mp4"

"$bench" first-frame "$work/hd.mp4" 9

# Picture against sound: a white picture and a beep at each whole second, sound as PCM so
# that the sound's first sample is the media's time 0.
ffmpeg -nostdin -v error -f lavfi \
  -i "color=c=black:s=640x360:r=25:d=20,drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='lt(mod(t,1),0.04)'" \
  -f lavfi -i "aevalsrc='if(lt(mod(t,1),0.02),0.5*sin(2*PI*1000*t),0)':s=48000:d=20:c=stereo" \
  -c:v libx264 -preset veryfast -c:a pcm_s16le "$work/sync.mkv"
"$bench" sync "$work/sync.mkv"

cpu() {  # user+sys CPU seconds of a command
  /usr/bin/time -f "%U %S" -o "$work/t" "$@" >/dev/null 2>&1 || true
  awk '{printf "%.2f", $1 + $2}' "$work/t"
}
ours=$(cpu "$bench" play-ours "$work/hd.mp4")
bare=$(cpu "$bench" play-bare "$work/hd.mp4")
echo "CPU seconds per minute of 720p H.264 (a ${seconds} s file, times 60/${seconds}):"
awk -v o="$ours" -v b="$bare" -v s="$seconds" 'BEGIN { printf "  ours %.2f, bare libVLC %.2f, ratio %.2f\n", o*60/s, b*60/s, o/b }'
if command -v cvlc >/dev/null; then
  # VLC refuses to run as root: the reference then runs as nobody.
  run=()
  if [ "$(id -u)" -eq 0 ]; then chmod 755 "$work"; chmod 644 "$work/hd.mp4"; run=(runuser -u nobody --); fi
  ref=$(cpu "${run[@]}" cvlc --vout=dummy --aout=adummy --play-and-exit "$work/hd.mp4")
  awk -v o="$ours" -v r="$ref" -v s="$seconds" 'BEGIN { printf "  cvlc --vout=dummy %.2f, ours / cvlc %.2f\n", r*60/s, o/r }'
else
  echo "  (cvlc not installed: no reference run)"
fi
