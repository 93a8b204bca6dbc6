#!/usr/bin/env bash
# Checks that the Windows program binds to nnotes.dll by export number only:
# its import table lists exactly the numbers of the module-definition file,
# with no names, and the stand-in DLL exports those numbers without names.
# usage: import_table.sh OBJDUMP PROGRAM.exe NNOTES.dll NNOTES.def
set -euo pipefail
objdump=$1 program=$2 dll=$3 def=$4

want=$(grep -oE '@[0-9]+' "$def" | tr -d @ | sort -n)

imports=$("$objdump" -p "$program" | awk '
  /DLL Name:/ { inside = ($3 == "nnotes.dll"); next }
  inside && NF == 0 { inside = 0 }
  inside && $1 ~ /^[0-9a-f]+$/ { print $2, $3 }')
names=$(awk '$2 != "<none>"' <<< "$imports")
if [ -n "$names" ]; then
  echo "imports from nnotes.dll by name:"; echo "$names"; exit 1
fi
got=$(while read -r number _; do echo $((16#$number)); done <<< "$imports" | sort -n)
if [ "$got" != "$want" ]; then
  echo "imported numbers differ from the module-definition file:"
  diff <(echo "$want") <(echo "$got") || true
  exit 1
fi

exports=$("$objdump" -p "$dll")
named=$(grep -E '\[Name Pointer/Ordinal\] Table' <<< "$exports" | awk '{ print $NF }')
if [ "$named" != "00000000" ]; then
  echo "nnotes.dll exports names ($named)"; exit 1
fi
exported=$(sed -n '/^Export Address Table -- /,/^$/p' <<< "$exports" |
  grep -oE '\+base\[ *[0-9]+\]' | grep -oE '[0-9]+' | sort -n)
if [ "$exported" != "$want" ]; then
  echo "nnotes.dll exports numbers that differ from the module-definition file:"
  diff <(echo "$want") <(echo "$exported") || true
  exit 1
fi
echo "$(wc -l <<< "$got") operations imported by number, none by name"
