#!/usr/bin/env bash
# Runs every fuzz target on a scratch copy of its seed corpus.
# usage: fuzz/run.sh BUILD_DIR short|long [SECONDS]
#   short: a fixed number of runs per target (for the test suite)
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
failed=0
for target in "${targets[@]}"; do
  binary=$build/bin/$target
  if [ ! -x "$binary" ]; then
    echo "$target: not built ($binary)"
    failed=1
    continue
  fi
  # The repository's seeds are only read; everything new goes to the copy.
  corpus=$work/$target/corpus
  artifacts=$work/$target/artifacts
  mkdir -p "$corpus" "$artifacts"
  cp -R "$here/corpus/$target/." "$corpus/"
  log=$work/$target/log.txt
  if [ "$mode" = short ]; then
    limit=(-runs="$short_runs")
  else
    limit=(-max_total_time="$seconds")
  fi
  # A target may bring a dictionary of the tokens of its input.
  dict=()
  [ -f "$here/$target.dict" ] && dict=(-dict="$here/$target.dict")
  "$binary" "${limit[@]}" "${dict[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" > "$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $status -ne 0 ]; then
    failed=1
    crash=$(ls "$artifacts" 2>/dev/null | head -1)
    echo "$target: FAILED (exit $status) after ${runs:-?} runs; input: $artifacts/$crash; log: $log"
    grep -m1 -E 'ERROR:|invariant violated|runtime error' "$log" | sed 's/^/  /'
  else
    echo "$target: ok, ${runs:-?} runs"
  fi
done
if [ "$mode" = short ] && [ $failed -eq 0 ] && [ -z "${FUZZ_WORK:-}" ]; then
  rm -rf "$work"  # nothing worth keeping from a clean short run
else
  echo "work folder: $work"
fi
exit $failed
