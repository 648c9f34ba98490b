#!/usr/bin/env bash
# Builds and runs every test: the normal build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, and the threading tests under ThreadSanitizer; then
# builds the release preset's benchmark programs and runs each of them once on a small
# input, so that the benchmarks can always be reproduced.
#
# Each preset builds only what its tests run (CMakePresets.json): the sanitizer builds
# the target nvx_tests (their test programs and the programs those start), the release
# build the benchmarks and the programs they start. ccache, when installed, keeps
# compiled objects across runs and across clones in other folders (paths are hashed
# relative to the repository root). Each step's time is printed with the share of its
# compilations that came from the cache, so a cold run (empty cache) shows as one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
configure_args=()
use_ccache=false
if command -v ccache >/dev/null && [ -z "${CCACHE_DISABLE:-}" ]; then
  use_ccache=true
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
  configure_args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Each build step counts its own compilations in a log of its own (the cache's totals
# also count whatever else uses the cache meanwhile).
stats_folder=$(mktemp -d)
trap 'rm -rf "$stats_folder"' EXIT
# "N of M compilations from the cache" for the step whose counts went to log $1.
cache_share() {
  $use_ccache || { echo "without ccache"; return; }
  local hits misses
  read -r hits misses < <(awk '
    $1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" { hits++ }
    $1 == "cache_miss" { misses++ }
    END { print hits + 0, misses + 0 }' "$1" 2>/dev/null || echo 0 0)
  echo "ccache: $hits of $((hits + misses)) compilations from the cache"
}
if $use_ccache; then
  echo "=== ccache: $(ccache --print-stats | awk -F'\t' '$1 == "files_in_cache" { print $2 }') files in the cache at the start ==="
else
  echo "=== without ccache: every file is compiled ==="
fi

configure() { cmake --preset "$1" "${configure_args[@]}" >/dev/null; }
# Builds the preset's build preset (its targets); the time and the cache's share go to
# the summary at the end.
timings=()
build() {
  local preset=$1 label=$2 started=$SECONDS
  shift 2
  configure "${preset}"
  CCACHE_STATSLOG="$stats_folder/${preset}.log" cmake --build --preset "${preset}" -j "${jobs}" "$@"
  timings+=("${label} build $((SECONDS - started)) s ($(cache_share "$stats_folder/${preset}.log"))")
}
# Builds and tests one preset.
run() {
  local preset=$1 started
  echo "=== ${preset} build ==="
  build "${preset}" "${preset}"
  started=$SECONDS
  ctest --preset "${preset}" -j "${jobs}"
  timings+=("${preset} tests $((SECONDS - started)) s")
}

run default
run asan
run tsan
echo "=== release build and benchmarks, once each ==="
build release release --target nvx_benchmarks
started=$SECONDS
bench/run_once.sh build/release
timings+=("benchmarks once $((SECONDS - started)) s")
echo "=== times:"
printf '    %s\n' "${timings[@]}"
echo "    ${SECONDS} s in all ==="
echo "=== all tests passed ==="
