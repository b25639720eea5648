#!/bin/sh
# Generates small MPEG audio seeds for the libmpg123 fuzz target into the folder given ($1). Each
# seed starts with two zero bytes: the target then passes the rest on unchanged, as 16-bit.
set -e
out="$1"
mkdir -p "$out"
gen() {
  ffmpeg -nostdin -v quiet -y -f lavfi -i "sine=d=0.1:sample_rate=$2" $3 "$out/t.$1"
  printf '\000\000' | cat - "$out/t.$1" > "$out/seed_$4.$1"
  rm -f "$out/t.$1"
}
gen mp3 44100 "-c:a libmp3lame -b:a 128k -id3v2_version 3 -write_id3v1 1 -metadata title=Seed" tagged
gen mp3 22050 "-c:a libmp3lame -b:a 32k -write_xing 0" lsf
gen mp2 48000 "-c:a mp2 -b:a 192k" layer2
