#!/usr/bin/env bash
# Runs one end-to-end case: the built program with the case's arguments and
# environment on the stand-in runtime, its two streams and its exit status
# compared byte for byte with what the case expects.
#
# usage: run_case.sh [--windows EMULATOR] PROGRAM CASE_DIR FIXTURES_DIR
#
# A case is a folder with a file `cmd` of directives, one per line:
#   data NAME        USETRAIL_DATA is fixture folder NAME (default: basic)
#   many N           USETRAIL_DATA is a fresh folder of N one-entry databases
#   servers NAME     USETRAIL_SERVERS is fixture folder NAME
#   env NAME=VALUE   extra environment (USETRAIL_NOW and TZ have defaults)
#   unset NAME       leave NAME out of the environment
#   arg TEXT         one argument, the rest of the line as it stands
#   status N         expected exit status (default 0)
#   only PLATFORM    run only on linux or windows (elsewhere exit 77: skipped)
#   stdout-to PATH   standard output goes to PATH (e.g. /dev/full), not to the capture
#   close-stderr     the program starts with its standard error closed
#   file-limit N     files it writes are cut at N KiB (ulimit -f)
#   stdout-bytes N   expect N bytes of standard output instead of a `stdout` file
#   tab-table        standard output is a table in the tab form: every line has
#                    the header's number of fields, and no text field begins
#                    with a formula lead (=, +, -, @) unguarded
# and the expected `stdout` and `stderr` (a missing file expects nothing).
# On Windows the same files are expected as Windows writes them: the
# folders of database paths separated by "\" (written "\\" in JSON Lines)
# and line ends "\r\n". Where Windows prints something else (text in the
# system's code page), `stdout.win` / `stderr.win` replace the expectations.
set -u

emulator=()
windows=0
if [ "${1:-}" = --windows ]; then
  windows=1
  emulator=("$2")
  shift 2
fi
# A wrapper such as Valgrind, from the environment.
if [ -n "${USETRAIL_E2E_WRAPPER:-}" ]; then
  read -r -a emulator <<< "$USETRAIL_E2E_WRAPPER"
fi
program=$1
case_dir=$2
fixtures=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Paths handed to the program: Windows paths when it runs under the emulator.
native_path() {
  if [ "$windows" = 1 ]; then
    printf 'Z:%s' "${1//\//\\}"
  else
    printf '%s' "$1"
  fi
}

data_dir=$fixtures/basic
servers_dir=
declare -A env_set=([TZ]=UTC [USETRAIL_NOW]="2026-12-07 12:00:00" [USETRAIL_DATA]="$(native_path "$data_dir")")
declare -a env_unset=(USETRAIL_DATA USETRAIL_SERVERS USETRAIL_NOW)
args=()
want_status=0
stdout_to=
close_stderr=0
file_limit=
stdout_bytes=
tab_table=0

while IFS= read -r line || [ -n "$line" ]; do
  directive=${line%% *}
  value=${line#"$directive"}
  value=${value# }
  case $directive in
    ''|'#'*) ;;
    data)
      data_dir=$fixtures/$value
      env_set[USETRAIL_DATA]=$(native_path "$data_dir") ;;
    servers)
      servers_dir=$fixtures/$value
      env_set[USETRAIL_SERVERS]=$(native_path "$servers_dir") ;;
    many)
      mkdir -p "$work/many"
      for ((i = 1; i <= value; i++)); do
        printf -v name 'db%05d' "$i"
        printf '{"title":"Database %d","activity":[{"time":"2026-12-07 08:00:00","reads":%d,"writes":0,"user":"CN=User %d/O=Org"}]}\n' \
          "$i" "$i" "$i" > "$work/many/$name.db"
      done
      data_dir=$work/many
      env_set[USETRAIL_DATA]=$(native_path "$data_dir") ;;
    env) env_set[${value%%=*}]=${value#*=} ;;
    unset) unset "env_set[$value]" ;;
    arg) args+=("$value") ;;
    status) want_status=$value ;;
    stdout-to) stdout_to=$value ;;
    close-stderr) close_stderr=1 ;;
    file-limit) file_limit=$value ;;
    stdout-bytes) stdout_bytes=$value ;;
    tab-table) tab_table=1 ;;
    only)
      platform=linux
      [ "$windows" = 1 ] && platform=windows
      if [ "$value" != "$platform" ]; then echo "only on $value"; exit 77; fi ;;
    *) echo "$case_dir/cmd: unknown directive '$directive'" >&2; exit 2 ;;
  esac
done < "$case_dir/cmd"

env_args=()
for name in "${env_unset[@]}"; do env_args+=(-u "$name"); done
for name in "${!env_set[@]}"; do env_args+=("$name=${env_set[$name]}"); done

out=${stdout_to:-$work/stdout}
: > "$work/stdout"
(
  if [ -n "$file_limit" ]; then
    ulimit -f "$file_limit"
  fi
  if [ "$close_stderr" = 1 ]; then
    exec env "${env_args[@]}" "${emulator[@]}" "$program" "${args[@]}" > "$out" 2>&- < /dev/null
  fi
  exec env "${env_args[@]}" "${emulator[@]}" "$program" "${args[@]}" > "$out" 2> "$work/stderr" < /dev/null
)
status=$?
[ -e "$work/stderr" ] || : > "$work/stderr"

# The folders under the data directories, which Windows separates by "\"
# in the paths it prints.
data_folders() {
  local dir
  for dir in "$data_dir" ${servers_dir:+"$servers_dir"/*/}; do
    [ -d "$dir" ] && (cd "$dir" && find . -mindepth 1 -type d -printf '%P\n')
  done
}

# Turns a POSIX expectation into what Windows writes.
as_windows() {
  FOLDERS=$(data_folders) perl -pi -e '
    BEGIN { @folders = sort { length $b <=> length $a } grep { length } split /\n/, $ENV{FOLDERS} }
    my $sep = /^\{/ ? "\\\\" : "\\";
    for my $folder (@folders) {
      (my $turned = $folder) =~ s{/}{$sep}g;
      s{\Q$folder\E/}{$turned$sep}g;
    }
    s/\n/\r\n/g;' "$1"
}

failed=0
for stream in stdout stderr; do
  if [ "$stream" = stdout ] && [ -n "$stdout_bytes" ]; then
    got=$(wc -c < "$work/stdout")
    if [ "$got" != "$stdout_bytes" ]; then
      echo "--- stdout holds $got bytes, expected $stdout_bytes"
      failed=1
    fi
    continue
  fi
  want="$case_dir/$stream"
  if [ "$windows" = 1 ] && [ -e "$want.win" ]; then
    want="$want.win"
  fi
  if [ -e "$want" ]; then cp "$want" "$work/want.$stream"; else : > "$work/want.$stream"; fi
  if [ "$windows" = 1 ] && [ "$want" = "$case_dir/$stream" ]; then
    as_windows "$work/want.$stream"
  fi
  if ! cmp -s "$work/want.$stream" "$work/$stream"; then
    echo "--- $stream differs (expected, then actual):"
    diff -u "$work/want.$stream" "$work/$stream" | cat -A | head -n 60
    failed=1
  fi
done
# A count may be negative (Days Since); any other field that begins with '-'
# would be run as a formula.
if [ "$tab_table" = 1 ] && ! awk -F'\t' '
    { sub(/\r$/, "") }
    NR == 1 { fields = NF }
    NF != fields { print "--- line " NR " has " NF " fields, the header " fields; bad = 1 }
    { for (i = 1; i <= NF; i++) if ($i ~ /^[=+@-]/ && $i !~ /^-[0-9]+$/) {
        print "--- line " NR ", field " i " begins like a formula: " $i; bad = 1 } }
    END { exit bad }' "$work/stdout"; then
  failed=1
fi
if [ "$status" != "$want_status" ]; then
  echo "--- exit status $status, expected $want_status"
  failed=1
fi
exit $failed
