#!/usr/bin/env bash
# The service's cost per document: NVXbackup backs up FILES small files (1-16 KiB, default
# 2,000 in 20 folders, one file in flight or TRANSFERS) to a fresh nvxserver twice, once
# plain (processor time of the service, from /proc) and once under `strace -fc` (system
# calls, syncs among them). Prints each figure divided by the number of files.
#   bench/service_per_document.sh BUILD_DIR [FILES] [TRANSFERS]
set -euo pipefail
build=$(cd "$1" && pwd)
files=${2:-2000}
transfers=${3:-1}
here=$(cd "$(dirname "$0")" && pwd)
server=$build/service/nvxserver
backup=$build/bin/NVXbackup
command -v strace >/dev/null || { echo "service_per_document.sh: strace is missing" >&2; exit 1; }
# shellcheck source=bench/bench_service.sh
source "$here/bench_service.sh"
bench_begin service_per_document
export XDG_RUNTIME_DIR=$work
tree=$work/small
python3 - "$tree" "$files" <<'PY'
import os, random, sys
root, files = sys.argv[1], int(sys.argv[2])
rng = random.Random(18)
for n in range(files):
    path = os.path.join(root, "folder-%03d" % (n // 100))
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, "file-%03d.bin" % (n % 100)), "wb") as out:
        out.write(rng.randbytes(rng.randint(1024, 16384)))
PY
ticks=$(getconf CLK_TCK)
# one_run LABEL [WRAPPER...]: a fresh service (under WRAPPER), one backup, the service stopped.
one_run() {
  local label=$1
  shift
  rm -rf "$work/data"
  bench_pids=()
  local real_server=$server
  if [ $# -gt 0 ]; then
    printf '#!/bin/sh\nexec %s %s "$@"\n' "$*" "$real_server" >"$work/wrapped"
    chmod +x "$work/wrapped"
    server=$work/wrapped
  fi
  bench_start_service "$server"
  server=$real_server
  printf 'NVXUser %s\nNVXPw %s\nNVXServer 127.0.0.1:%s\nVerifyPath \\Bench\\'"$label"'\nVerifyNVXFolders\nLocalPath %s\nNVXPath \\Bench\\%s\nIncludeSubFolders Y\nVerify Y\nCompress N\nTransfers %s\nSendToNVX\n' \
    "$user" "$password" "$port" "$tree" "$label" "$transfers" >"$work/job.txt"
  local start end
  start=$(date +%s%N)
  "$backup" -f "$work/job.txt" >"$work/job.out" 2>&1 || fail "backup ended with $?: $(tail -n 3 "$work/job.out")"
  end=$(date +%s%N)
  local pid=${bench_pids[0]}
  # The service's own process (strace's child when wrapped).
  local target=$pid
  if [ $# -gt 0 ]; then target=$(pgrep -P "$pid" | head -n 1); fi
  local cpu
  cpu=$(awk '{ print $14 + $15 }' "/proc/$target/stat")
  # Stopping the service ends strace too, which then writes its table.
  kill "$target"
  wait "$pid" 2>/dev/null || true
  echo "$label: $(awk -v ns=$((end - start)) 'BEGIN { printf "%.2f", ns / 1e9 }') s," \
    "service processor time $(awk -v t="$cpu" -v hz="$ticks" -v n="$files" 'BEGIN { printf "%.3f ms per document", t * 1000 / hz / n }')"
}
one_run plain
one_run traced strace -fc -o "$work/strace.txt"
echo "system calls per document (strace -fc):"
awk -v n="$files" '$1 ~ /^[0-9.]+$/ && NF >= 5 { calls = $4; name = $NF; if (calls / n >= 0.05) printf "  %-16s %6.2f\n", name, calls / n }' "$work/strace.txt" | sort -k2 -nr
