#!/usr/bin/env bash
# Builds usetrail, writes a sample data directory with the generator, and
# prints the activity of every sample database with its summary. Beside it,
# three servers' data directories for the examples that name a server.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh core
cmake --preset release -DUSETRAIL_TESTS=OFF -DUSETRAIL_BENCH=OFF > /dev/null
cmake --build --preset release --target usetrail usetrail-sampledata > /dev/null

data=${USETRAIL_DATA:-$PWD/sample-data}
if [ ! -d "$data" ]; then
  build/release/bin/usetrail-sampledata --out "$data" --databases 6 --entries 8 --seed 7
fi
servers=$PWD/sample-servers
if [ ! -d "$servers" ]; then
  seed=1
  for server in Mail01 Mail02 Apps01; do
    build/release/bin/usetrail-sampledata --out "$servers/$server" --databases 6 --entries 8 \
      --seed $((seed++)) > /dev/null
  done
fi
USETRAIL_DATA=$data build/release/bin/usetrail /i "${@:-*}"
