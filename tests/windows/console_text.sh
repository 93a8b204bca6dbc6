#!/usr/bin/env bash
# Runs the Windows program on a console (a pseudo-terminal, which is what a
# console is under Wine) over data whose names hold characters outside ASCII,
# and checks that the screen shows them as they are: the runtime's text is in
# the system's code page, which a console would otherwise read in its own.
# usage: console_text.sh EMULATOR PROGRAM.exe FIXTURES_DIR
set -euo pipefail
emulator=$1 program=$2 fixtures=$3
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
on_console() {
  # Wide enough that no line wraps.
  { echo 'stty cols 250 rows 60'; printf '%q ' "$emulator" "$program" "$@"; } > "$work/run.sh"
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

[ "$failed" = 0 ] || { echo '--- the last screen:'; printf '%s\n' "$screen"; }
exit $failed
