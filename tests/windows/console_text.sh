#!/usr/bin/env bash
# Runs the Windows program on a console (a pseudo-terminal, which is what a
# console is under Wine) over data whose names hold characters outside ASCII,
# and checks that the screen shows them as they are: the runtime's text is in
# the system's code page, which a console would otherwise read in its own.
# usage: console_text.sh EMULATOR PROGRAM.exe FIXTURES_DIR REFUSING_RUNTIME.dll
set -euo pipefail
emulator=$1 program=$2 fixtures=$3 refusing=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC USETRAIL_NOW="2026-12-07 12:00:00"
data="Z:${fixtures//\//\\}\\codepage"
export USETRAIL_DATA="$data"
unset USETRAIL_SERVERS
# Wine's own service processes start with the first program that needs
# them and keep its streams: that must not be the terminal.
"$emulator" "$program" '/?' > /dev/null

# What the terminal shows, as text: cursor movements between the characters
# become one blank each, other control sequences and carriage returns go.
# It runs `console_program` with the settings `console_env` adds.
console_program=$program console_env=()
on_console() {
  # Wide enough that no line wraps.
  { echo 'stty cols 250 rows 60'
    printf '%q ' env "${console_env[@]}" "$emulator" "$console_program" "$@"; } > "$work/run.sh"
  USETRAIL_WINE_CONSOLE=1 script -qfc "bash $work/run.sh" "$work/typescript" \
    < /dev/null > /dev/null
  sed -e 's/\x1b\[[0-9]*C/ /g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\r//g' "$work/typescript"
}

failed=0
expect() {  # expect LABEL SCREEN TEXT...
  local label=$1 screen=$2
  shift 2
  for text in "$@"; do
    if ! grep -qF -- "$text" <<< "$screen"; then
      echo "--- $label: the console does not show: $text"
      failed=1
    fi
  done
}

screen=$(on_console /i '*')
expect 'report' "$screen" 'Activity for database: Akten Größe\Grün.db' \
  'CN=Jürgen Müller/O=Acme' 'CN=Zoë Adams/O=Acme' 'CN=?ukasz Nowak/O=Acme'

screen=$(on_console '/f:*Łukasz*' 'kunden*')
expect 'warning' "$screen" \
  "The user filter \"/f:*?ukasz*\" holds characters that the system's code page cannot hold: it matches no user name."

screen=$(on_console /o '*Größe*')
expect 'overview' "$screen" 'Akten Größe\Grün.db Grünflächen'

# JSON Lines are UTF-8, and are shown as such.
screen=$(on_console /u /j '*')
expect 'JSON Lines' "$screen" '{"user":"CN=Jürgen Müller/O=Acme"'

# Long names of characters outside ASCII: JSON Lines leave the writer in
# pieces of 4,096 bytes, which cut characters in two, and a text line over
# 64 KiB is longer than any room the writer formats in. Every character must
# reach the screen whole: nothing but Ж outside ASCII, no U+FFFD. This needs
# a system code page whose raw bytes the console would show as other
# characters: Russian (1251), from a locale built here.
only_zhe() {  # only_zhe LABEL SCREEN
  local others count
  others=$(grep -oP '[^\x00-\x7f]' <<< "$2" | grep -v 'Ж' | sort | uniq -c | head -5 || true)
  count=$(grep -o 'Ж' <<< "$2" | wc -l)
  # The console may draw a wrapped line's end again: at least every one.
  if [ -n "$others" ] || [ "$count" -lt 76000 ]; then
    echo "--- $1: $count × Ж, and besides:" $others
    failed=1
  fi
}
if command -v localedef > /dev/null && [ -e /usr/share/i18n/locales/ru_RU ] &&
  localedef -i ru_RU -f UTF-8 "$work/ru_RU.UTF-8" > /dev/null 2>&1; then
  zhe=$(printf 'Ж%.0s' {1..70000})
  mkdir "$work/long"
  { printf '{"title": "Long names", "activity": [\n'
    printf '{"time": "2026-12-07 11:00:00", "reads": 1, "writes": 1, "user": "CN=%s/O=Acme"},\n' \
      "${zhe:0:3000}" "x${zhe:0:3000}"
    printf '{"time": "2026-12-07 11:00:02", "reads": 1, "writes": 1, "user": "CN=%s"}]}\n' "$zhe"
  } > "$work/long/long.db"
  export USETRAIL_DATA="Z:${work//\//\\}\\long"
  console_env=("LOCPATH=$work" LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8)
  only_zhe 'JSON Lines of long names' "$(on_console /j '*')"
  only_zhe 'lines over 64 KiB' "$(on_console '*')"
  only_zhe 'lines over 64 KiB, comma form' "$(on_console /c '*')"
  console_env=()
else
  echo "no locale sources for ru_RU (Debian package locales): long names left out"
fi

# A loading message names the library by its path as it is, a name the
# system's code page (1252) cannot hold.
mkdir -p "$work/bin" "$work/Łódź€"
cp "$program" "$work/bin/usetrail.exe"
cp "$refusing" "$work/Łódź€/nnotes.dll"
console_program=$work/bin/usetrail.exe console_env=("WINEPATH=Z:${work//\//\\}\\Łódź€")
screen=$(on_console '*')
expect 'loading message' "$screen" "\\Łódź€\\nnotes.dll was found but could not be loaded"

[ "$failed" = 0 ] || { echo '--- the last screen:'; printf '%s\n' "$screen"; }
exit $failed
