#!/usr/bin/env bash
# Builds usetrail, writes a sample data directory with the generator, and
# prints the activity of every sample database with its summary.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh core
cmake --preset release -DUSETRAIL_TESTS=OFF -DUSETRAIL_BENCH=OFF > /dev/null
cmake --build --preset release --target usetrail usetrail-sampledata > /dev/null

data=${USETRAIL_DATA:-$PWD/sample-data}
if [ ! -d "$data" ]; then
  build/release/bin/usetrail-sampledata --out "$data" --databases 6 --entries 8 --seed 7
fi
USETRAIL_DATA=$data build/release/bin/usetrail /i "${@:-*}"
