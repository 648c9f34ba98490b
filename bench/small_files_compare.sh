#!/usr/bin/env bash
# Sets NVXbackup next to the tools a user would pick instead, all in the same run on this
# machine:
#   NVXbackup with one file in flight and with "Transfers 4", against one nvxserver on a
#             loopback port, with "Progress Y" (the pause after each file) and without;
#   restic    backing up to its REST server, served by "rclone serve restic" on loopback;
#   rsync -a  copying locally, no network.
# Work: the first backup, a no-change re-run and the restore into an empty folder of
# FOLDERS x 100 files of 1-16 KiB (10,000 in 100 folders), then the backup and restore of
# one 1 GiB file (with one file in flight and with "Transfers 4"). Every restore is
# compared with its source. Prints the times and the ratios NVXbackup / peer (below 1:
# NVXbackup is faster), and NVXbackup's peak memory at each step: with four transfers at
# most four times that of one, and no higher for the large file than for the small ones.
# The syncs tell what an answer of each storage side promises: nvxserver answers once a
# document is on the disk (its metrics page counts the commits its shared syncs made
# durable, and those syncs, during each first backup); restic's REST server makes none
# (strace counts its syncs during one more first backup). So that the two can also be set
# side by side on equal terms, "nvx4n" is the run with "Transfers 4" against a second
# nvxserver whose syncs are skipped (eatmydata): not a way to run the service, only a
# measure of what its syncs cost.
# --quick runs every step on small inputs in a few seconds.
# Nothing is deleted until the end: every copy and restore goes into a folder of its own.
# On a file system that avoids reusing recently freed inodes (ext4 without a journal
# scans past them), creating thousands of files right after deleting thousands costs
# several times more, and whichever tool ran after a deletion would pay for it.
#
# Usage: bench/small_files_compare.sh BUILD_DIR [--quick]
# Environment: NVX_BENCH_FOLDERS (100), NVX_BENCH_LARGE_MIB (1024)
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: bench/small_files_compare.sh BUILD_DIR [--quick]" >&2; exit 2; }
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
folders=${NVX_BENCH_FOLDERS:-100}
large_mib=${NVX_BENCH_LARGE_MIB:-1024}
if [ "${2:-}" = "--quick" ]; then folders=3 large_mib=8; fi
server=$build/service/nvxserver
backup=$build/bin/NVXbackup
for program in "$server" "$backup"; do
  [ -x "$program" ] || { echo "small_files_compare.sh: $program is not built" >&2; exit 1; }
done
"$here/../scripts/install-deps.sh"
for program in restic rclone rsync python3 eatmydata; do
  command -v "$program" >/dev/null || { echo "small_files_compare.sh: $program is missing" >&2; exit 1; }
done

# shellcheck source=bench/bench_service.sh
source "$here/bench_service.sh"
bench_begin small_files_compare
NVX_BENCH_SERVER_OPTIONS="${NVX_BENCH_SERVER_OPTIONS:-} --metrics 127.0.0.1:0"
bench_start_service "$server"
export XDG_RUNTIME_DIR=$work

now_ns() { date +%s%N; }
seconds() { awk -v ns="$1" 'BEGIN { printf "%.2f", ns / 1e9 }'; }
declare -A took
timed() {  # timed KEY COMMAND...: runs the command, keeps its time in took[KEY]
  local key=$1 start
  shift
  # What the steps before wrote (the 1 GiB input, the restores) goes to the disk first:
  # otherwise it is written out during the step, and a tool that syncs waits behind it.
  sync
  start=$(now_ns)
  "$@" >"$work/last.out" 2>&1 || fail "$key: $* ended with $? ($(tail -n 3 "$work/last.out"))"
  took[$key]=$(($(now_ns) - start))
}
same_tree() {  # same_tree SOURCE COPY KEY
  diff -r "$1" "$2" >"$work/diff.txt" 2>&1 || fail "$3: the restore differs from its source: $(head -n 3 "$work/diff.txt")"
}

# The small files: 1-16 KiB of random bytes each, 100 in each folder.
tree=$work/small
python3 - "$tree" "$folders" <<'EOF'
import os, random, sys
root, folders = sys.argv[1], int(sys.argv[2])
rng = random.Random(18)
for folder in range(folders):
    path = os.path.join(root, "folder-%03d" % folder)
    os.makedirs(path)
    for file in range(100):
        with open(os.path.join(path, "file-%03d.bin" % file), "wb") as out:
            out.write(rng.randbytes(rng.randint(1024, 16384)))
EOF
large=$work/large
mkdir -p "$large"
head -c $((large_mib * 1024 * 1024)) /dev/urandom >"$large/large.bin"

# NVXbackup: a job file of the given lines after the login.
nvx_job() {
  { printf 'NVXUser %s\nNVXPw %s\nNVXServer 127.0.0.1:%s\n' "$user" "$password" "$port"
    printf '%s\n' "$@"; } >"$work/job.txt"
}
nvx_run() { /usr/bin/time -f %M -o "$work/peak.txt" "$backup" -f "$work/job.txt"; }
# "COMMITS SYNCS": the service's shared syncs so far, from its metrics page.
shared_syncs() {
  curl -s "http://127.0.0.1:$metrics_port/metrics" | awk '
    $1 == "nvx_store_shared_sync_commits_total" { commits = $2 }
    $1 == "nvx_store_shared_syncs_total" { syncs = $2 }
    END { print commits + 0, syncs + 0 }'
}
declare -A peak shared_before shared_after
nvx_step() {  # nvx_step KEY: runs the job file, keeps its time, peak RSS (KiB) and syncs
  shared_before[$1]=$(shared_syncs)
  timed "$1" nvx_run
  peak[$1]=$(tail -n 1 "$work/peak.txt")
  shared_after[$1]=$(shared_syncs)
}
# nvx_variant LABEL TRANSFERS PROGRESS SOURCE: first backup, re-run and restore of SOURCE
# into \Bench\LABEL.
nvx_variant() {
  local label=$1 transfers=$2 progress=$3 source=$4
  local send=("VerifyPath \\Bench\\$label" VerifyNVXFolders "LocalPath $source"
              "NVXPath \\Bench\\$label" 'IncludeSubFolders Y' 'Verify Y' 'Compress N'
              "Transfers $transfers" "Progress $progress" SendToNVX)
  nvx_job "${send[@]}"
  nvx_step "$label first"
  nvx_step "$label rerun"
  mkdir -p "$work/restored-$label"
  nvx_job "LocalPath $work/restored-$label" "NVXPath \\Bench\\$label\\$(basename "$source")" \
    'IncludeSubFolders Y' 'Verify Y' "Transfers $transfers" "Progress $progress" CopyFromNVX
  nvx_step "$label restore"
  # The restore makes the server folder's own folder inside the target.
  same_tree "$source" "$work/restored-$label/$(basename "$source")" "$label"
}
nvx_variant nvx1 1 N "$tree"
nvx_variant nvx1p 1 Y "$tree"
nvx_variant nvx4 4 N "$tree"
nvx_variant nvx4p 4 Y "$tree"
nvx_variant big1 1 N "$large"
nvx_variant big4 4 N "$large"

# The same service without its syncs, on a data folder of its own.
nosync_data=$work/nosync-data
bench_add_account "$server" "$nosync_data"
eatmydata "$server" --data "$nosync_data" --listen 127.0.0.1:0 >"$work/nosync.port" \
  2>"$work/nosync.log" &
bench_pids+=("$!")
for _ in $(seq 200); do [ -s "$work/nosync.port" ] && break; sleep 0.1; done
durable_port=$port
port=$(head -n 1 "$work/nosync.port")
[ -n "$port" ] || fail "the nvxserver without syncs did not start"
nvx_variant nvx4n 4 N "$tree"
port=$durable_port

# restic to its REST server on loopback.
rest_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
rclone serve restic --addr "127.0.0.1:$rest_port" "$work/restic-repo" >"$work/rclone.log" 2>&1 &
bench_pids+=("$!")
export RESTIC_PASSWORD=bench RESTIC_CACHE_DIR=$work/restic-cache
for _ in $(seq 100); do
  restic -q -r "rest:http://127.0.0.1:$rest_port/small" cat config >/dev/null 2>&1 && break
  restic -q -r "rest:http://127.0.0.1:$rest_port/small" init >/dev/null 2>&1 && break
  sleep 0.1
done
restic -q -r "rest:http://127.0.0.1:$rest_port/large" init >/dev/null
restic_variant() {  # restic_variant LABEL SOURCE REPOSITORY
  local label=$1 source=$2 repository="rest:http://127.0.0.1:$rest_port/$3"
  timed "$label first" restic -q -r "$repository" backup "$source"
  timed "$label rerun" restic -q -r "$repository" backup "$source"
  timed "$label restore" restic -q -r "$repository" restore latest --target "$work/restored-$label"
  same_tree "$source" "$work/restored-$label$source" "$label"
}
restic_variant restic "$tree" small
restic_variant bigrestic "$large" large

# rsync -a locally: a copy, a copy with nothing to do, a copy back into an empty folder.
rsync_variant() {  # rsync_variant LABEL SOURCE
  local label=$1 source=$2
  timed "$label first" rsync -a "$source/" "$work/copy-$label/"
  timed "$label rerun" rsync -a "$source/" "$work/copy-$label/"
  timed "$label restore" rsync -a "$work/copy-$label/" "$work/restored-$label/"
  same_tree "$source" "$work/restored-$label" "$label"
}
rsync_variant rsync "$tree"
rsync_variant bigrsync "$large"

# What restic's REST server does to keep what it was sent: its syncs (fsync, fdatasync,
# sync_file_range, syncfs) during one more first backup of the small files (untimed:
# strace slows the traced process). nvxserver's come from its metrics page.
restic_syncs=
if command -v strace >/dev/null; then
  restic -q -r "rest:http://127.0.0.1:$rest_port/syncs" init >/dev/null
  strace -f -c -e trace=fsync,fdatasync,sync_file_range,syncfs -o "$work/syncs-restic.txt" \
    -p "$(pgrep -f "rclone serve restic --addr 127.0.0.1:$rest_port" | head -n 1)" 2>/dev/null &
  tracer=$!
  sleep 0.5
  restic -q -r "rest:http://127.0.0.1:$rest_port/syncs" backup "$tree" >"$work/last.out" 2>&1 ||
    fail "restic syncs: backup ended with $? ($(tail -n 3 "$work/last.out"))"
  kill -INT "$tracer"
  wait "$tracer" || true
  # strace writes nothing when no call was made.
  restic_syncs=$(awk '$NF == "total" { calls = $4 } END { print calls + 0 }' "$work/syncs-restic.txt")
fi

ratio() { awk -v a="${took[$1]}" -v b="${took[$2]}" 'BEGIN { printf "%.2f", a / b }'; }
echo "$((folders * 100)) files of 1-16 KiB in $folders folders; one $large_mib MiB file"
printf '%-26s %8s %8s %8s\n' "" first re-run restore
for label in nvx1 nvx1p nvx4 nvx4p nvx4n restic rsync big1 big4 bigrestic bigrsync; do
  printf '%-26s %8s %8s %8s\n' "$label" "$(seconds "${took[$label first]}")" \
    "$(seconds "${took[$label rerun]}")" "$(seconds "${took[$label restore]}")"
done
echo "ratios NVXbackup / peer (first, re-run, restore):"
for pair in "nvx1 restic" "nvx1p restic" "nvx4 restic" "nvx4p restic" "nvx4n restic" \
            "nvx1 rsync" "nvx4 rsync" "big1 bigrestic" "big4 bigrestic" "big1 bigrsync"; do
  set -- $pair
  printf '  %-6s / %-10s %6s %6s %6s\n' "$1" "$2" "$(ratio "$1 first" "$2 first")" \
    "$(ratio "$1 rerun" "$2 rerun")" "$(ratio "$1 restore" "$2 restore")"
done
echo "labels: nvx1 one file in flight, nvx4 Transfers 4, p with Progress Y, n against a service without syncs; big: the large file"
mib() { awk -v k="${peak[$1]}" 'BEGIN { printf "%.1f", k / 1024 }'; }
echo "peak RSS of NVXbackup, MiB (first, re-run, restore):"
for label in nvx1 nvx1p nvx4 nvx4p big1 big4; do
  printf '  %-24s %8s %8s %8s\n' "$label" "$(mib "$label first")" "$(mib "$label rerun")" \
    "$(mib "$label restore")"
done
most() {  # most LABEL: the largest peak of the label's three steps, KiB
  printf '%s\n' "${peak[$1 first]}" "${peak[$1 rerun]}" "${peak[$1 restore]}" | sort -n | tail -n 1
}
awk -v n1="$(most nvx1)" -v n4="$(most nvx4)" -v b1="$(most big1)" -v b4="$(most big4)" 'BEGIN {
  printf "peak RSS ratios: Transfers 4 / one in flight %.2f small files, %.2f large file (target: at most 4)\n", n4 / n1, b4 / b1
  printf "peak RSS ratios: large file / small files %.2f one in flight, %.2f Transfers 4 (target: flat, about 1)\n", b1 / n1, b4 / n4 }'
for label in nvx1 nvx4; do
  read -r c0 s0 <<<"${shared_before[$label first]}"
  read -r c1 s1 <<<"${shared_after[$label first]}"
  awk -v label="$label" -v c=$((c1 - c0)) -v s=$((s1 - s0)) 'BEGIN {
    printf "nvxserver, first backup %s: %d commits made durable by %d shared syncs (%.2f commits a sync)\n", label, c, s, (s > 0 ? c / s : 0) }'
done
if [ -n "$restic_syncs" ]; then
  echo "restic REST server, one more first backup: $restic_syncs syncs"
else
  echo "restic REST server's syncs: not counted (strace is missing)"
fi
