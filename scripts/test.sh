#!/usr/bin/env bash
# Runs every test: unit and end-to-end tests (g++), the same under
# AddressSanitizer and UndefinedBehaviorSanitizer (clang), the end-to-end
# runs under Valgrind, short fuzzing runs of the fuzz targets that the
# sanitizer build makes, and the Windows build under Wine. Each source is
# compiled once per compiler and platform; the benchmarks are built by the
# release preset, where they are run.
set -euo pipefail
cd "$(dirname "$0")/.."

stage() { printf '\n=== %s ===\n' "$*"; }
timings=()
timed() { # NAME COMMAND...: runs the command and keeps how long it took
  local name=$1 start=$SECONDS status=0
  shift
  "$@" || status=$?
  timings+=("$(printf '%4d s  %s' $((SECONDS - start)) "$name")")
  return $status
}
# What runs in the background stops with the script.
trap 'kill $(jobs -p) 2> /dev/null || true' EXIT

scripts/install-deps.sh core test

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

# The Windows toolchain comes first, so that Wine makes its prefix (some
# 15 s, most of it waiting) while the Linux builds compile.
windows=none
if [ -f cmake/toolchain-mingw64.cmake ]; then
  install_log=$(mktemp)
  if scripts/install-deps.sh windows > "$install_log" 2>&1 &&
    command -v x86_64-w64-mingw32-g++-posix > /dev/null && [ -x /usr/lib/wine/wine64 ]; then
    windows=ready
    cmake --preset win64 > /dev/null
    wine_log=$(mktemp)
    build/win64/wine-run.sh --prepare > "$wine_log" 2>&1 &
    wine_prefix=$!
  else
    windows=missing
  fi
fi

stage "unit and end-to-end tests (g++)"
cmake --preset dev > /dev/null
timed "g++ build" cmake --build --preset dev
timed "g++ tests" ctest --preset dev

stage "the same under AddressSanitizer and UndefinedBehaviorSanitizer (clang)"
cmake --preset asan > /dev/null
timed "clang build (sanitizers, fuzz targets)" cmake --build --preset asan
timed "clang tests" ctest --preset asan

stage "end-to-end runs under Valgrind memcheck"
vglogs=$(mktemp -d)
USETRAIL_E2E_WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite --log-file=$vglogs/%p.log" \
  timed "Valgrind" ctest --preset dev -R '^e2e\.'
rm -rf "$vglogs"

stage "fuzz targets, short runs (built by asan)"
timed "fuzzing" fuzz/run.sh build/asan short

case $windows in
  ready)
    stage "Windows build under Wine"
    timed "Windows build" cmake --build --preset win64
    if ! wait "$wine_prefix"; then
      echo "Wine could not make its prefix:" >&2
      tail -n 15 "$wine_log" >&2
      exit 1
    fi
    rm -f "$install_log" "$wine_log"
    timed "Windows tests" ctest --preset win64 ;;
  missing)
    stage "Windows build under Wine"
    if [ "${USETRAIL_REQUIRE_WINDOWS:-0}" = 1 ]; then
      windows_lacks "$install_log" >&2
      rm -f "$install_log"
      echo "Windows tests cannot run: the mingw-w64 cross compiler or Wine could not be installed." >&2
      exit 1
    fi
    windows_lacks "$install_log"
    rm -f "$install_log"
    echo "Windows tests skipped: the mingw-w64 cross compiler or Wine could not be installed." ;;
esac

stage "all tests passed"
printf '%s\n' "${timings[@]}"
