#!/usr/bin/env bash
# The main job: builds the system, starts nvxserver on a free loopback port with a fresh
# data folder and a demo account, runs NVXbackup on a job file that logs in and makes sure
# its server folders exist, and prints the results report.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target NVXbackup nvxserver nvxapi

bin=build/default
work=$(mktemp -d /tmp/nvx-main-job.XXXXXX)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

data=$work/data
"$bin/service/nvxserver" --data "$data" account add demo demo-password --quota 1073741824 \
  >/dev/null
"$bin/service/nvxserver" --data "$data" account set demo --email demo@example.test >/dev/null
scripts/prepare-web-folder.sh "$data" "$bin/bin" >/dev/null

# Port 0: the server picks a free port and prints it on its first line.
coproc SERVER { exec "$bin/service/nvxserver" --data "$data" --listen 127.0.0.1:0 2>"$work/server.log"; }
server_pid=$SERVER_PID
read -r -t 20 port <&"${SERVER[0]}"
echo "nvxserver listening on 127.0.0.1:$port (data in $data)"

mkdir -p "$work/Logs"
cat >"$work/config.txt" <<CONFIG
NVXUser demo
NVXPwEncrypt demo-password
NVXServer 127.0.0.1:$port
LogDirectory $work/Logs
LogLevel ACTIVITY
ResultsType Demo Backup
Debug Y
VerifyPath \\Backup\\Documents
VerifyPath \\Backup\\Pictures
VerifyNVXFolders
CONFIG

set +e
"$bin/bin/NVXbackup" -f "$work/config.txt"
exit_code=$?
set -e

echo
echo "=== NVXbackup exit code: $exit_code ==="
echo "=== server folders ==="
"$bin/service/nvxserver" --data "$data" folder list demo
echo "=== results report ==="
cat "$work/Logs/Demo Backup Results.txt"
exit "$exit_code"
