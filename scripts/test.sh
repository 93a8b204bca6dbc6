#!/usr/bin/env bash
# Runs every test: unit and end-to-end tests (g++), the same under
# AddressSanitizer and UndefinedBehaviorSanitizer (clang), the end-to-end
# runs under Valgrind, short fuzzing runs, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

stage() { printf '\n=== %s ===\n' "$*"; }

scripts/install-deps.sh core test

stage "unit and end-to-end tests (g++)"
cmake --preset dev > /dev/null
cmake --build --preset dev
ctest --preset dev

stage "the same under AddressSanitizer and UndefinedBehaviorSanitizer (clang)"
cmake --preset asan > /dev/null
cmake --build --preset asan
ctest --preset asan

stage "end-to-end runs under Valgrind memcheck"
vglogs=$(mktemp -d)
USETRAIL_E2E_WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite --log-file=$vglogs/%p.log" \
  ctest --preset dev -R '^e2e\.'
rm -rf "$vglogs"

if [ -f fuzz/CMakeLists.txt ]; then
  stage "fuzz targets, short runs"
  cmake --preset fuzz > /dev/null
  cmake --build --preset fuzz
  fuzz/run.sh build/fuzz short
fi

if [ -f cmake/toolchain-mingw64.cmake ]; then
  stage "Windows build under Wine"
  if scripts/install-deps.sh windows > /dev/null 2>&1 && command -v x86_64-w64-mingw32-g++-posix > /dev/null &&
    [ -x /usr/lib/wine/wine64 ]; then
    cmake --preset win64 > /dev/null
    cmake --build --preset win64
    ctest --preset win64
  elif [ "${USETRAIL_REQUIRE_WINDOWS:-0}" = 1 ]; then
    echo "Windows tests cannot run: the mingw-w64 cross compiler or Wine could not be installed." >&2
    exit 1
  else
    echo "Windows tests skipped: the mingw-w64 cross compiler or Wine could not be installed."
  fi
fi

stage "all tests passed"
