#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# usage: install-deps.sh [core|test|windows]...   (default: core)
set -euo pipefail

declare -A sets=(
  [core]="cmake ninja-build g++ nlohmann-json3-dev"
  [test]="libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev valgrind perl"
  [windows]="g++-mingw-w64-x86-64-posix mingw-w64-tools wine64"
)

wanted=()
for set in "${@:-core}"; do
  for pkg in ${sets[$set]}; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || wanted+=("$pkg")
  done
done
[ ${#wanted[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${wanted[*]} (run as root, or install them with apt-get)" >&2
  exit 1
fi
echo "installing: ${wanted[*]}"
export DEBIAN_FRONTEND=noninteractive
# apt-get's words are kept, and shown only when it fails.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${wanted[@]}"; } \
  > "$log" 2>&1; then
  echo "could not install: ${wanted[*]}; the last lines of apt-get:" >&2
  tail -n 15 "$log" | sed 's/^/  /' >&2
  exit 1
fi
