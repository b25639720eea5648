#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for SECONDS each, JOBS at a time, from its
# seeds (and the corpus earlier runs grew in the build folder) with its dictionary, then
# prints a table: executions, edges covered, corpus size and findings per target.
# Findings (crashing, leaking or hanging inputs, and any single allocation over 512 MB, which no
# input of these sizes needs) are kept in <build>/fuzz/findings/.
# usage: run-fuzz.sh <fuzz build dir> <seconds> [jobs] [target name filter (regex)]
set -uo pipefail
build="$(cd "$1" && pwd)"
seconds="$2"
jobs="${3:-2}"
filter="${4:-.}"
manifest="$build/fuzz/targets.txt"
[ -f "$manifest" ] || { echo "no $manifest: configure with -DORVELLA_FUZZ=ON" >&2; exit 2; }
out="$build/fuzz/run"
mkdir -p "$out" "$build/fuzz/findings" "$build/fuzz/corpus"

run_one() {
  local line="$1" name bin seeds dict script
  IFS='|' read -r name bin seeds dict script <<<"$line"
  local corpus="$build/fuzz/corpus/$name" gen="$build/fuzz/generated/$name"
  mkdir -p "$corpus" "$gen"
  if [ -n "$script" ]; then sh "$script" "$gen" >/dev/null 2>&1; fi
  local -a extra=()
  IFS=',' read -r -a files <<<"$seeds"
  local f
  for f in "${files[@]}"; do [ -f "$f" ] && cp -f "$f" "$gen/"; done
  [ -n "$dict" ] && extra+=("-dict=$dict")
  # Leak checks stay on; a run that ends in a finding stops that target, the others go on.
  ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$bin" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -malloc_limit_mb=512 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="$build/fuzz/findings/$name-" "${extra[@]}" \
      "$corpus" "$gen" >"$out/$name.log" 2>&1
  echo "$?" >"$out/$name.rc"
}
export -f run_one
# Targets that go through a file put it in memory, not on disk.
[ -d /dev/shm ] && export TMPDIR=/dev/shm
export build out seconds

# The table shows the latest run of every target; the ones run now start afresh.
selected="$(grep -v '^$' "$manifest" | grep -E "^[^|]*($filter)")"
for name in $(cut -d'|' -f1 <<<"$selected"); do rm -f "$out/$name.log" "$out/$name.rc"; done
tr '\n' '\0' <<<"$selected" |
  xargs -0 -P "$jobs" -I{} bash -c 'run_one "$1"' _ {}
rm -f "${TMPDIR:-/tmp}"/orvella-fuzz-*

printf '| %-30s | %12s | %7s | %7s | %8s |\n' target executions edges corpus findings
printf '|%s|%s|%s|%s|%s|\n' "--------------------------------" "--------------" "---------" "---------" "----------"
status=0
for log in "$out"/*.log; do
  name="$(basename "$log" .log)"
  execs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)"
  edges="$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')"
  corpus="$(ls "$build/fuzz/corpus/$name" 2>/dev/null | wc -l)"
  findings="$(ls "$build/fuzz/findings/" 2>/dev/null | grep -c "^$name-")"
  rc="$(cat "$out/$name.rc" 2>/dev/null || echo 1)"
  [ "$rc" != 0 ] || [ "$findings" != 0 ] && status=1
  printf '| %-30s | %12s | %7s | %7s | %8s |\n' "$name" "${execs:-?}" "${edges:-?}" "$corpus" "$findings"
done
exit $status
