#!/usr/bin/env bash
# Runs every benchmark program of a build once, on a small input, so that the test
# command proves the benchmarks still build and run; the figures themselves come from
# compare.sh and full runs (README.md).
#
# Usage: bench/run_once.sh BUILD_DIR
set -euo pipefail
bench="$1/bench"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

head -c $((1024 * 1024)) /dev/urandom >"$work/data.bin"
"$bench/primitives_bench" --benchmark_min_time=0.01 >"$work/primitives_bench.txt"
grep -q "BM_" "$work/primitives_bench.txt" || { cat "$work/primitives_bench.txt"; exit 1; }
"$bench/primitives_throughput" md5 "$work/data.bin"
"$bench/primitives_throughput" bf-ecb 0.1
for shape in minimal widest oversized; do
  "$bench/folder_list_memory" "$shape"
done
# NVXbackup's uploads next to curl, rsync and ab, its restore and delta upload next to
# curl and rsync, and its backup and restore over TLS next to plain, on small inputs.
"$(dirname "$0")/upload_compare.sh" "$1" --quick
"$(dirname "$0")/restore_compare.sh" "$1" --quick
"$(dirname "$0")/tls_compare.sh" "$1" --quick
# The service with clients that send requests ahead of the answers.
"$(dirname "$0")/pipelined_puts.sh" "$1" 200 2
