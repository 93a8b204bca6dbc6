#!/usr/bin/env bash
# A data directory that changes while the program runs: over 1,100 databases
# (two batches), one database is deleted and one created while the first
# batch is printed. The program is held back by a reader of its output that
# stops after the first bytes: a pipe and the program's buffer hold far less
# than the first batch prints, so the change comes after the first search
# and before the second. Every database there from start to end must be
# reported exactly once, in the report and in /o, /t and /u.
# usage: changing_directory.sh PROGRAM
set -u
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=UTC USETRAIL_NOW="2026-12-07 12:00:00"
unset USETRAIL_SERVERS

# The first thousand record no activity, so that /t and /u, which write
# their tables only at the end, tell each of them on standard error as they
# go; long names and titles make every line long, so that the first batch
# prints far more than a pipe and a buffer hold.
title=$(printf 'Database with a long title %.0s' {1..4})
long=$(printf 'x%.0s' {1..150})
mkdir "$work/template"
for ((i = 1; i <= 1100; i++)); do
  printf -v name 'db%04d%s' "$i" "$long"
  if ((i <= 1000)); then
    printf '{"title":"%s %d","recordActivity":false,"activity":[]}\n' "$title" "$i"
  else
    printf '{"title":"%s %d","activity":[{"time":"2026-12-07 08:00:00","reads":1,"writes":0,"user":"CN=User %d/O=Org"}]}\n' \
      "$title" "$i" "$i"
  fi > "$work/template/$name.db"
done
for ((i = 1; i <= 1100; i++)); do printf 'db%04d%s.db\n' "$i" "$long"; done > "$work/expected"
new_db='{"title":"New","activity":[{"time":"2026-12-07 08:00:00","reads":1,"writes":0,"user":"CN=New/O=Org"}]}'

failed=0
# run NAME HELD_STREAM DELETE CREATE ARGS...: HELD_STREAM (1 or 2) is the
# stream read slowly; DELETE and CREATE name the databases changed ("-": none).
run() {
  local name=$1 held=$2 delete=$3 create=$4
  shift 4
  rm -rf "$work/data" "$work/fifo"
  cp -r "$work/template" "$work/data"
  mkfifo "$work/fifo"
  if [ "$held" = 1 ]; then
    USETRAIL_DATA=$work/data "$program" "$@" > "$work/fifo" 2> "$work/other" &
  else
    USETRAIL_DATA=$work/data "$program" "$@" 2> "$work/fifo" > "$work/other" &
  fi
  local pid=$!
  exec 3< "$work/fifo"
  # The first bytes come only once the program has searched and printed
  # much of the first batch; the rest of it cannot be printed before they
  # are read.
  head -c 4096 <&3 > "$work/held"
  [ "$delete" = - ] || rm "$work/data/$delete"
  [ "$create" = - ] || printf '%s\n' "$new_db" > "$work/data/$create"
  cat <&3 >> "$work/held"
  exec 3<&-
  wait "$pid"
  local status=$?
  [ "$status" = 0 ] || { echo "--- $name: exit status $status"; failed=1; }
  # Every path the run names, with how often.
  cat "$work/held" "$work/other" | grep -o 'db[0-9]*[a-z]*\.db' | sort | uniq -c > "$work/counts"
  # Each database there throughout exactly once.
  awk -v deleted="$delete" '
    NR == FNR { seen[$2] = $1; next }
    $0 != deleted && seen[$0] != 1 { print "--- '"$name"': " $0 " reported " (seen[$0] + 0) " times"; bad = 1 }
    END { exit bad }' "$work/counts" "$work/expected" || failed=1
  if awk '$1 > 1' "$work/counts" | grep -q .; then
    echo "--- $name: reported more than once:"; awk '$1 > 1' "$work/counts"; failed=1
  fi
  # In the user table each name comes from one database.
  if [ "$1" = /u ] && grep 'CN=' "$work/other" | awk -F'\t' '$2 != 1' | grep -q .; then
    echo "--- $name: a user counted in more than one database:"
    grep 'CN=' "$work/other" | awk -F'\t' '$2 != 1' | head
    failed=1
  fi
}

# Deleted before the end of the first batch and created after it: the
# second batch must neither lose db1025 nor take the new one twice. Created
# before the end alone: db1024 must not come twice.
for change in "db0005$long.db db1050a.db" '- db0010a.db'; do
  read -r delete create <<< "$change"
  label=${change//$long/}
  run "report ($label)" 1 "$delete" "$create" '*'
  run "/o ($label)" 1 "$delete" "$create" /o '*'
  run "/t ($label)" 2 "$delete" "$create" /t '*'
  run "/u ($label)" 2 "$delete" "$create" /u '*'
done
exit $failed
