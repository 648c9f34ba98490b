#!/usr/bin/env bash
# Sets NVXbackup's restore and delta upload next to peer tools measured in the same run,
# against one nvxserver on a loopback port:
#   restore: a 1 GiB file, a download job into an empty folder  vs  curl GET of the same
#            document with the same headers; peak RSS of the job at 64 MiB and at 1 GiB
#   delta:   one changed 2048-byte block in the middle of a 100 MiB file, backed up again:
#            the bytes on the wire each way (a counting relay between NVXbackup and the
#            service)  vs  rsync --no-whole-file of the same change between two local
#            folders ("Total bytes sent" / "Total bytes received" of --stats)
# Each timed pair runs ROUNDS times, alternating, and the best run of each side counts.
# The peer tools run at the lowest scheduling priority, as NVXbackup does.
# --quick runs every step on small inputs in a few seconds (bench/run_once.sh uses it).
#
# Usage: bench/restore_compare.sh BUILD_DIR [--quick]    Environment: NVX_BENCH_ROUNDS (3)
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: bench/restore_compare.sh BUILD_DIR [--quick]" >&2; exit 2; }
build=$(cd "$1" && pwd)
quick=0
[ "${2:-}" = "--quick" ] && quick=1
server=$build/service/nvxserver
backup=$build/bin/NVXbackup
upload_headers=$build/bench/upload_headers
download_headers=$build/bench/download_headers
relay=$build/bench/wire_relay
for program in "$server" "$backup" "$upload_headers" "$download_headers" "$relay"; do
  [ -x "$program" ] || { echo "restore_compare.sh: $program is not built" >&2; exit 1; }
done
for program in curl rsync /usr/bin/time awk cmp md5sum; do
  command -v "$program" >/dev/null || { echo "restore_compare.sh: $program is missing" >&2; exit 1; }
done

if [ "$quick" -eq 1 ]; then
  restore_mib=8 rss_small_mib=1 delta_mib=4 rounds=1
else
  restore_mib=1024 rss_small_mib=64 delta_mib=100 rounds=${NVX_BENCH_ROUNDS:-3}
fi

# shellcheck source=bench/bench_service.sh
source "$(dirname "$0")/bench_service.sh"
bench_begin restore_compare
bench_start_service "$server"
# The relay counts what travels between NVXbackup and the service in the delta step.
"$relay" "$port" "$work/wire.txt" >"$work/relay.port" &
bench_pids+=($!)
for _ in $(seq 1 200); do [ -s "$work/relay.port" ] && break; sleep 0.05; done
read -r relay_port <"$work/relay.port" || fail "wire_relay did not start"
export XDG_RUNTIME_DIR=$work

now_ns() { date +%s%N; }
best_min() { printf '%s\n' "$@" | sort -g | head -1; }
document_field() {  # field $3 (2 size, 4 MD5, 6 version) of the complete document $1 in $2
  "$server" --data "$data" doc list "$user" "$2" |
    awk -F'\t' -v n="$1" -v f="$3" '$1 == n && $5 == "complete" { print $f }'
}
# A job file: $1 the server port, then the job's own lines.
write_job() {
  local job_port=$1
  shift
  { printf 'NVXUser %s\nNVXPw %s\nNVXServer 127.0.0.1:%s\n' "$user" "$password" "$job_port"
    printf '%s\n' "$@"; } >"$work/job.txt"
}
run_backup() {  # with /usr/bin/time: the peak RSS in KiB lands in $work/peak.txt
  /usr/bin/time -f %M -o "$work/peak.txt" "$backup" -f "$work/job.txt" >"$work/backup.out" 2>&1 ||
    fail "NVXbackup ended with an error ($(tail -n 3 "$work/backup.out"))"
}
# Sends $1 as a new document of \Bench with curl, the way upload_compare.sh does.
store_with_curl() {
  local headers=() arguments=(-sS -o /dev/null -D "$work/curl.head" -T "$1" -H "Expect:")
  mapfile -t headers < <("$upload_headers" "$user" "$password" "$folder_id" "$1")
  for header in "${headers[@]}"; do arguments+=(-H "$header"); done
  curl "${arguments[@]}" "$base_url?$(basename "$1")"
  grep -qi '^X-NVX-CONCLUSION: Successful' "$work/curl.head" || fail "the upload of $1 was refused"
}
wire() { tail -n 1 "$work/wire.txt"; }  # open, seen, to the service, from the service
wait_relay_idle() {
  for _ in $(seq 1 100); do
    [ "$(wire | awk '{ print $1 }')" = 0 ] && return 0
    sleep 0.05
  done
  fail "a connection through the relay stayed open"
}

# 1. The restore of one large file, against curl GET of the same document.
source_file=$work/restore.bin
head -c $((restore_mib * 1024 * 1024)) /dev/urandom >"$source_file"
restore_bytes=$(stat -c %s "$source_file")
store_with_curl "$source_file"
version_id=$(document_field restore.bin '\MyFiles\Bench' 6)
[ -n "$version_id" ] || fail "restore.bin is not stored whole"
rm -f "$source_file.copy"
ours_restore=() curl_restore=() wire_restore=() ours_peak=0
for ((round = 1; round <= rounds; round++)); do
  mapfile -t download < <("$download_headers" "$user" "$password" "$version_id")
  curl_args=(-sS -o "$work/curl.bin" -D "$work/curl.head")
  for header in "${download[@]}"; do curl_args+=(-H "$header"); done
  start=$(now_ns)
  nice -n 19 curl "${curl_args[@]}" "$base_url?DownLoad"
  curl_restore+=($(($(now_ns) - start)))
  cmp -s "$source_file" "$work/curl.bin" || fail "curl's download differs from the source"
  rm -f "$work/curl.bin"
  # The same GET into /dev/null: what the service and loopback alone allow.
  curl_args[2]=/dev/null
  start=$(now_ns)
  nice -n 19 curl "${curl_args[@]}" "$base_url?DownLoad"
  wire_restore+=($(($(now_ns) - start)))

  rm -rf "$work/restored" && mkdir -p "$work/restored"
  write_job "$port" "LocalPath $work/restored" 'NVXPath \Bench' 'NVXFile restore.bin' \
    'Verify Y' CopyFromNVX
  start=$(now_ns)
  run_backup
  ours_restore+=($(($(now_ns) - start)))
  ours_peak=$(tail -n 1 "$work/peak.txt")
  cmp -s "$source_file" "$work/restored/restore.bin" || fail "NVXbackup's restore differs from the source"
done
awk -v b="$restore_bytes" -v o="$(best_min "${ours_restore[@]}")" -v c="$(best_min "${curl_restore[@]}")" \
  -v w="$(best_min "${wire_restore[@]}")" -v mib="$restore_mib" 'BEGIN {
  ours = b / (o / 1e9) / 1e6; peer = b / (c / 1e9) / 1e6
  printf "restore of a %d MiB file: NVXbackup %.1f MB/s, curl GET %.1f MB/s, ratio %.2f (target >= 0.90); curl GET into /dev/null %.1f MB/s\n", mib, ours, peer, ours / peer, b / (w / 1e9) / 1e6 }'

# Peak RSS restoring a small file next to the large one's: memory does not grow with size.
head -c $((rss_small_mib * 1024 * 1024)) /dev/urandom >"$work/small.bin"
store_with_curl "$work/small.bin"
rm -rf "$work/restored" && mkdir -p "$work/restored"
write_job "$port" "LocalPath $work/restored" 'NVXPath \Bench' 'NVXFile small.bin' 'Verify Y' CopyFromNVX
run_backup
small_peak=$(tail -n 1 "$work/peak.txt")
cmp -s "$work/small.bin" "$work/restored/small.bin" || fail "the small restore differs from the source"
awk -v s="$small_peak" -v l="$ours_peak" -v sm="$rss_small_mib" -v lm="$restore_mib" 'BEGIN {
  printf "peak RSS of NVXbackup restoring: %d MiB file %.1f MiB, %d MiB file %.1f MiB, difference %.1f MiB (target: flat)\n", sm, s / 1024, lm, l / 1024, (l - s) / 1024 }'
rm -rf "$work/restored" "$work/small.bin" "$source_file"

# 2. One changed block: a delta upload through the counting relay, against rsync.
tree=$work/delta
mkdir -p "$tree"
head -c $((delta_mib * 1024 * 1024)) /dev/urandom >"$tree/large.bin"
mkdir -p "$work/rsync-copy"
cp -p "$tree/large.bin" "$work/rsync-copy/large.bin"
write_job "$relay_port" "LocalPath $tree" 'NVXPath \Bench' 'Verify Y' 'Compress N' SendToNVX
run_backup  # the first run sends the whole file
wait_relay_idle
read -r _ _ first_up first_down < <(wire)
[ "$first_up" -gt $((delta_mib * 1024 * 1024)) ] ||
  fail "the relay counted $first_up bytes for a whole upload of $delta_mib MiB"
# The block in the middle of the file, replaced by other bytes; the date moves on.
middle_block=$((delta_mib * 1024 * 1024 / 2 / 2048))
head -c 2048 /dev/urandom |
  dd of="$tree/large.bin" bs=2048 seek="$middle_block" conv=notrunc status=none
touch -d '+1 minute' "$tree/large.bin"
run_backup
wait_relay_idle
read -r _ _ second_up second_down < <(wire)
delta_up=$((second_up - first_up)) delta_down=$((second_down - first_down))
stored_md5=$(document_field large.bin '\MyFiles\Bench\delta' 4)
[ "$stored_md5" = "$(md5sum <"$tree/large.bin" | awk '{ print $1 }')" ] ||
  fail "the stored large.bin differs from the changed file"
rsync_out=$(nice -n 19 rsync -a --stats --no-whole-file "$tree/" "$work/rsync-copy/")
cmp -s "$tree/large.bin" "$work/rsync-copy/large.bin" || fail "rsync did not copy the change"
rsync_sent=$(awk -F': ' '/^Total bytes sent/ { gsub(",", "", $2); print $2 }' <<<"$rsync_out")
rsync_received=$(awk -F': ' '/^Total bytes received/ { gsub(",", "", $2); print $2 }' <<<"$rsync_out")
awk -v up="$delta_up" -v down="$delta_down" -v whole="$first_up" -v sent="$rsync_sent" \
  -v received="$rsync_received" -v mib="$delta_mib" 'BEGIN {
  how = up * 2 < whole ? "as a delta" : "WHOLE, not as a delta"
  printf "one changed 2048-byte block of a %d MiB file (%s): NVXbackup sent %d bytes, received %d (the first, whole upload sent %d); rsync --no-whole-file sent %d, received %d; ratio sent rsync/NVXbackup %.2f (target >= 1.00)\n", mib, how, up, down, whole, sent, received, sent / up }'
