#!/usr/bin/env bash
# Sets NVXbackup's uploads next to peer tools measured in the same run, against one
# nvxserver on a loopback port:
#   upload:  a new 1 GiB file, verification on       vs  curl -T of the same bytes with
#                                                          the same headers (fresh names)
#   re-run:  10,000 unchanged files in 100 folders    vs  rsync -a between two local
#                                                          folders with nothing to do
#   memory:  peak RSS backing up a 64 MiB file and a 4 GiB (sparse) file
#   small requests on one kept-alive connection (FolderList, the is-it-there HEAD), with
#            ab -k when installed, else curl reusing its connection
# Each timed pair runs ROUNDS times, alternating, and the best run of each side counts.
# NVXbackup lowers itself to the lowest scheduling priority when it starts; the peer tools
# run at that priority too, so that other load on the machine weighs on both sides alike.
# --quick runs every step on small inputs in a few seconds (bench/run_once.sh uses it).
#
# Usage: bench/upload_compare.sh BUILD_DIR [--quick]     Environment: NVX_BENCH_ROUNDS (3)
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: bench/upload_compare.sh BUILD_DIR [--quick]" >&2; exit 2; }
build=$(cd "$1" && pwd)
quick=0
[ "${2:-}" = "--quick" ] && quick=1
server=$build/service/nvxserver
backup=$build/bin/NVXbackup
headers_tool=$build/bench/upload_headers
for program in "$server" "$backup" "$headers_tool"; do
  [ -x "$program" ] || { echo "upload_compare.sh: $program is not built" >&2; exit 1; }
done
for program in curl rsync /usr/bin/time awk; do
  command -v "$program" >/dev/null || { echo "upload_compare.sh: $program is missing" >&2; exit 1; }
done

if [ "$quick" -eq 1 ]; then
  upload_mib=8 rounds=1 folders=5 files_per_folder=10 rss_small_mib=1 rss_large_mib=16
  requests=200
else
  upload_mib=1024 rounds=${NVX_BENCH_ROUNDS:-3} folders=100 files_per_folder=100
  rss_small_mib=64 rss_large_mib=4096 requests=2000
fi

# shellcheck source=bench/bench_service.sh
source "$(dirname "$0")/bench_service.sh"
bench_begin upload_compare
bench_start_service "$server"
export XDG_RUNTIME_DIR=$work

now_ns() { date +%s%N; }
best_min() { printf '%s\n' "$@" | sort -g | head -1; }
seconds() { awk -v ns="$1" 'BEGIN { printf "%.3f", ns / 1e9 }'; }
puts_logged() { grep -c ' PUT ' "$work/server.log" || true; }

# A job file that sends `$1` ("LocalFile PATH" or "LocalPath PATH" and more lines).
write_job() {
  printf 'NVXUser %s\nNVXPw %s\nNVXServer 127.0.0.1:%s\n%s\nNVXPath \\Bench\nVerify Y\nCompress N\nSendToNVX\n' \
    "$user" "$password" "$port" "$1" >"$work/job.txt"
}
run_backup() {
  "$backup" -f "$work/job.txt" >"$work/backup.out" 2>&1 || fail "NVXbackup ended with $? ($(tail -n 3 "$work/backup.out"))"
}
stored_size() {  # the size of a complete document of \Bench named $1, or nothing
  "$server" --data "$data" doc list "$user" "$2" | awk -F'\t' -v n="$1" '$1 == n && $5 == "complete" { print $2 }'
}

# 1. A new file, verification on, against curl -T with the same headers.
upload_file=$work/upload.bin
head -c $((upload_mib * 1024 * 1024)) /dev/urandom >"$upload_file"
upload_bytes=$(stat -c %s "$upload_file")
cat "$upload_file" >/dev/null
mapfile -t upload_headers < <("$headers_tool" "$user" "$password" "$folder_id" "$upload_file")
curl_args=(-sS -o /dev/null -D "$work/curl.head" -T "$upload_file" -H "Expect:")
for header in "${upload_headers[@]}"; do curl_args+=(-H "$header"); done
ours_upload=() curl_upload=()
for ((round = 1; round <= rounds; round++)); do
  start=$(now_ns)
  nice -n 19 curl "${curl_args[@]}" "$base_url?curl-$round.bin"
  curl_upload+=($(($(now_ns) - start)))
  grep -qi '^X-NVX-CONCLUSION: Successful' "$work/curl.head" || fail "curl's upload was refused"
  [ "$(stored_size "curl-$round.bin" '\MyFiles\Bench')" = "$upload_bytes" ] || fail "curl's upload is not stored whole"

  mkdir -p "$work/round-$round"
  ln "$upload_file" "$work/round-$round/ours-$round.bin"
  write_job "LocalFile $work/round-$round/ours-$round.bin"
  start=$(now_ns)
  run_backup
  ours_upload+=($(($(now_ns) - start)))
  [ "$(stored_size "ours-$round.bin" '\MyFiles\Bench')" = "$upload_bytes" ] || fail "NVXbackup's upload is not stored whole"
done
ours_ns=$(best_min "${ours_upload[@]}")
curl_ns=$(best_min "${curl_upload[@]}")
awk -v b="$upload_bytes" -v o="$ours_ns" -v c="$curl_ns" -v mib="$upload_mib" 'BEGIN {
  ours = b / (o / 1e9) / 1e6; peer = b / (c / 1e9) / 1e6
  printf "upload of a new %d MiB file, verification on: NVXbackup %.1f MB/s, curl -T %.1f MB/s, ratio %.2f (target >= 0.90)\n", mib, ours, peer, ours / peer }'
rm -rf "$work"/round-*

# 2. A re-run over an unchanged tree, against rsync -a with nothing to do.
tree=$work/tree
for ((folder = 1; folder <= folders; folder++)); do
  mkdir -p "$tree/folder-$folder"
  for ((file = 1; file <= files_per_folder; file++)); do
    printf 'file %d of folder %d\n' "$file" "$folder" >"$tree/folder-$folder/file-$file.txt"
  done
done
write_job "LocalPath $tree
IncludeSubFolders Y"
run_backup  # the first run sends everything
rsync -a "$tree/" "$work/copy/"
ours_rerun=() rsync_rerun=()
before=$(puts_logged)
for ((round = 1; round <= rounds; round++)); do
  start=$(now_ns)
  run_backup
  ours_rerun+=($(($(now_ns) - start)))
  start=$(now_ns)
  nice -n 19 rsync -a "$tree/" "$work/copy/"
  rsync_rerun+=($(($(now_ns) - start)))
done
[ "$(puts_logged)" -eq "$before" ] || fail "a re-run over an unchanged tree sent files"
ours_ns=$(best_min "${ours_rerun[@]}")
rsync_ns=$(best_min "${rsync_rerun[@]}")
awk -v o="$ours_ns" -v r="$rsync_ns" -v n=$((folders * files_per_folder)) -v f="$folders" 'BEGIN {
  printf "re-run over %d unchanged files in %d folders: NVXbackup %.3f s, rsync -a %.3f s, ratio rsync/NVXbackup %.2f (target >= 1.00)\n", n, f, o / 1e9, r / 1e9, r / o }'
rm -rf "$tree" "$work/copy"

# 3. Peak resident size backing up a small and a large file.
peak_kib() {  # $1: folder holding the one file
  write_job "LocalPath $1"
  /usr/bin/time -f %M -o "$work/peak.txt" "$backup" -f "$work/job.txt" >"$work/backup.out" 2>&1 ||
    fail "NVXbackup ended with an error on $1"
  tail -n 1 "$work/peak.txt"
}
mkdir -p "$work/rss-small" "$work/rss-large"
head -c $((rss_small_mib * 1024 * 1024)) /dev/urandom >"$work/rss-small/small.bin"
truncate -s $((rss_large_mib * 1024 * 1024)) "$work/rss-large/large.bin"
small_kib=$(peak_kib "$work/rss-small")
large_kib=$(peak_kib "$work/rss-large")
[ "$(stored_size large.bin '\MyFiles\Bench\rss-large')" = $((rss_large_mib * 1024 * 1024)) ] ||
  fail "the large file is not stored whole"
awk -v s="$small_kib" -v l="$large_kib" -v sm="$rss_small_mib" -v lm="$rss_large_mib" 'BEGIN {
  d = l - s; if (d < 0) d = -d
  printf "peak RSS of NVXbackup: %d MiB file %.1f MiB, %d MiB file %.1f MiB, difference %.1f MiB (target: within 2 MiB, each at most 16 MiB)\n", sm, s / 1024, lm, l / 1024, d / 1024 }'
rm -rf "$work/rss-small" "$work/rss-large"

# 4. Small requests on one kept-alive connection.
rattart=${upload_headers[0]}
if command -v ab >/dev/null; then
  rate() { ab "$@" 2>/dev/null | awk '/^Requests per second:/ { print $4 }'; }
  listed_kept=$(rate -k -n "$requests" -c 1 -H "$rattart" "$base_url?FolderList")
  listed_new=$(rate -n "$requests" -c 1 -H "$rattart" "$base_url?FolderList")
  head_kept=$(rate -k -i -n "$requests" -c 1 -H "$rattart" -H "X-NVX-BLACMANGE: $folder_id" \
    "$base_url?curl-1.bin")
  client="ab"
else
  rate() {  # curl keeps one connection for all the URLs of one call
    local urls=() start
    for ((i = 0; i < requests; i++)); do urls+=("$1"); done
    shift
    start=$(now_ns)
    curl -sS -o /dev/null "$@" "${urls[@]}"
    awk -v n="$requests" -v t=$(($(now_ns) - start)) 'BEGIN { printf "%.1f", n / (t / 1e9) }'
  }
  listed_kept=$(rate "$base_url?FolderList" -H "$rattart")
  listed_new="(not measured)"
  head_kept=$(rate "$base_url?curl-1.bin" -I -H "$rattart" -H "X-NVX-BLACMANGE: $folder_id")
  client="curl"
fi
echo "kept-alive small requests ($client, $requests each): FolderList $listed_kept/s (a new connection each: $listed_new/s), is-it-there HEAD $head_kept/s (target: far above 25/s)"
