#!/usr/bin/env bash
# Builds and runs every test: the normal build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, and the threading tests under ThreadSanitizer; then
# builds the release preset and runs each of its benchmark programs once on a small
# input, so that the benchmarks can always be reproduced.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
run() {
  local preset=$1
  echo "=== ${preset} build ==="
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}" -j "${jobs}"
  ctest --preset "${preset}" -j "${jobs}"
}

run default
run asan
run tsan
echo "=== release build and benchmarks, once each ==="
cmake --preset release >/dev/null
cmake --build --preset release -j "${jobs}"
bench/run_once.sh build/release
echo "=== all tests passed ==="
