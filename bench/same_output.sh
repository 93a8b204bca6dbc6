#!/usr/bin/env bash
# Runs two builds of usetrail on the data sets of bench/end_to_end.sh and compares their
# outputs byte for byte: in three time zones, with and without date windows, name filters,
# the summary and the overview, and for a pattern that picks databases by title.
#
#   bench/same_output.sh BASE_BUILD_DIR NEW_BUILD_DIR [WORK_DIR]
#
# WORK_DIR (default /tmp/usetrail-e2e) holds the data sets that bench/end_to_end.sh wrote.
# SETS (blank-separated) picks the data sets, default "big four 2k 32k". Prints one line per
# difference and a count at the end; exits 1 when any output differs.
set -euo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 BASE_BUILD_DIR NEW_BUILD_DIR [WORK_DIR]" >&2
  exit 2
fi
base=$(cd "$1" && pwd)/bin/usetrail
new=$(cd "$2" && pwd)/bin/usetrail
work=${3:-/tmp/usetrail-e2e}
read -r -a sets <<< "${SETS:-big four 2k 32k}"
now="2026-12-07 12:00:00"
out=$(mktemp -d "${TMPDIR:-/tmp}/usetrail-same.XXXXXX")
trap 'rm -rf "$out"' EXIT

zones=(UTC Europe/Berlin Asia/Kathmandu)
# Each a command line; "|" separates the arguments.
options=(
  '/i|*'
  '*'
  '/c|/i|*'
  '/o|/i|*'
  '/o|*'
  '/s:3|/i|*'
  '/s:10|/e:2|/i|*'
  '/e:30|*'
  '/f:*Smith*|/i|*'
  '/x:CN=*|/i|*'
  '/f:*a*|/x:*Acme*|/s:5|/e:1|/c|/i|*'
  '/o|/s:7|/f:*e*|*'
  'Mail - *'
  '/i|*Pipeline*'
)

compared=0
differ=0
for set in "${sets[@]}"; do
  data=$work/$set
  [ -d "$data" ] || { echo "missing $data (run bench/end_to_end.sh first)" >&2; exit 1; }
  for zone in "${zones[@]}"; do
    for option in "${options[@]}"; do
      IFS='|' read -r -a args <<< "$option"
      USETRAIL_DATA=$data USETRAIL_NOW=$now TZ=$zone "$base" "${args[@]}" > "$out/base" 2>&1 \
        || echo "exit $?" >> "$out/base"
      USETRAIL_DATA=$data USETRAIL_NOW=$now TZ=$zone "$new" "${args[@]}" > "$out/new" 2>&1 \
        || echo "exit $?" >> "$out/new"
      compared=$((compared + 1))
      if ! cmp -s "$out/base" "$out/new"; then
        differ=$((differ + 1))
        echo "DIFFERS: $set, TZ=$zone, usetrail ${args[*]}"
      fi
    done
  done
  echo "$set: compared"
done
echo "$compared runs compared, $differ differ"
[ "$differ" = 0 ]
