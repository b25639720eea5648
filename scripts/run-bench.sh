#!/usr/bin/env bash
# Runs every benchmark program the build produced.
set -uo pipefail
build="${1:-build}"
for b in "$build"/bench/*; do
  [ -x "$b" ] && [ -f "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
