#!/usr/bin/env bash
# Runs the Windows program, or its unit tests, on a Japanese system: Wine
# takes the ANSI code page 932 from a ja_JP locale, which is built here from
# the system's locale sources (only C.UTF-8 is installed), so that the
# command line still arrives as UTF-8.
# usage: code_page_932.sh cases EMULATOR PROGRAM.exe FIXTURES_DIR CASES_DIR CASE...
#        code_page_932.sh unit EMULATOR UNIT_TESTS.exe GTEST_FILTER
# The cases are end-to-end cases of the Linux program (arguments and the
# expected standard output); here their output, in code page 932, must be
# the same text.
set -euo pipefail
mode=$1 emulator=$2 program=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! command -v localedef > /dev/null || [ ! -e /usr/share/i18n/locales/ja_JP ]; then
  echo "no locale sources for ja_JP (Debian package locales)"
  exit 77
fi
mkdir "$work/locales"
localedef -i ja_JP -f UTF-8 "$work/locales/ja_JP.UTF-8" > /dev/null 2>&1 || [ -d "$work/locales/ja_JP.UTF-8" ]
export LOCPATH=$work/locales LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8
export TZ=UTC USETRAIL_NOW="2026-12-07 12:00:00"
unset USETRAIL_SERVERS

if [ "$mode" = unit ]; then
  exec "$emulator" "$program" --gtest_filter="$4"
fi

fixtures=$4 cases=$5
shift 5
failed=0
for name in "$@"; do
  args=()
  data=basic
  while IFS= read -r line; do
    case $line in
      arg\ *) args+=("${line#arg }") ;;
      data\ *) data=${line#data } ;;
    esac
  done < "$cases/$name/cmd"
  USETRAIL_DATA="Z:${fixtures//\//\\}\\$data" "$emulator" "$program" "${args[@]}" \
    > "$work/out" 2> "$work/err"
  iconv -f CP932 -t UTF-8 "$work/out" | tr -d '\r' > "$work/text"
  if ! cmp -s "$cases/$name/stdout" "$work/text" || [ -s "$work/err" ]; then
    echo "--- $name differs (expected, then actual):"
    diff -u "$cases/$name/stdout" "$work/text" || true
    cat "$work/err"
    failed=1
  fi
done

# A title of 254 T's, then サ (83 54): the cut falls before サ, so JSON Lines
# give the T's alone, and no view splits the character.
mkdir "$work/data"
printf '{"title":"%s","activity":[{"time":"2026-12-06 10:30:00","reads":1,"writes":0,"user":"CN=A/O=B"}]}\n' \
  "$(printf 'T%.0s' {1..254})サ and more" > "$work/data/long.db"
export USETRAIL_DATA="Z:${work//\//\\}\\data"
want="\"title\":\"$(printf 'T%.0s' {1..254})\","
if ! "$emulator" "$program" /j '*' | grep -qF -- "$want"; then
  echo "--- /j does not give the title as 254 T's"
  failed=1
fi
for view in /o /t; do
  "$emulator" "$program" "$view" '*' > "$work/out"
  if ! iconv -f CP932 -t UTF-8 "$work/out" > /dev/null 2>&1; then
    echo "--- $view splits a character of the title"
    failed=1
  fi
done
exit $failed
