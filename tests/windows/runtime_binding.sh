#!/usr/bin/env bash
# Runs the Windows program from a folder of its own, with the runtime library
# beside it, on PATH, in the current folder or nowhere; checks the one message
# it shows (framed by blank lines) and its exit status (Wine keeps the low 8
# bits). The library is taken from the program's folder, then from the
# folders of PATH in order, never from the current folder.
# usage: runtime_binding.sh CASE EMULATOR PROGRAM.exe RUNTIMES_DIR STANDIN.dll
set -euo pipefail
case_name=$1 emulator=$2 program=$3 runtimes=$4 standin=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/first" "$work/second"
cp "$program" "$work/bin/usetrail.exe"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

not_found=(
  'The runtime library nnotes.dll was not found in the folder of usetrail.exe or in the folders of PATH (the current folder is not searched).'
  "Put usetrail.exe in the database client's program folder, or add that folder to PATH.")
refused=('The runtime library Z:\\*\\first\\nnotes.dll was found but could not be loaded (Windows error 1114: ?*).')
# The stand-in starts and fails on its own: it was the library loaded.
standin_started=('USETRAIL_DATA is not set: point it at the folder that holds the databases')

# Each case: what lies where as nnotes.dll, the folders on PATH, the exit
# status, the message's lines as patterns.
path=
case $case_name in
  not_found) status=901 lines=("${not_found[@]}") ;;
  only_in_current_folder) cp "$standin" "$work/"; status=901 lines=("${not_found[@]}") ;;
  relative_folder_on_path) cp "$standin" "$work/first/"; path='first;.\first'
    status=901 lines=("${not_found[@]}") ;;
  found_on_path) cp "$standin" "$work/second/"; path="$(winpath "$work/first");$(winpath "$work/second")"
    status=20 lines=("${standin_started[@]}") ;;
  first_folder_on_path_wins) cp "$runtimes/refusing/nnotes.dll" "$work/first/"; cp "$standin" "$work/second/"
    path="$(winpath "$work/first");\"$(winpath "$work/second")\""; status=903 lines=("${refused[@]}") ;;
  quoted_folder_holding_a_semicolon) mkdir "$work/semi;colon"; cp "$standin" "$work/semi;colon/"
    path="first;\"$(winpath "$work/semi;colon")\""; status=20 lines=("${standin_started[@]}") ;;
  program_folder_first) cp "$standin" "$work/bin/"; cp "$runtimes/refusing/nnotes.dll" "$work/first/"
    path=$(winpath "$work/first"); status=20 lines=("${standin_started[@]}") ;;
  not_a_library) echo 'not a library' > "$work/bin/nnotes.dll"; status=902 lines=(
    'The runtime library Z:\\*\\bin\\nnotes.dll that was found is not a 64-bit library (Windows error 193: *nnotes.dll*).'
    'This usetrail.exe is 64-bit and needs the 64-bit runtime library: put it in the program folder of a 64-bit database client, or add that folder to PATH.') ;;
  refuses_to_load) cp "$runtimes/refusing/nnotes.dll" "$work/bin/"; status=903 lines=(
    'The runtime library Z:\\*\\bin\\nnotes.dll was found but could not be loaded (Windows error 1114: ?*).') ;;
  lacks_an_operation) cp "$runtimes/lacking/nnotes.dll" "$work/bin/"; status=904 lines=(
    'The runtime library Z:\\*\\bin\\nnotes.dll has no export number 224 (TimeToText): the installed runtime does not provide an operation that usetrail needs.') ;;
esac

got_status=0
(cd "$work" && env -u WINEPATH -u USETRAIL_DATA ${path:+WINEPATH="$path"} "$emulator" bin/usetrail.exe '*' \
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
