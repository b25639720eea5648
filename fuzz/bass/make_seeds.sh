#!/bin/sh
# Generates small seed files for the stream fuzz target into the folder given ($1).
# Each seed starts with a zero byte: the target then passes the rest on unchanged.
set -e
out="$1"
mkdir -p "$out"
for spec in "wav pcm_s16le" "mp3 libmp3lame" "ogg libvorbis" "aiff pcm_s16be" "mp2 mp2"; do
  set -- $spec
  ffmpeg -nostdin -v quiet -y -f lavfi -i "sine=d=0.1" -c:a "$2" "$out/t.$1"
  printf '\000' | cat - "$out/t.$1" > "$out/seed.$1"
  rm -f "$out/t.$1"
done
