#!/usr/bin/env bash
# Runs every test: unit and end-to-end tests (g++), the same under
# AddressSanitizer and UndefinedBehaviorSanitizer (clang), the end-to-end
# runs under Valgrind, short fuzzing runs, and the Windows build under Wine.
# The sanitizer build also builds the fuzz targets (run here) and the
# benchmarks (run by hand on the release build), so that each source is
# compiled once per compiler and platform.
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

stage "fuzz targets, short runs (built by asan)"
fuzz/run.sh build/asan short

# What the Windows stage lacks: the installer's own words, and each tool
# that is still missing.
windows_lacks() {
  if [ -s "$1" ]; then
    echo "scripts/install-deps.sh windows said:"
    tail -n 15 "$1" | sed 's/^/  /'
  fi
  command -v x86_64-w64-mingw32-g++-posix > /dev/null ||
    echo "missing: x86_64-w64-mingw32-g++-posix (package g++-mingw-w64-x86-64-posix)"
  [ -x /usr/lib/wine/wine64 ] || echo "missing: /usr/lib/wine/wine64 (package wine64)"
}

if [ -f cmake/toolchain-mingw64.cmake ]; then
  stage "Windows build under Wine"
  install_log=$(mktemp)
  if scripts/install-deps.sh windows > "$install_log" 2>&1 &&
    command -v x86_64-w64-mingw32-g++-posix > /dev/null && [ -x /usr/lib/wine/wine64 ]; then
    rm -f "$install_log"
    cmake --preset win64 > /dev/null
    cmake --build --preset win64
    ctest --preset win64
  elif [ "${USETRAIL_REQUIRE_WINDOWS:-0}" = 1 ]; then
    windows_lacks "$install_log" >&2
    rm -f "$install_log"
    echo "Windows tests cannot run: the mingw-w64 cross compiler or Wine could not be installed." >&2
    exit 1
  else
    windows_lacks "$install_log"
    rm -f "$install_log"
    echo "Windows tests skipped: the mingw-w64 cross compiler or Wine could not be installed."
  fi
fi

stage "all tests passed"
