#!/usr/bin/env bash
# The main job: a round trip through a real nvxserver over TLS. It builds the system,
# makes a throwaway certificate authority and, signed by it, a certificate for 127.0.0.1,
# starts nvxserver with them on a free loopback port with a fresh data folder and a demo
# account, and with FOLDER (default: a sample tree made here; a given folder is copied
# first and never changed):
#   1. backs the tree up (verification, compression and the progress line on);
#   2. backs it up again unchanged: nothing is sent;
#   3. changes one 2048-byte block in the middle of the largest file, adds a file and
#      deletes one, and backs up again: the large file goes as a delta of that block;
#   4. restores the whole server tree into a new folder with a download job that gives
#      the files the server's dates, and compares every file's bytes and date with the
#      source (the deleted file is still on the server and comes back too);
#   5. runs a clean job, which deletes the deleted file's server copy.
# Every job reaches the service as https://127.0.0.1:PORT, trusting that authority alone
# (NVXServerCA), through a counting relay, so that each step prints what travelled:
# requests by method (the service's request log) and bytes each way. It ends with the
# documents of every server folder, and exits 0 only when every job ended with 0 and
# nothing differed.
#
# Usage: scripts/main-job.sh [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
given_folder=""
if [ $# -gt 0 ]; then
  [ -d "$1" ] || { echo "main-job.sh: $1 is not a folder" >&2; exit 2; }
  given_folder=$(cd "$1" && pwd)
fi

scripts/install-deps.sh

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target NVXbackup nvxserver nvxapi nvxapib \
  NVXscheduledBackup wire_relay

bin=$root/build/default
server=$bin/service/nvxserver
work=$(mktemp -d /tmp/nvx-main-job.XXXXXX)
server_pid="" relay_pid=""
cleanup() {
  for pid in $relay_pid $server_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
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
source_folder=$work/Sample
if [ -n "$given_folder" ]; then
  cp -a "$given_folder/." "$source_folder/"
else
  make_sample_tree "$source_folder"
fi
tree_name=$(basename "$source_folder")

data=$work/data
"$server" --data "$data" account add demo demo-password --quota 1073741824 >/dev/null
"$server" --data "$data" account set demo --email demo@example.test >/dev/null

# The data folder's web files: the version notice and this build's components, so that
# the wizard's update works against this service.
scripts/prepare-web-folder.sh "$data" "$bin/bin" >/dev/null

# The throwaway authority and the service's certificate for 127.0.0.1 (EC P-256, valid
# two days); the jobs verify the service against this authority alone.
tls=$work/tls
mkdir -p "$tls"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
  -keyout "$tls/authority.key" -subj "/CN=NVX main job authority" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
  -out "$tls/authority.pem" 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$tls/server.key" \
  -subj /CN=127.0.0.1 -out "$tls/server.csr" 2>/dev/null
printf '%s\n' 'subjectAltName = IP:127.0.0.1' 'extendedKeyUsage = serverAuth' >"$tls/server.ext"
openssl x509 -req -in "$tls/server.csr" -CA "$tls/authority.pem" -CAkey "$tls/authority.key" \
  -CAcreateserial -days 2 -extfile "$tls/server.ext" -out "$tls/server.pem" 2>/dev/null

# Port 0: the server picks a free port and prints it on its first line; so does the relay.
coproc SERVER {
  exec "$server" --data "$data" --listen 127.0.0.1:0 --tls-cert "$tls/server.pem" \
    --tls-key "$tls/server.key" 2>"$work/server.log"
}
server_pid=$SERVER_PID
read -r -t 20 server_port <&"${SERVER[0]}"
"$bin/bench/wire_relay" "$server_port" "$work/wire.txt" >"$work/relay.port" &
relay_pid=$!
for _ in $(seq 1 200); do [ -s "$work/relay.port" ] && break; sleep 0.05; done
read -r port <"$work/relay.port"
echo "nvxserver serving TLS on 127.0.0.1:$server_port (data in $data)," \
  "jobs through https://127.0.0.1:$port"
echo "backing up $source_folder (a copy of ${given_folder:-a sample tree made for this run})"

mkdir -p "$work/Logs"
job_head() {
  printf '%s\n' "NVXUser demo" "NVXPwEncrypt demo-password" "NVXServer https://127.0.0.1:$port" \
    "NVXServerCA $tls/authority.pem" "LogDirectory $work/Logs" "LogLevel ACTIVITY" "ResultsType Demo Backup"
}
# The first job makes sure the server folder exists; the second sends the tree into it,
# where it lands in a subfolder named like the local folder.
{ job_head; printf '%s\n' 'VerifyPath \Backup' VerifyNVXFolders "LocalPath $source_folder" \
  'NVXPath \Backup' 'IncludeSubFolders Y' 'Verify Y' 'Compress Y' 'Progress Y' 'Transfers 4' SendToNVX; } \
  >"$work/backup.txt"
# The restore lands in a subfolder named like the server folder it starts from.
restore_folder=$work/Restored
restored=$restore_folder/$tree_name
{ job_head; printf '%s\n' "LocalPath $restore_folder" "NVXPath \\Backup\\$tree_name" \
  'IncludeSubFolders Y' 'Verify Y' 'UseNVXdate Y' 'Progress Y' 'Transfers 4' CopyFromNVX; } >"$work/restore.txt"
{ job_head; printf '%s\n' "LocalPath $source_folder" 'NVXPath \Backup' 'IncludeSubFolders Y' \
  'Progress Y' CleanNVX; } >"$work/clean.txt"

problems=()
wire() { tail -n 1 "$work/wire.txt"; }  # open, seen, bytes to the service, bytes back
# Runs job file $1 as step $2 and prints what travelled; keeps the results report.
# Sets step_sent (bytes to the service) and step_puts.
step=0
run_step() {
  local job=$1 name=$2 log_before exit_code
  step=$((step + 1))
  log_before=$(wc -l <"$work/server.log")
  read -r _ _ up_before down_before < <(wire)
  echo
  echo "=== step $step: $name ==="
  rm -f "$work/Logs/Demo Backup Results.txt"
  set +e
  "$bin/bin/NVXbackup" -f "$job"
  exit_code=$?
  set -e
  for _ in $(seq 1 100); do  # the relay notes a connection once both ends closed it
    [ "$(wire | awk '{ print $1 }')" = 0 ] && break
    sleep 0.05
  done
  read -r _ _ up_after down_after < <(wire)
  cp "$work/Logs/Demo Backup Results.txt" "$work/step-$step-results.txt" 2>/dev/null ||
    echo "(no results report was written)" >"$work/step-$step-results.txt"
  step_sent=$((up_after - up_before))
  step_puts=$(tail -n +"$((log_before + 1))" "$work/server.log" | awk '$2 == "PUT"' | wc -l)
  echo "--- step $step ($name): exit code $exit_code; requests:" \
    "$(tail -n +"$((log_before + 1))" "$work/server.log" | awk 'NF > 3 && $2 ~ /^[A-Z-]+$/ { n[$2]++ }
      END { for (m in n) printf "%s %d, ", m, n[m] }')bytes to the service $step_sent," \
    "from the service $((down_after - down_before))"
  [ "$exit_code" -eq 0 ] || problems+=("step $step ($name) ended with $exit_code")
}

run_step "$work/backup.txt" "back up the tree"
run_step "$work/backup.txt" "back up again, nothing changed"
[ "$step_puts" -eq 0 ] || problems+=("the unchanged re-run sent $step_puts files")

# The largest file gets one new 2048-byte block in its middle; a file is added and one
# deleted (its bytes kept aside: the restore brings it back until the clean step).
large=$(find "$source_folder" -type f -printf '%s\t%p\n' | sort -rn | head -n 1 | cut -f 2)
large_size=$(stat -c %s "$large")
deleted=$(find "$source_folder" -type f ! -path "$large" -size +0 | sort | head -n 1)
deleted_name=${deleted#"$source_folder"/}
mkdir -p "$work/deleted"
cp -p "$deleted" "$work/deleted/copy"
rm "$deleted"
head -c 2048 /dev/urandom |
  dd of="$large" bs=2048 seek=$((large_size / 2 / 2048)) conv=notrunc status=none
printf 'A file added before the second backup.\n' >"$source_folder/added later.txt"
echo
echo "changed one 2048-byte block of ${large#"$source_folder"/} ($large_size bytes), added" \
  "'added later.txt', deleted '$deleted_name'"
run_step "$work/backup.txt" "back up the changes"
# Whole, the large file alone would put its size on the wire. The service offers a delta
# from two blocks on; below 64 KiB the saving is too small to tell from the other files.
if [ "$large_size" -ge 65536 ] && [ "$step_sent" -ge $((large_size / 2)) ]; then
  problems+=("the changed large file did not travel as a delta ($step_sent bytes sent)")
fi

run_step "$work/restore.txt" "restore the whole tree into $restore_folder"
echo "comparing every file of the source with the restored tree (bytes and dates)"
compared=0 empty=0
while IFS= read -r -d '' file; do
  relative=${file#"$source_folder"/}
  if [ ! -s "$file" ]; then  # zero-length files are never sent, so never restored
    empty=$((empty + 1))
    continue
  fi
  compared=$((compared + 1))
  if ! cmp -s "$file" "$restored/$relative"; then
    problems+=("restored '$relative' differs from the source")
  elif [ "$(stat -c %Y "$file")" != "$(stat -c %Y "$restored/$relative")" ]; then
    problems+=("restored '$relative' has the date $(stat -c %y "$restored/$relative"), the source $(stat -c %y "$file")")
  fi
done < <(find "$source_folder" -type f -print0)
cmp -s "$work/deleted/copy" "$restored/$deleted_name" ||
  problems+=("the deleted file '$deleted_name', still on the server, did not come back whole")
while IFS= read -r -d '' file; do
  relative=${file#"$restored"/}
  [ -e "$source_folder/$relative" ] || [ "$relative" = "$deleted_name" ] ||
    problems+=("the restore left '${file#"$restore_folder"/}', which the source does not hold")
done < <(find "$restore_folder" -type f -print0)
echo "compared $compared files ($empty zero-length files are not backed up)"

run_step "$work/clean.txt" "clean: server copies of deleted files go"
# The job's server paths start in the account's MyFiles folder.
deleted_folder="\\MyFiles\\Backup\\$tree_name"
deleted_parent=$(dirname "$deleted_name")
[ "$deleted_parent" = "." ] || deleted_folder="$deleted_folder\\${deleted_parent//\//\\}"
if "$server" --data "$data" doc list demo "$deleted_folder" |
  awk -F'\t' -v n="$(basename "$deleted_name")" '$1 == n { found = 1 } END { exit !found }'; then
  problems+=("the clean job left '$deleted_name' on the server")
fi

for ((i = 1; i <= step; i++)); do
  echo
  echo "=== results report of step $i ==="
  cat "$work/step-$i-results.txt"
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

echo
if [ ${#problems[@]} -eq 0 ]; then
  echo "=== round trip complete: every restored file equals its source ==="
  exit 0
fi
echo "=== the round trip found ${#problems[@]} problem(s) ==="
printf '  %s\n' "${problems[@]}"
exit 1
