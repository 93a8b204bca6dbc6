#!/usr/bin/env bash
# End-to-end timing of `usetrail /i "*"` over generated data directories, side by side with
# the same extraction of every log entry by jq over the same files.
#
#   bench/end_to_end.sh BUILD_DIR [WORK_DIR]
#
# BUILD_DIR holds bin/usetrail and bin/usetrail-sampledata (a Release build). WORK_DIR
# (default /tmp/usetrail-e2e) receives the data directories, which are kept and reused on
# later runs, and the outputs. Two data sets, both with a fixed seed and a fixed "now":
#   big:  2,001 database files: 2,000 with 500 log entries each (1,000,000 entries in all)
#         plus the generator's one database that keeps no log; spread over 8 folders.
#   four: 4 databases of 65,535 entries each plus the one without a log.
# Environment: RUNS (hyperfine runs per command, default 5), MEM_RUNS (peak-memory runs per
# command, default 3).
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BUILD_DIR [WORK_DIR]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
work=${2:-/tmp/usetrail-e2e}
runs=${RUNS:-5}
mem_runs=${MEM_RUNS:-3}
now="2026-12-07 12:00:00"
usetrail=$build/bin/usetrail
sampledata=$build/bin/usetrail-sampledata
filter='.activity[] | [.time, (.reads|tostring), (.writes|tostring), .user] | join("\t")'

for tool in "$usetrail" "$sampledata"; do
  [ -x "$tool" ] || { echo "missing $tool (build the Release tree first)" >&2; exit 1; }
done
for tool in jq hyperfine /usr/bin/time; do
  command -v "$tool" > /dev/null || { echo "missing $tool (apt-get install -y jq hyperfine time)" >&2; exit 1; }
done
mkdir -p "$work"
work=$(cd "$work" && pwd)

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

# measure NAME: times both tools on $work/NAME and checks that they print the same entries.
measure() {
  local name=$1
  local data=$work/$name
  local files
  files=$(cd "$data" && find . -name '*.db' -type f | sed 's|^\./||' | LC_ALL=C sort)
  local nfiles
  nfiles=$(printf '%s\n' "$files" | wc -l)
  local size
  size=$(du -sb "$data" | cut -f1)

  # One script per tool, so that both run the same way under hyperfine and /usr/bin/time.
  local run_usetrail=$work/$name.usetrail.sh run_jq=$work/$name.jq.sh
  cat > "$run_usetrail" << EOF
#!/bin/sh
USETRAIL_DATA='$data' USETRAIL_NOW='$now' TZ=UTC exec '$usetrail' /i '*' > '$work/$name.usetrail.out'
EOF
  {
    echo '#!/bin/sh'
    echo "cd '$data' || exit 1"
    printf "exec jq -r '%s' \\\\\n" "$filter"
    printf '  %s \\\n' $files
    echo "  > '$work/$name.jq.out'"
  } > "$run_jq"
  chmod +x "$run_usetrail" "$run_jq"

  echo "== $name: $nfiles database files, $((size / 1024 / 1024)) MiB of JSON in $data"
  hyperfine --warmup 1 --runs "$runs" --style basic \
    --export-json "$work/$name.hyperfine.json" \
    -n "usetrail /i *" "$run_usetrail" -n "jq" "$run_jq"

  # The same entries, in the same order (the search order is ascending byte order per folder).
  local entries
  entries=$(grep -cE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}	' "$work/$name.usetrail.out" || true)
  if grep -E '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}	' "$work/$name.usetrail.out" |
    cmp -s - "$work/$name.jq.out"; then
    echo "entries: $entries printed by usetrail, identical to jq's $(wc -l < "$work/$name.jq.out") lines"
  else
    echo "entries: usetrail printed $entries, jq $(wc -l < "$work/$name.jq.out"): THE LINES DIFFER"
  fi

  # Peak resident memory of each tool (KiB, as /usr/bin/time reports it).
  local tool script kib all
  for tool in usetrail jq; do
    script=$run_usetrail
    [ "$tool" = jq ] && script=$run_jq
    all=""
    for _ in $(seq "$mem_runs"); do
      kib=$(/usr/bin/time -f %M "$script" 2>&1 > /dev/null | tail -1)
      all="$all $kib"
    done
    echo "peak RSS $tool (KiB, $mem_runs runs):$all"
  done

  # Wall time suffers from whatever else runs on the machine; the CPU time (user + system,
  # means over the runs) is printed beside it.
  jq -r '
    (.results[] | select(.command == "usetrail /i *")) as $u |
    (.results[] | select(.command == "jq")) as $j |
    def ms: . * 1000 | round;
    def ratio(a; b): (a / b * 100 | round) / 100;
    "median wall: usetrail \($u.median | ms) ms, jq \($j.median | ms) ms, " +
    "jq / usetrail = \(ratio($j.median; $u.median))x\n" +
    "mean CPU (user+sys): usetrail \($u.user + $u.system | ms) ms, jq \($j.user + $j.system | ms) ms, " +
    "jq / usetrail = \(ratio($j.user + $j.system; $u.user + $u.system))x"' "$work/$name.hyperfine.json"
}

generate big --databases 2001 --entries 500 --fixed-entries --folders 8
generate four --databases 5 --entries 65535 --fixed-entries --folders 0
measure big
measure four
