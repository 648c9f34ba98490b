#!/usr/bin/env bash
# Sets the throughput of our MD5 and Blowfish next to peer tools measured at the same
# moment on the same machine:
#   MD5:      GenerateFileMD5 over a 256 MB file   vs  md5sum on the same file
#   Blowfish: Encipher on 16384-byte buffers       vs  openssl speed -evp bf-ecb -bytes 16384
# Each pair runs ROUNDS times (default 3), alternating, and the best run of each side
# counts, which evens out a machine that others share. Configures the release preset when
# it has no build folder yet and brings its build up to date.
#
# Usage: bench/compare.sh [ROUNDS]     Environment: NVX_BENCH_FILE_MB (default 256)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
rounds="${1:-3}"
size_mb="${NVX_BENCH_FILE_MB:-256}"
tool="$root/build/release/bench/primitives_throughput"

for program in cmake md5sum openssl awk; do
  command -v "$program" >/dev/null || { echo "compare.sh: $program is missing" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A build that fails says why, instead of ending the script without a word.
build_step() {
  local what=$1
  shift
  if ! (cd "$root" && "$@") >"$work/build.log" 2>&1; then
    echo "compare.sh: $what failed; the last lines of its output:" >&2
    tail -n 40 "$work/build.log" >&2
    exit 1
  fi
}
if [[ ! -f "$root/build/release/CMakeCache.txt" ]]; then
  build_step "configuring the release preset" cmake --preset release
fi
build_step "building the release preset" \
  cmake --build --preset release -j2 --target primitives_throughput primitives_bench
file="$work/data.bin"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$file"
bytes="$(stat -c %s "$file")"
cat "$file" >/dev/null  # both sides then read from the page cache

best() { printf '%s\n' "$@" | sort -g | tail -1; }
now_ns() { date +%s%N; }

ours_md5=() peer_md5=() ours_bf=() peer_bf=()
for ((i = 1; i <= rounds; i++)); do
  line="$("$tool" md5 "$file")"
  ours_md5+=("${line%% *}")
  ours_digest="$(awk '{print $3}' <<<"$line")"

  start="$(now_ns)"
  peer_digest="$(md5sum "$file" | awk '{print $1}')"
  end="$(now_ns)"
  peer_md5+=("$(awk -v b="$bytes" -v ns="$((end - start))" 'BEGIN {printf "%.1f", b / 1e6 / (ns / 1e9)}')")
  if [[ "$ours_digest" != "$peer_digest" ]]; then
    echo "compare.sh: digests differ: ours $ours_digest, md5sum $peer_digest" >&2
    exit 1
  fi

  line="$("$tool" bf-ecb 3)"
  ours_bf+=("${line%% *}")
  # openssl speed prints thousands of bytes per second, ending in "k".
  kbytes="$(openssl speed -provider legacy -provider default -evp bf-ecb -bytes 16384 \
    -seconds 3 2>/dev/null | awk '/^BF-ECB/ {sub(/k$/, "", $NF); print $NF}')"
  peer_bf+=("$(awk -v k="$kbytes" 'BEGIN {printf "%.1f", k / 1000}')")
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
md5_ours="$(best "${ours_md5[@]}")" md5_peer="$(best "${peer_md5[@]}")"
bf_ours="$(best "${ours_bf[@]}")" bf_peer="$(best "${peer_bf[@]}")"

printf 'MD5 over a %d MB file (best of %d, MB/s)\n' "$size_mb" "$rounds"
printf '  ours    %8s   runs: %s\n' "$md5_ours" "${ours_md5[*]}"
printf '  md5sum  %8s   runs: %s\n' "$md5_peer" "${peer_md5[*]}"
printf '  ratio   %8s   (target >= 0.90)\n' "$(ratio "$md5_ours" "$md5_peer")"
printf 'Blowfish ECB on 16384-byte buffers (best of %d, MB/s)\n' "$rounds"
printf '  ours    %8s   runs: %s\n' "$bf_ours" "${ours_bf[*]}"
printf '  openssl %8s   runs: %s\n' "$bf_peer" "${peer_bf[*]}"
printf '  ratio   %8s   (target >= 0.70)\n' "$(ratio "$bf_ours" "$bf_peer")"
