#!/usr/bin/env bash
# Makes the Windows package and checks that it holds the program and the
# README and no DLL (the runtime comes with the database client).
# usage: package_zip.sh BUILD_DIR
set -euo pipefail
build=$1
cd "$build"
cpack -G ZIP > cpack.log 2>&1 || { cat cpack.log; exit 1; }
zip=$(ls usetrail-*-win64.zip)
listing=$(cmake -E tar tf "$zip")
echo "$zip:"; echo "$listing"
grep -qx 'usetrail.exe' <<< "$listing" || { echo "usetrail.exe missing"; exit 1; }
grep -qx 'README.md' <<< "$listing" || { echo "README.md missing"; exit 1; }
if grep -qi '\.dll$' <<< "$listing"; then echo "the package holds a DLL"; exit 1; fi
