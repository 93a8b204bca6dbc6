#!/usr/bin/env bash
# Runs the Windows program from a folder of its own, with the runtime library
# beside it, on PATH, in the current folder or nowhere; checks the one message
# it shows (framed by blank lines), its exit status (Wine keeps the low 8
# bits), and which copies of the libraries the runtime needs left their mark
# (ran). The library is taken from the program's folder, then from the
# folders of PATH in order, never from the current folder, and one of the
# wrong kind is passed over; what it needs comes from its own folder or the
# system's, never from the current folder or PATH.
# usage: runtime_binding.sh CASE EMULATOR PROGRAM.exe RUNTIMES_DIR STANDIN.dll
set -euo pipefail
case_name=$1 emulator=$2 program=$3 runtimes=$4 standin=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/first" "$work/second" "$work/sub"
cp "$program" "$work/bin/usetrail.exe"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# Plants a library where the case names: in the current folder, there and
# reached by PATH=., or in a folder reached by the relative PATH=sub.
plant() {
  case $case_name in
    *_in_current_folder) cp "$1" "$work/" ;;
    *_on_path_dot) cp "$1" "$work/"; path=. ;;
    *) cp "$1" "$work/sub/"; path=sub ;;
  esac
}

not_found=(
  'The runtime library nnotes.dll was not found in the folder of usetrail.exe or in the folders of PATH (the current folder is not searched).'
  "Put usetrail.exe in the database client's program folder, or add that folder to PATH.")
refused=('The runtime library Z:\\*\\first\\nnotes.dll was found but could not be loaded (Windows error 1114: ?*).')
not_64_bit=("This usetrail.exe is 64-bit and needs the 64-bit runtime library: put it in the program folder of a 64-bit database client, or add that folder to PATH.")
# The test runtimes that need a library have no operations: found what they
# need, they are bound and lack the first one.
lacking_first='has no export number * (*): the installed runtime does not provide an operation that usetrail needs.'
needs_helper=('The runtime library Z:\\*\\bin\\nnotes.dll was found, but a library it needs was not (Windows error 126: *).'
  "${not_found[1]}")
plugin_refused=('The runtime library Z:\\*\\bin\\nnotes.dll was found but could not be loaded (Windows error 1114: ?*).')
# The stand-in starts and fails on its own: it was the library loaded.
standin_started=('USETRAIL_DATA is not set: point it at the folder that holds the databases')

# Each case: what lies where as nnotes.dll, the folders on PATH, the exit
# status, the message's lines as patterns, the marks of the libraries that ran.
path= marks=
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
    'The runtime library Z:\\*\\bin\\nnotes.dll that was found is not a 64-bit library (Windows error 193: *nnotes.dll*), and no 64-bit one was found in the folder of usetrail.exe or in the folders of PATH.'
    "${not_64_bit[@]}") ;;
  x86_first_on_path) cp "$runtimes/x86/nnotes.dll" "$work/first/"; cp "$standin" "$work/second/"
    path="$(winpath "$work/first");$(winpath "$work/second")"; status=20 lines=("${standin_started[@]}") ;;
  wrong_kinds_passed_over) echo 'not a library' > "$work/bin/nnotes.dll"
    cp "$runtimes/x86/nnotes.dll" "$work/first/"; cp "$standin" "$work/second/"
    path="$(winpath "$work/first");$(winpath "$work/second")"; status=20 lines=("${standin_started[@]}") ;;
  x86_only) cp "$runtimes/x86/nnotes.dll" "$work/first/"; path="$(winpath "$work/first")"; status=902 lines=(
    'The runtime library Z:\\*\\first\\nnotes.dll that was found is not a 64-bit library (Windows error 193: *), and no 64-bit one was found in the folder of usetrail.exe or in the folders of PATH.'
    "${not_64_bit[@]}") ;;
  wrong_kinds_only) echo 'not a library' > "$work/bin/nnotes.dll"; cp "$runtimes/x86/nnotes.dll" "$work/first/"
    path="$(winpath "$work/first")"; status=902 lines=(
    'The runtime library Z:\\*\\bin\\nnotes.dll that was found is not a 64-bit library (Windows error 193: *), and no 64-bit one was found in the folder of usetrail.exe or in the folders of PATH.'
    "${not_64_bit[@]}") ;;
  # A name the system's code page (1252 here) cannot hold in full reaches a
  # file with '?' for what it lacks, never a look-alike ('L' for 'Ł').
  path_outside_the_code_page) mkdir "$work/Łódź€"; cp "$runtimes/refusing/nnotes.dll" "$work/Łódź€/"
    path=$(winpath "$work/Łódź€"); status=903 lines=(
    'The runtime library Z:\\*\\\?ód\?€\\nnotes.dll was found but could not be loaded (Windows error 1114: ?*).') ;;
  helper_beside_runtime) cp "$runtimes/importing/nnotes.dll" "$runtimes/helper/helper.dll" "$work/first/"
    path=$(winpath "$work/first"); status=904 marks=first/helper.dll.ran
    lines=('The runtime library Z:\\*\\first\\nnotes.dll '"$lacking_first") ;;
  helper_in_current_folder | helper_on_path_dot | helper_on_relative_path)
    cp "$runtimes/importing/nnotes.dll" "$work/bin/"; status=901 lines=("${needs_helper[@]}")
    plant "$runtimes/helper/helper.dll" ;;
  plugin_beside_runtime) cp "$runtimes/loading/nnotes.dll" "$runtimes/plugin/plugin.dll" "$work/first/"
    path=$(winpath "$work/first"); status=904 marks=first/plugin.dll.ran
    lines=('The runtime library Z:\\*\\first\\nnotes.dll '"$lacking_first") ;;
  plugin_in_current_folder | plugin_on_path_dot | plugin_on_relative_path)
    cp "$runtimes/loading/nnotes.dll" "$work/bin/"; status=903 lines=("${plugin_refused[@]}")
    plant "$runtimes/plugin/plugin.dll" ;;
  refuses_to_load) cp "$runtimes/refusing/nnotes.dll" "$work/bin/"; status=903 lines=(
    'The runtime library Z:\\*\\bin\\nnotes.dll was found but could not be loaded (Windows error 1114: ?*).') ;;
  lacks_an_operation) cp "$runtimes/lacking/nnotes.dll" "$work/bin/"; status=904 lines=(
    'The runtime library Z:\\*\\bin\\nnotes.dll has no export number 224 (TimeToText): the installed runtime does not provide an operation that usetrail needs.') ;;
esac

got_status=0
# Wine reads the names of a UTF-8 system; the messages are in code page 1252.
(cd "$work" && env -u WINEPATH -u USETRAIL_DATA LC_ALL=C.UTF-8 ${path:+WINEPATH="$path"} \
  "$emulator" bin/usetrail.exe '*' > out 2> err < /dev/null) || got_status=$?
want=('' "${lines[@]}" '')
mapfile -t got < <(tr -d '\r' < "$work/out" | iconv -f CP1252 -t UTF-8)
failed=0
[ ${#got[@]} = ${#want[@]} ] || failed=1
for i in "${!want[@]}"; do [[ ${got[i]-} == ${want[i]} ]] || failed=1; done
[ "$failed" = 0 ] || { printf '%s\n' '--- expected:' "${want[@]}" '--- shown:'; cat -A "$work/out"; }
[ ! -s "$work/err" ] || { echo '--- standard error:'; cat "$work/err"; failed=1; }
if [ "$got_status" != $((status & 255)) ]; then
  echo "--- exit status $got_status, expected $status (low 8 bits $((status & 255)))"; failed=1
fi
got_marks=$(cd "$work" && find . -name '*.ran' | sed 's|^\./||' | sort | tr '\n' ' ')
if [ "$got_marks" != "${marks:+$marks }" ]; then
  echo "--- libraries that ran: ${got_marks:-none}; expected: ${marks:-none}"; failed=1
fi
exit $failed
