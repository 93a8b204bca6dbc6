#!/usr/bin/env bash
# End-to-end timing of `usetrail /i "*"` over generated data directories, side by side with
# the same extraction of every log entry by jq and by an embedded analytical database
# (DuckDB, from npm) over the same files, with copying the files into one file by `cat`,
# and over data directories of many small databases, to see how the cost grows with them.
#
#   bench/end_to_end.sh BUILD_DIR [WORK_DIR]
#
# BUILD_DIR holds bin/usetrail and bin/usetrail-sampledata (a Release build). WORK_DIR
# (default /tmp/usetrail-e2e) receives the data directories, which are kept and reused on
# later runs, and the outputs. The data sets, all with a fixed seed and a fixed "now":
#   big:   2,001 database files: 2,000 with 500 log entries each (1,000,000 entries in all)
#          plus the generator's one database that keeps no log; spread over 8 folders.
#   four:  4 databases of 65,535 entries each plus the one without a log.
#   2k:    2,000 databases of 20 entries (one of them without a log), over 8 folders.
#   32k:   32,000 databases of 20 entries, the same way.
#   100k:  100,000 databases of 5 entries, the same way.
# Environment: RUNS (timed runs per command, default 5), SCALE_RUNS (timed runs on 2k, 32k
# and 100k, default RUNS), MEM_RUNS (peak-memory runs per command, default 3),
# CALLGRIND (1: also count the instructions of usetrail on 2k and 32k with valgrind),
# DUCKDB_THREADS (default 2), USETRAIL_BENCH_CACHE (where the npm package is installed,
# default ~/.cache/usetrail-bench; never inside the repository).
# The DuckDB column needs node and npm; without them it is skipped with one line.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BUILD_DIR [WORK_DIR]" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=${2:-/tmp/usetrail-e2e}
runs=${RUNS:-5}
scale_runs=${SCALE_RUNS:-$runs}
mem_runs=${MEM_RUNS:-3}
callgrind=${CALLGRIND:-0}
threads=${DUCKDB_THREADS:-2}
cache=${USETRAIL_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/usetrail-bench}
now="2026-12-07 12:00:00"
usetrail=$build/bin/usetrail
sampledata=$build/bin/usetrail-sampledata
filter='.activity[] | [.time, (.reads|tostring), (.writes|tostring), .user] | join("\t")'
entry_line='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}	'

for tool in "$usetrail" "$sampledata"; do
  [ -x "$tool" ] || { echo "missing $tool (build the Release tree first)" >&2; exit 1; }
done
for tool in jq hyperfine /usr/bin/time; do
  command -v "$tool" > /dev/null || { echo "missing $tool (apt-get install -y jq hyperfine time)" >&2; exit 1; }
done
mkdir -p "$work"
work=$(cd "$work" && pwd)

# The npm package goes into a cache folder of the benchmark's own, once.
duck_modules=""
setup_duckdb() {
  if ! command -v node > /dev/null || ! command -v npm > /dev/null; then
    echo "DuckDB column skipped: node and npm are not installed"
    return
  fi
  local folder=$cache/duckdb
  if [ ! -d "$folder/node_modules/@duckdb/node-api" ]; then
    mkdir -p "$folder"
    [ -f "$folder/package.json" ] || echo '{"private": true}' > "$folder/package.json"
    if ! (cd "$folder" && npm install --no-audit --no-fund @duckdb/node-api > "$folder/install.log" 2>&1); then
      echo "DuckDB column skipped: npm could not install @duckdb/node-api (see $folder/install.log)"
      return
    fi
  fi
  duck_modules=$folder/node_modules
}

# generate NAME ARGS...: writes $work/NAME once; a marker beside it makes later runs reuse it.
generate() {
  local name=$1
  shift
  if [ ! -f "$work/$name.complete" ]; then
    rm -rf "${work:?}/$name"
    "$sampledata" --out "$work/$name" --seed 42 --now "$now" "$@"
    echo "$*" > "$work/$name.complete"
  fi
}

# peak SCRIPT: the largest resident size (MiB) over MEM_RUNS runs.
peak() {
  local kib most=0
  for _ in $(seq "$mem_runs"); do
    kib=$(/usr/bin/time -f %M "$@" 2>&1 > /dev/null | tail -1)
    [ "$kib" -gt "$most" ] && most=$kib
  done
  awk -v k="$most" 'BEGIN { printf "%.1f", k / 1024 }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# spread JSON: how far each command's runs lay from its median (hyperfine's export).
spread() {
  jq -r '.results[] | "spread: \(.command): median \(.median * 1000 | floor) ms, runs \(.min * 1000 | floor) to \(.max * 1000 | floor) ms (\(((.max - .min) / .median * 100) | floor)% of the median)"' "$1"
}

summary=()
cat_ratios=()
scale_lines=()

# measure NAME: times the tools on $work/NAME and checks that they print the same entries.
measure() {
  local name=$1
  local data=$work/$name
  local files
  files=$(cd "$data" && find . -name '*.db' -type f | sed 's|^\./||' | LC_ALL=C sort)
  local nfiles
  nfiles=$(printf '%s\n' "$files" | wc -l)
  local size
  size=$(du -sb "$data" | cut -f1)

  # One script per tool, so that all run the same way under hyperfine and /usr/bin/time.
  local run_usetrail=$work/$name.usetrail.sh run_jq=$work/$name.jq.sh run_duck=$work/$name.duckdb.sh
  local run_overview=$work/$name.overview.sh run_cat=$work/$name.cat.sh
  cat > "$run_usetrail" << SCRIPT
#!/bin/sh
USETRAIL_DATA='$data' USETRAIL_NOW='$now' TZ=UTC exec '$usetrail' /i '*' > '$work/$name.usetrail.out'
SCRIPT
  cat > "$run_overview" << SCRIPT
#!/bin/sh
USETRAIL_DATA='$data' USETRAIL_NOW='$now' TZ=UTC exec '$usetrail' /o /i '*' > '$work/$name.overview.out'
SCRIPT
  {
    echo '#!/bin/sh'
    echo "cd '$data' || exit 1"
    printf "exec jq -r '%s' \\\\\n" "$filter"
    printf '  %s \\\n' $files
    echo "  > '$work/$name.jq.out'"
  } > "$run_jq"
  # The floor: the same files, in the same order, copied into one file.
  {
    echo '#!/bin/sh'
    echo "cd '$data' || exit 1"
    echo 'exec cat \'
    printf '  %s \\\n' $files
    echo "  > '$work/$name.cat.out'"
  } > "$run_cat"
  cat > "$run_duck" << SCRIPT
#!/bin/sh
exec node '$here/duckdb_extract.cjs' '$duck_modules' '$data' '$work/$name.duckdb.out' $threads
SCRIPT
  chmod +x "$run_usetrail" "$run_jq" "$run_duck" "$run_overview" "$run_cat"

  echo "== $name: $nfiles database files, $((size / 1024 / 1024)) MiB of JSON in $data"
  hyperfine --warmup 1 --runs "$runs" --style basic \
    --export-json "$work/$name.hyperfine.json" \
    -n "usetrail /i *" "$run_usetrail" -n "usetrail /o /i *" "$run_overview" -n "cat" "$run_cat" \
    -n "jq" "$run_jq"
  local usetrail_ms jq_ms overview_ms cat_ms
  usetrail_ms=$(jq '.results[] | select(.command == "usetrail /i *") | .median * 1000' "$work/$name.hyperfine.json")
  cat_ms=$(jq '.results[] | select(.command == "cat") | .median * 1000' "$work/$name.hyperfine.json")
  spread "$work/$name.hyperfine.json"
  awk -v u="$usetrail_ms" -v c="$cat_ms" \
    'BEGIN { printf "floor: usetrail /i * %.0f ms beside cat of the same files into one file %.0f ms (%.2fx)\n", u, c, u / c }'
  cat_ratios+=("| $name | $(awk -v u="$usetrail_ms" -v c="$cat_ms" 'BEGIN { printf "%.0f ms | %.0f ms | %.2f", u, c, u / c }') |")
  jq_ms=$(jq '.results[] | select(.command == "jq") | .median * 1000' "$work/$name.hyperfine.json")
  overview_ms=$(jq '.results[] | select(.command == "usetrail /o /i *") | .median * 1000' "$work/$name.hyperfine.json")
  # The overview reads the same logs and writes one line per database.
  awk -v o="$overview_ms" -v u="$usetrail_ms" -v n="$(($(wc -l < "$work/$name.overview.out") - 1))" \
    'BEGIN { printf "overview: usetrail /o /i * %.0f ms for %d lines, beside the full report %.0f ms (%.2fx)\n", o, n, u, o / u }'

  # The same entries, in the same order (the search order is ascending byte order per folder).
  local entries
  entries=$(grep -cE "$entry_line" "$work/$name.usetrail.out" || true)
  if grep -E "$entry_line" "$work/$name.usetrail.out" | cmp -s - "$work/$name.jq.out"; then
    echo "entries: $entries printed by usetrail, identical to jq's $(wc -l < "$work/$name.jq.out") lines"
  else
    echo "entries: usetrail printed $entries, jq $(wc -l < "$work/$name.jq.out"): THE LINES DIFFER"
  fi

  # DuckDB: the query's own time inside the process (the process itself starts node and
  # loads the library first), a warm-up run and RUNS timed ones.
  local duck_ms="" duck_process_ms="" duck_peak=""
  if [ -n "$duck_modules" ]; then
    "$run_duck" > /dev/null
    duck_ms=$(for _ in $(seq "$runs"); do "$run_duck"; done | median)
    hyperfine --warmup 0 --runs 3 --style none --export-json "$work/$name.duckdb.json" "$run_duck" > /dev/null
    duck_process_ms=$(jq '.results[0].median * 1000' "$work/$name.duckdb.json")
    # Its file order is its own: the lines are compared sorted.
    if cmp -s <(grep -E "$entry_line" "$work/$name.usetrail.out" | LC_ALL=C sort) \
      <(LC_ALL=C sort "$work/$name.duckdb.out"); then
      echo "entries: DuckDB wrote the same $(wc -l < "$work/$name.duckdb.out") lines (compared sorted)"
    else
      echo "entries: DuckDB wrote $(wc -l < "$work/$name.duckdb.out") lines: THE LINES DIFFER"
    fi
    duck_peak=$(peak "$run_duck")
  fi

  local usetrail_peak jq_peak
  usetrail_peak=$(peak "$run_usetrail")
  jq_peak=$(peak "$run_jq")
  echo "peak RSS (MiB, most of $mem_runs runs): usetrail $usetrail_peak, jq $jq_peak${duck_peak:+, DuckDB process $duck_peak}"

  local line
  line=$(awk -v n="$name" -v u="$usetrail_ms" -v j="$jq_ms" -v d="$duck_ms" -v p="$duck_process_ms" \
    -v up="$usetrail_peak" 'BEGIN {
      printf "| %s | %.0f ms | ", n, u
      if (d != "") printf "%.0f ms (process %.0f ms) | %.2f | ", d, p, u / d; else printf "- | - | "
      printf "%.0f ms | %.1fx | %s MiB |", j, j / u, up }')
  summary+=("$line")
  echo "$line"
}

# scale NAME COUNT [count]: usetrail over many small databases, printing every entry and
# matching nothing; the time per database, the peak memory, and with CALLGRIND=1 and a
# third argument "count", the instructions.
declare -A per_db_ms per_db_instructions
scale() {
  local name=$1 count=$2 count_instructions=${3:-}
  local data=$work/$name
  local run_all=$work/$name.usetrail.sh run_none=$work/$name.nomatch.sh
  cat > "$run_all" << SCRIPT
#!/bin/sh
USETRAIL_DATA='$data' USETRAIL_NOW='$now' TZ=UTC exec '$usetrail' /i '*' > '$work/$name.usetrail.out'
SCRIPT
  cat > "$run_none" << SCRIPT
#!/bin/sh
USETRAIL_DATA='$data' USETRAIL_NOW='$now' TZ=UTC exec '$usetrail' /i 'no such database' > '$work/$name.nomatch.out'
SCRIPT
  chmod +x "$run_all" "$run_none"
  echo "== $name: $count databases in $data"
  hyperfine --warmup 1 --runs "$scale_runs" --style basic --export-json "$work/$name.hyperfine.json" \
    -n "usetrail /i *" "$run_all" -n "usetrail nomatch" "$run_none"
  spread "$work/$name.hyperfine.json"
  local all_ms none_ms peak_mib instructions=""
  all_ms=$(jq '.results[] | select(.command == "usetrail /i *") | .median * 1000' "$work/$name.hyperfine.json")
  none_ms=$(jq '.results[] | select(.command == "usetrail nomatch") | .median * 1000' "$work/$name.hyperfine.json")
  peak_mib=$(peak "$run_all")
  per_db_ms[$name]=$(awk -v t="$all_ms" -v n="$count" 'BEGIN { printf "%.6f", t / n }')
  if [ "$callgrind" = 1 ] && [ "$count_instructions" = count ] && command -v valgrind > /dev/null; then
    USETRAIL_DATA=$data USETRAIL_NOW=$now TZ=UTC valgrind --tool=callgrind \
      --callgrind-out-file="$work/$name.callgrind" "$usetrail" /i '*' 2> "$work/$name.callgrind.log" > /dev/null
    instructions=$(sed -n 's/.*refs: *//p' "$work/$name.callgrind.log" | tr -d ,)
    per_db_instructions[$name]=$(awk -v i="$instructions" -v n="$count" 'BEGIN { printf "%.1f", i / n }')
  fi
  local line
  line=$(awk -v n="$name" -v c="$count" -v a="$all_ms" -v z="$none_ms" -v p="$peak_mib" -v i="$instructions" 'BEGIN {
    printf "| %s | %d | %.0f ms | %.1f us | %.0f ms | %s MiB | ", n, c, a, a * 1000 / c, z, p
    if (i != "") printf "%.0f |", i / c; else printf "- |" }')
  scale_lines+=("$line")
  echo "$line"
}

setup_duckdb
generate big --databases 2001 --entries 500 --fixed-entries --folders 8
generate four --databases 5 --entries 65535 --fixed-entries --folders 0
generate 2k --databases 2000 --entries 20 --fixed-entries --folders 8
generate 32k --databases 32000 --entries 20 --fixed-entries --folders 8
generate 100k --databases 100000 --entries 5 --fixed-entries --folders 8
measure big
measure four
scale 2k 2000 count
scale 32k 32000 count
scale 100k 100000

echo
echo "medians of $runs runs; usetrail is the whole process, DuckDB its query ($threads threads)"
echo "| data | usetrail /i * | DuckDB query | usetrail / DuckDB | jq | jq / usetrail | usetrail peak |"
echo "|---|---|---|---|---|---|---|"
printf '%s\n' "${summary[@]}"
echo
echo "the floor: cat of the same files, in the same order, into one file"
echo "| data | usetrail /i * | cat | usetrail / cat |"
echo "|---|---|---|---|"
printf '%s\n' "${cat_ratios[@]}"
echo
echo "many small databases, medians of $scale_runs runs (per database: usetrail /i * over the count)"
echo "| data | databases | usetrail /i * | per database | usetrail nomatch | peak | instructions per database |"
echo "|---|---|---|---|---|---|---|"
printf '%s\n' "${scale_lines[@]}"
awk -v a="${per_db_ms[2k]}" -v b="${per_db_ms[32k]}" \
  'BEGIN { printf "per-database time, 32,000 over 2,000: %.2f\n", b / a }'
if [ -n "${per_db_instructions[2k]:-}" ]; then
  awk -v a="${per_db_instructions[2k]}" -v b="${per_db_instructions[32k]}" \
    'BEGIN { printf "per-database instructions, 32,000 over 2,000: %.3f\n", b / a }'
fi
