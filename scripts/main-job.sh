#!/usr/bin/env bash
# The main job: builds the system, starts nvxserver on a free loopback port with a fresh
# data folder and a demo account, and backs up FOLDER (default: a sample tree made here)
# with verification, compression and the progress line on. It then runs the same job a
# second time, which finds every file already on the server and sends nothing, and prints
# the two exit codes, the results reports and the documents of every server folder.
#
# Usage: scripts/main-job.sh [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source_folder=""
if [ $# -gt 0 ]; then
  [ -d "$1" ] || { echo "main-job.sh: $1 is not a folder" >&2; exit 2; }
  source_folder=$(cd "$1" && pwd)
fi

scripts/install-deps.sh

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target NVXbackup nvxserver nvxapi nvxapib NVXscheduledBackup

bin=$root/build/default
server=$bin/service/nvxserver
work=$(mktemp -d /tmp/nvx-main-job.XXXXXX)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The sample tree: nested folders, an empty file, text that compresses well, random bytes
# that do not (one of a type that is never compressed), and one file over 64 MiB.
make_sample_tree() {
  local tree=$1
  mkdir -p "$tree/Documents/Reports/2026" "$tree/Pictures/Holidays" "$tree/Empty folder"
  : >"$tree/Documents/empty.txt"
  for i in $(seq 1 4000); do
    echo "Line $i of the quarterly report: revenue, costs and the notes that go with them."
  done >"$tree/Documents/Reports/2026/report.txt"
  printf 'Minutes of the meeting.\n' >"$tree/Documents/Reports/minutes.txt"
  head -c 300000 /dev/urandom >"$tree/Pictures/Holidays/beach.jpg"
  head -c 150000 /dev/urandom >"$tree/Pictures/random.bin"
  head -c $((64 * 1024 * 1024 + 4097)) /dev/urandom >"$tree/disk-image.bin"
}
if [ -z "$source_folder" ]; then
  source_folder=$work/Sample
  make_sample_tree "$source_folder"
fi

data=$work/data
"$server" --data "$data" account add demo demo-password --quota 1073741824 >/dev/null
"$server" --data "$data" account set demo --email demo@example.test >/dev/null

# The data folder's web files: the version notice and this build's components, so that
# the wizard's update works against this service.
scripts/prepare-web-folder.sh "$data" "$bin/bin" >/dev/null

# Port 0: the server picks a free port and prints it on its first line.
coproc SERVER { exec "$server" --data "$data" --listen 127.0.0.1:0 2>"$work/server.log"; }
server_pid=$SERVER_PID
read -r -t 20 port <&"${SERVER[0]}"
echo "nvxserver listening on 127.0.0.1:$port (data in $data)"
echo "backing up $source_folder"

mkdir -p "$work/Logs"
# The first job makes sure the server folder exists; the second sends the tree into it,
# where it lands in a subfolder named like the local folder.
cat >"$work/config.txt" <<CONFIG
NVXUser demo
NVXPwEncrypt demo-password
NVXServer 127.0.0.1:$port
LogDirectory $work/Logs
LogLevel ACTIVITY
ResultsType Demo Backup
VerifyPath \\Backup
VerifyNVXFolders
LocalPath $source_folder
NVXPath \\Backup
IncludeSubFolders Y
Verify Y
Compress Y
Progress Y
SendToNVX
CONFIG

# Runs the job; $1 names the run. Sets run_exit and keeps the run's results report.
run_job() {
  local name=$1 before
  before=$(grep -c ' PUT ' "$work/server.log" || true)
  echo
  echo "=== $name run ==="
  set +e
  "$bin/bin/NVXbackup" -f "$work/config.txt"
  run_exit=$?
  set -e
  cp "$work/Logs/Demo Backup Results.txt" "$work/$name-results.txt" 2>/dev/null ||
    echo "(no results report was written)" >"$work/$name-results.txt"
  run_puts=$(($(grep -c ' PUT ' "$work/server.log" || true) - before))
}

run_job first
first_exit=$run_exit
first_puts=$run_puts
run_job second
second_exit=$run_exit
second_puts=$run_puts

echo
echo "=== exit codes: first run $first_exit, second run $second_exit ==="
echo "=== uploads (PUT requests): first run $first_puts, second run $second_puts ==="
for name in first second; do
  echo
  echo "=== results report of the $name run ==="
  cat "$work/$name-results.txt"
done

echo
echo "=== server folders and their documents (name, size, date, MD5, state, version) ==="
# "level TAB name TAB access TAB id" lines, depth first: the path of each folder is the
# path of the last folder one level up, then its own name.
declare -a path_at_level=()
while IFS=$'\t' read -r level name _access _id; do
  [ -n "$level" ] || continue
  if [ "$level" -eq 0 ]; then
    path="\\$name"
  else
    path="${path_at_level[$((level - 1))]}\\$name"
  fi
  path_at_level[level]=$path
  echo "$path"
  "$server" --data "$data" doc list demo "$path" | sed 's/^/    /'
done < <("$server" --data "$data" folder list demo)

[ "$first_exit" -eq 0 ] && [ "$second_exit" -eq 0 ] && [ "$second_puts" -eq 0 ]
