#!/usr/bin/env bash
# Runs every fuzz target on a scratch copy of its seed corpus.
# usage: fuzz/run.sh BUILD_DIR short|long [SECONDS]
#   short: a fixed number of runs per target, one target a core at a time
#          (for the test suite)
#   long:  SECONDS per target (default 600); new corpus entries and crash
#          inputs are kept under $FUZZ_WORK (default: a fresh temp folder)
# Exits non-zero when any target crashes or breaks one of its invariants.
set -uo pipefail

if [ $# -lt 2 ] || { [ "$2" != short ] && [ "$2" != long ]; }; then
  echo "usage: $0 BUILD_DIR short|long [SECONDS]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
mode=$2
seconds=${3:-600}
here=$(cd "$(dirname "$0")" && pwd)
# FUZZ_TARGETS (blank-separated) picks some of the targets.
read -r -a targets <<< "${FUZZ_TARGETS:-command_line_fuzz wildcard_fuzz directory_entry_fuzz \
activity_report_fuzz database_loader_fuzz database_readers_fuzz}"
short_runs=${FUZZ_SHORT_RUNS:-3000}

work=${FUZZ_WORK:-$(mktemp -d "${TMPDIR:-/tmp}/usetrail-fuzz.XXXXXX")}
mkdir -p "$work"
# Fuzzes one target; what it came to goes to $work/TARGET/report, and
# "failed" beside it when it failed.
fuzz_target() {
  local target=$1
  local binary=$build/bin/$target
  mkdir -p "$work/$target"
  local report=$work/$target/report
  if [ ! -x "$binary" ]; then
    echo "$target: not built ($binary)" > "$report"
    : > "$work/$target/failed"
    return
  fi
  # The repository's seeds are only read; everything new goes to the copy.
  local corpus=$work/$target/corpus
  local artifacts=$work/$target/artifacts
  mkdir -p "$corpus" "$artifacts"
  cp -R "$here/corpus/$target/." "$corpus/"
  local log=$work/$target/log.txt
  local limit
  if [ "$mode" = short ]; then
    limit=(-runs="$short_runs")
  else
    limit=(-max_total_time="$seconds")
  fi
  # A target may bring a dictionary of the tokens of its input.
  local dict=()
  [ -f "$here/$target.dict" ] && dict=(-dict="$here/$target.dict")
  "$binary" "${limit[@]}" "${dict[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" > "$log" 2>&1
  local status=$?
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $status -ne 0 ]; then
    : > "$work/$target/failed"
    local crash
    crash=$(ls "$artifacts" 2>/dev/null | head -1)
    {
      echo "$target: FAILED (exit $status) after ${runs:-?} runs; input: $artifacts/$crash; log: $log"
      grep -m1 -E 'ERROR:|invariant violated|runtime error' "$log" | sed 's/^/  /'
    } > "$report"
  else
    echo "$target: ok, ${runs:-?} runs" > "$report"
  fi
}

# Short runs go side by side, one a core (FUZZ_JOBS); long runs one after
# another, each with the whole machine.
jobs=1
[ "$mode" = short ] && jobs=${FUZZ_JOBS:-$(nproc)}
running=0
for target in "${targets[@]}"; do
  rm -f "$work/$target/failed"
  fuzz_target "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait
failed=0
for target in "${targets[@]}"; do
  cat "$work/$target/report"
  [ -e "$work/$target/failed" ] && failed=1
done
if [ "$mode" = short ] && [ $failed -eq 0 ] && [ -z "${FUZZ_WORK:-}" ]; then
  rm -rf "$work"  # nothing worth keeping from a clean short run
else
  echo "work folder: $work"
fi
exit $failed
