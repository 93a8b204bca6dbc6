#!/usr/bin/env bash
# Runs the Windows program from a folder of its own, with nothing else on the
# search path, where nnotes.dll cannot be bound; checks the one message it
# shows (framed by blank lines) and its exit status (Wine keeps the low 8 bits).
# usage: runtime_binding.sh CASE EMULATOR PROGRAM.exe RUNTIMES_DIR
set -euo pipefail
case_name=$1 emulator=$2 program=$3 runtimes=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cp "$program" "$work/bin/usetrail.exe"

# Each case: what lies beside the program as nnotes.dll, the exit status, the
# message's lines as patterns.
case $case_name in
  not_found) status=901 lines=(
    'The runtime library nnotes.dll, or a library it needs, was not found (Windows error 126: ?*).'
    "Run usetrail from the database client's program folder, or add that folder to PATH.") ;;
  not_a_library) echo 'not a library' > "$work/bin/nnotes.dll"; status=902 lines=(
    'The runtime library nnotes.dll that was found is not a 64-bit library (Windows error 193: *nnotes.dll*).'
    'This usetrail.exe is 64-bit and needs the 64-bit runtime library: run it from the program folder of a 64-bit database client.') ;;
  refuses_to_load) cp "$runtimes/refusing/nnotes.dll" "$work/bin/"; status=903 lines=(
    'The runtime library nnotes.dll was found but could not be loaded (Windows error 1114: ?*).') ;;
  lacks_an_operation) cp "$runtimes/lacking/nnotes.dll" "$work/bin/"; status=904 lines=(
    'The runtime library Z:\\*\\bin\\nnotes.dll has no export number 224 (TimeToText): the installed runtime does not provide an operation that usetrail needs.') ;;
esac

got_status=0
(cd "$work" && env -u WINEPATH -u USETRAIL_DATA "$emulator" bin/usetrail.exe '*' \
  > out 2> err < /dev/null) || got_status=$?
want=('' "${lines[@]}" '')
mapfile -t got < <(tr -d '\r' < "$work/out")
failed=0
[ ${#got[@]} = ${#want[@]} ] || failed=1
for i in "${!want[@]}"; do [[ ${got[i]-} == ${want[i]} ]] || failed=1; done
[ "$failed" = 0 ] || { printf '%s\n' '--- expected:' "${want[@]}" '--- shown:'; cat -A "$work/out"; }
[ ! -s "$work/err" ] || { echo '--- standard error:'; cat "$work/err"; failed=1; }
if [ "$got_status" != $((status & 255)) ]; then
  echo "--- exit status $got_status, expected $status (low 8 bits $((status & 255)))"; failed=1
fi
exit $failed
