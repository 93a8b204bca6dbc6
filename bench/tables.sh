#!/usr/bin/env bash
# Timing of the tables for other tools beside the views they are measured against, over
# the end-to-end benchmark's data set, and the user table over a million different names.
#
#   bench/tables.sh BUILD_DIR [WORK_DIR]
#
# BUILD_DIR holds bin/usetrail and bin/usetrail-sampledata (a Release build). WORK_DIR
# (default /tmp/usetrail-e2e, shared with bench/end_to_end.sh) receives the data
# directories, kept and reused on later runs, and the outputs. Two data sets:
#   big:   the end-to-end set: 2,000 databases of 500 entries (97 users) and one without a
#          log, spread over 8 folders, seed 42.
#   names: 2,000 databases of 500 entries, every entry by a name of its own (1,000,000
#          different names), spread over 8 folders.
# Pairs timed in one hyperfine run each, in alternation: the report and /t, /o and /u,
# /t and /t /j on big; /o and /u on names. Environment: RUNS (timed runs per command,
# default 7), MEM_RUNS (peak-memory runs, default 3).
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BUILD_DIR [WORK_DIR]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
work=${2:-/tmp/usetrail-e2e}
runs=${RUNS:-7}
mem_runs=${MEM_RUNS:-3}
now="2026-12-07 12:00:00"
usetrail=$build/bin/usetrail
sampledata=$build/bin/usetrail-sampledata

for tool in "$usetrail" "$sampledata"; do
  [ -x "$tool" ] || { echo "missing $tool (build the Release tree first)" >&2; exit 1; }
done
for tool in jq hyperfine /usr/bin/time; do
  command -v "$tool" > /dev/null || { echo "missing $tool (apt-get install -y jq hyperfine time)" >&2; exit 1; }
done
mkdir -p "$work"
work=$(cd "$work" && pwd)

if [ ! -f "$work/big.complete" ]; then
  rm -rf "${work:?}/big"
  "$sampledata" --out "$work/big" --seed 42 --now "$now" --databases 2001 --entries 500 \
    --fixed-entries --folders 8
  echo "--databases 2001 --entries 500 --fixed-entries --folders 8" > "$work/big.complete"
fi

# A million different names: database d holds the names d*500 to d*500+499, one entry each,
# a minute apart, oldest first.
if [ ! -f "$work/names.complete" ]; then
  rm -rf "${work:?}/names"
  for folder in $(seq 0 7); do mkdir -p "$work/names/f$folder"; done
  awk -v out="$work/names" 'BEGIN {
    for (d = 0; d < 2000; d++) {
      file = sprintf("%s/f%d/db%04d.db", out, d % 8, d)
      printf "{\"title\": \"Names %d\", \"activity\": [\n", d > file
      for (i = 0; i < 500; i++) {
        n = d * 500 + i
        printf "  {\"time\": \"2026-%02d-%02d %02d:%02d:00\", \"reads\": %d, \"writes\": %d, \"user\": \"CN=User %07d/OU=Unit %d/O=Org\"}%s\n",
          10 + int(d / 1000), 1 + int(d % 1000 / 40), int(i / 60) % 24, i % 60, n % 97, n % 13, n, n % 50,
          (i < 499 ? "," : "") > file
      }
      print "]}" > file
      close(file)
    }
  }'
  echo done > "$work/names.complete"
fi

# run NAME DATA ARGS...: a script that runs usetrail with ARGS on DATA into $work/NAME.out.
script() {
  local name=$1 data=$2
  shift 2
  local args=""
  for a in "$@"; do args="$args '$a'"; done
  cat > "$work/$name.sh" << SCRIPT
#!/bin/sh
USETRAIL_DATA='$work/$data' USETRAIL_NOW='$now' TZ=UTC exec '$usetrail'$args > '$work/$name.out' 2> /dev/null
SCRIPT
  chmod +x "$work/$name.sh"
  echo "$work/$name.sh"
}

# pair LABEL A_NAME A_SCRIPT B_NAME B_SCRIPT: both timed in one hyperfine run; prints the
# medians, the spread (min to max) of each, and B / A.
summary=()
pair() {
  local label=$1 a=$2 a_run=$3 b=$4 b_run=$5
  hyperfine --warmup 1 --runs "$runs" --style basic --export-json "$work/$label.json" \
    -n "$a" "$a_run" -n "$b" "$b_run" > /dev/null
  local line
  line=$(jq -r --arg a "$a" --arg b "$b" '
    def row(n): .results[] | select(.command == n) | [.median, .min, .max] | map(. * 1000);
    (row($a)) as $x | (row($b)) as $y |
    "| \($a) | \($x[0] | round) ms (\($x[1] | round) to \($x[2] | round)) | \($b) | \($y[0] | round) ms (\($y[1] | round) to \($y[2] | round)) | \(($y[0] / $x[0]) * 100 | round / 100) |"' \
    "$work/$label.json")
  summary+=("$line")
  echo "$line"
}

# peak SCRIPT: the largest resident size (MiB) over MEM_RUNS runs.
peak() {
  local kib most=0
  for _ in $(seq "$mem_runs"); do
    kib=$(/usr/bin/time -f %M "$1" 2>&1 > /dev/null | tail -1)
    [ "$kib" -gt "$most" ] && most=$kib
  done
  awk -v k="$most" 'BEGIN { printf "%.1f", k / 1024 }'
}

report=$(script report big '*')
entries=$(script entries big /t '*')
overview=$(script overview big /o '*')
users=$(script users big /u '*')
json=$(script json big /t /j '*')
names_overview=$(script names_overview names /o '*')
names_users=$(script names_users names /u '*')

echo "== big: $(find "$work/big" -name '*.db' | wc -l) databases; names: $(find "$work/names" -name '*.db' | wc -l) databases"
pair report_entries 'usetrail *' "$report" 'usetrail /t *' "$entries"
pair overview_users 'usetrail /o *' "$overview" 'usetrail /u *' "$users"
pair entries_json 'usetrail /t *' "$entries" 'usetrail /t /j *' "$json"
pair names 'usetrail /o * (names)' "$names_overview" 'usetrail /u * (names)' "$names_users"

# The outputs agree with each other: as many table lines as report entry lines, and every
# JSON line parses.
entry_lines=$(grep -cE '^[0-9]{4}-[0-9]{2}-[0-9]{2} ' "$work/report.out" || true)
echo "lines: report $entry_lines entries, /t $(($(wc -l < "$work/entries.out") - 1)), /t /j $(jq -c . "$work/json.out" | wc -l), /u $(($(wc -l < "$work/users.out") - 1)) users; names: /u $(($(wc -l < "$work/names_users.out") - 1)) users"

echo "peak RSS (MiB, most of $mem_runs runs): /o $(peak "$overview"), /u $(peak "$users"), /t $(peak "$entries"), /t /j $(peak "$json"); names: /o $(peak "$names_overview"), /u $(peak "$names_users")"

echo
echo "medians of $runs runs (min to max)"
echo "| A | A time | B | B time | B / A |"
echo "|---|---|---|---|---|"
printf '%s\n' "${summary[@]}"
