#!/usr/bin/env bash
# Runs the Windows program against the second runtime (second_runtime.cc),
# which was written from the description of the runtime's operations alone
# and records every call. Checks the program's output against the case's
# expected file byte for byte (every database the runtime offers, in code
# page 1252 with "\r\n" line ends), and the record: no FAULT (a call on
# handle 0, an argument slot that is not whole and right, a block left
# locked or not freed), and the lines the case names.
# usage: second_runtime.sh CASE EMULATOR PROGRAM.exe RUNTIME.dll EXPECTED_DIR
set -euo pipefail
case_name=$1 emulator=$2 program=$3 runtime=$4 expected=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cp "$program" "$work/bin/usetrail.exe"
cp "$runtime" "$work/bin/nnotes.dll"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export SECOND_RUNTIME_RECORD="Z:${work//\//\\}\\record.txt"
unset SECOND_RUNTIME_FAIL_START SECOND_RUNTIME_BEST_FIT

# Each case: the arguments (the first is the runtime's own, which its
# argument vector leaves out), the exit status, and lines the record holds.
status=0
case $case_name in
  report) args=('=second.ini' /i '*')
    lines=('DbSearch handle=0x0000000080000100 formula=0x0000000000000000 searchFlags=0x0000000000000006 classMask=0x0000000000006002'
           'TimeAdjust days=0x0000000000000000'
           'TimeAdjust days=0x0000000000004e20'
           'DbGetUserActivity handle=0x0000000080000103 flags=0x0000000000000000'
           'MemFree handle=0x00000000c0000100'
           'LoadStatusString module=0x0000000000000000 code=0x000000000000040d size=0x00000000000000ff'
           'TimeToText size=0x0000000000000050'
           'RuntimeReleaseArgs argc=0x0000000000000003') ;;
  overview) args=(/o /c /s:7 /e:1 '*')
    lines=('TimeAdjust days=0xfffffffffffffff9' 'TimeAdjust days=0xffffffffffffffff'
           'RuntimeEnterMain argc=0x0000000000000006 reserved1=0x0000000000000000') ;;
  filter) args=('/f:*Müller*' '=second.ini' '*')
    lines=('RuntimeTakeArgs argc=0x0000000000000004' 'StoredStructSize type=0x0000000000000012') ;;
  # "Ā" is not in code page 1252; best fit hands back "/f:*Ann*", which would
  # match Ann Lee.
  best_fit) args=('/f:*Ānn*' '=second.ini' '*'); export SECOND_RUNTIME_BEST_FIT=1
    lines=('RuntimeTakeArgs arg=/f:*Ann*' 'RuntimeReleaseArgs argc=0x0000000000000003') ;;
  century) args=(/o /i /j 'archiv*')
    lines=('TimeAdjust days=0x0000000000004e20') ;;
  failed_start) args=('*'); export SECOND_RUNTIME_FAIL_START=1; status=77
    lines=('StartupStatusText status=0x00000000000001a5 size=0x00000000000000ff') ;;
esac

got_status=0
(cd "$work" && "$emulator" bin/usetrail.exe "${args[@]}" > out 2> err < /dev/null) || got_status=$?
failed=0
if ! cmp -s "$expected/$case_name.txt" "$work/out"; then
  echo "--- output differs (expected, then shown):"
  diff <(iconv -f cp1252 -t utf-8 "$expected/$case_name.txt" | cat -A) \
    <(iconv -f cp1252 -t utf-8 "$work/out" | cat -A) | head -n 60
  failed=1
fi
# Standard error is empty, or what the case's .err file holds.
if [ -f "$expected/$case_name.err" ]; then
  cmp -s "$expected/$case_name.err" "$work/err" \
    || { echo '--- standard error (expected, then shown):'; cat "$expected/$case_name.err" "$work/err"; failed=1; }
elif [ -s "$work/err" ]; then
  echo '--- standard error:'; cat "$work/err"; failed=1
fi
[ "$got_status" = "$status" ] || { echo "--- exit status $got_status, expected $status"; failed=1; }
if [ ! -s "$work/record.txt" ]; then
  echo '--- the runtime wrote no record'
  failed=1
else
  if grep '^FAULT' "$work/record.txt"; then failed=1; fi
  for line in "${lines[@]}"; do
    grep -qxF -- "$line" "$work/record.txt" || { echo "--- not in the record: $line"; failed=1; }
  done
fi
[ "$failed" = 0 ] || { echo '--- record:'; cat "$work/record.txt"; }
exit $failed
