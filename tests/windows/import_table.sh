#!/usr/bin/env bash
# Checks how the Windows program and the stand-in DLL meet: the program does
# not import nnotes.dll at all (it binds at start-up, by number), and the
# stand-in exports exactly the numbers of the list of operations, no names.
# usage: import_table.sh OBJDUMP PROGRAM.exe NNOTES.dll runtime_operations.h
set -euo pipefail
objdump=$1 program=$2 dll=$3 list=$4

want=$(grep -oE 'X\( *[A-Za-z0-9]+ *, *[0-9]+ *\)' "$list" | grep -oE '[0-9]+' | sort -n)
[ -n "$want" ] || { echo "no operations found in $list"; exit 1; }

imported=$("$objdump" -p "$program" | grep -E 'DLL Name:' || true)
if grep -qi 'nnotes' <<< "$imported"; then
  echo "the program imports the runtime library:"; echo "$imported"; exit 1
fi

exports=$("$objdump" -p "$dll")
named=$(grep -E '\[Name Pointer/Ordinal\] Table' <<< "$exports" | awk '{ print $NF }')
if [ "$named" != "00000000" ]; then
  echo "nnotes.dll exports names ($named)"; exit 1
fi
exported=$(sed -n '/^Export Address Table -- /,/^$/p' <<< "$exports" |
  grep -oE '\+base\[ *[0-9]+\]' | grep -oE '[0-9]+' | sort -n)
if [ "$exported" != "$want" ]; then
  echo "nnotes.dll exports numbers that differ from the list of operations:"
  diff <(echo "$want") <(echo "$exported") || true
  exit 1
fi
echo "no import of nnotes.dll; the stand-in exports $(wc -l <<< "$want") numbers, no names"
