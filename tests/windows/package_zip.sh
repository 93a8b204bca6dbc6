#!/usr/bin/env bash
# Makes the Windows package and checks that it holds the program, without
# symbols, and the README, and no DLL (the runtime comes with the database
# client).
# usage: package_zip.sh BUILD_DIR OBJDUMP
set -euo pipefail
build=$1 objdump=$2
cd "$build"
cpack -G ZIP > cpack.log 2>&1 || { cat cpack.log; exit 1; }
zip=$(ls usetrail-*-win64.zip)
listing=$(cmake -E tar tf "$zip")
echo "$zip:"; echo "$listing"
grep -qx 'usetrail.exe' <<< "$listing" || { echo "usetrail.exe missing"; exit 1; }
grep -qx 'README.md' <<< "$listing" || { echo "README.md missing"; exit 1; }
if grep -qi '\.dll$' <<< "$listing"; then echo "the package holds a DLL"; exit 1; fi

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
(cd "$unpacked" && cmake -E tar xf "$build/$zip" usetrail.exe)
if "$objdump" -h "$unpacked/usetrail.exe" | grep -q '\.debug_'; then
  echo "usetrail.exe has debug sections"; exit 1
fi
echo "usetrail.exe: $(wc -c < "$unpacked/usetrail.exe") bytes, no debug sections"
