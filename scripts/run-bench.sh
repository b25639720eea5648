#!/usr/bin/env bash
# Runs every benchmark the build produced, then the benchmark scripts of bench/.
set -uo pipefail
build="${1:-build}"
find "$build/bench" -maxdepth 2 -type f -perm -u+x 2>/dev/null | sort | while read -r b; do
  echo "== $(basename "$b")"
  "$b"
done
for s in bench/*/*.sh; do
  [ -x "$s" ] || continue
  # The desktop bench needs root, installs reference players and runs for minutes: run it on its own.
  case "$s" in bench/desktop/*) continue ;; esac
  echo "== $s"
  "$s" "$build/OrvellaPlayer"
done
