#!/usr/bin/env bash
# Builds and runs every test: the normal build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, and the threading tests under ThreadSanitizer; then
# builds the release preset's benchmark programs and runs each of them once on a small
# input, so that the benchmarks can always be reproduced.
#
# Each preset builds only what its tests run: the ThreadSanitizer build only the
# programs of its threading tests, the release build only the benchmarks and the
# programs they start. ccache, when installed, keeps compiled objects across runs and
# across clones in other folders (paths are hashed relative to the repository root).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
configure_args=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
  configure_args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# The compilations ccache answered from its cache (hits) and those it ran (misses).
ccache_counts() {
  command -v ccache >/dev/null || return 0
  ccache --print-stats | awk -F'\t' '
    $1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" { hits += $2 }
    $1 == "cache_miss" { misses += $2 }
    END { print hits + 0, misses + 0 }'
}
read -r hits_before misses_before < <(ccache_counts; echo 0 0)

configure() { cmake --preset "$1" "${configure_args[@]}" >/dev/null; }
# The test programs the preset's CTest runs: the tests that are named as a build target.
test_programs() {
  local targets=" $(cmake --build --preset "$1" --target help | awk -F: '{ print $1 }' | tr '\n' ' ') "
  ctest --preset "$1" -N | awk '$1 == "Test" && $2 ~ /^#/ { print $3 }' |
    while read -r name; do [[ "$targets" == *" $name "* ]] && echo "$name"; done
}
# Builds and tests one preset; its build and test times go to the summary at the end.
timings=()
run() {
  local preset=$1 started
  shift
  echo "=== ${preset} build ==="
  started=$SECONDS
  configure "${preset}"
  cmake --build --preset "${preset}" -j "${jobs}" "$@"
  timings+=("${preset} build $((SECONDS - started)) s")
  started=$SECONDS
  ctest --preset "${preset}" -j "${jobs}"
  timings+=("${preset} tests $((SECONDS - started)) s")
}

run default
run asan
configure tsan
mapfile -t tsan_programs < <(test_programs tsan)
run tsan --target "${tsan_programs[@]}"
echo "=== release build and benchmarks, once each ==="
started=$SECONDS
configure release
cmake --build --preset release -j "${jobs}" --target nvx_benchmarks
timings+=("release build $((SECONDS - started)) s")
started=$SECONDS
bench/run_once.sh build/release
timings+=("benchmarks once $((SECONDS - started)) s")
echo "=== times: ${timings[*]/%/,} ${SECONDS} s in all ==="
if command -v ccache >/dev/null; then
  read -r hits misses < <(ccache_counts)
  echo "ccache: $((hits - hits_before)) compilations from the cache, $((misses - misses_before)) compiled"
fi
echo "=== all tests passed ==="
