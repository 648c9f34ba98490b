#!/usr/bin/env bash
# NVXbackup's backup and restore of one 1 GiB file over TLS against plain HTTP, in one run
# against one nvxserver that serves both: TLS on its first port (a throwaway authority and
# a certificate for 127.0.0.1, made with openssl), plain HTTP on its second. Each round
# backs up a new name of the same bytes and restores it, once plain and once over TLS, in
# turn; the best run of each side counts. TLS may cost at most 20% (the ratio TLS / plain
# at least 0.80) where the processor has AES instructions.
# --quick runs every step on a small file in a few seconds.
#
# Usage: bench/tls_compare.sh BUILD_DIR [--quick]    Environment: NVX_BENCH_ROUNDS (3)
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: bench/tls_compare.sh BUILD_DIR [--quick]" >&2; exit 2; }
build=$(cd "$1" && pwd)
quick=0
[ "${2:-}" = "--quick" ] && quick=1
server=$build/service/nvxserver
backup=$build/bin/NVXbackup
for program in "$server" "$backup"; do
  [ -x "$program" ] || { echo "tls_compare.sh: $program is not built" >&2; exit 1; }
done
for program in openssl cmp awk; do
  command -v "$program" >/dev/null || { echo "tls_compare.sh: $program is missing" >&2; exit 1; }
done
if [ "$quick" -eq 1 ]; then
  file_mib=8 rounds=1
else
  file_mib=1024 rounds=${NVX_BENCH_ROUNDS:-3}
fi

# shellcheck source=bench/bench_service.sh
source "$(dirname "$0")/bench_service.sh"
bench_begin tls_compare
export XDG_RUNTIME_DIR=$work
data=$work/data
user=bench password=bench-password
"$server" --data "$data" account add "$user" "$password" --quota $((1 << 40)) >/dev/null
"$server" --data "$data" folder add "$user" '\MyFiles\Bench' >/dev/null

# The authority and the service's certificate, with the key type TLS services use most.
certs=$work/certs
mkdir -p "$certs"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$certs/ca.key" -out "$certs/ca.pem" \
  -days 2 -subj "/CN=Bench authority" 2>/dev/null || fail "no authority"
openssl req -newkey rsa:2048 -nodes -keyout "$certs/server.key" -out "$certs/server.csr" \
  -subj "/CN=127.0.0.1" 2>/dev/null || fail "no certificate request"
printf 'subjectAltName=IP:127.0.0.1\n' >"$certs/san.txt"
openssl x509 -req -in "$certs/server.csr" -CA "$certs/ca.pem" -CAkey "$certs/ca.key" \
  -CAcreateserial -days 2 -extfile "$certs/san.txt" -out "$certs/server.pem" 2>/dev/null ||
  fail "no server certificate"

coproc SERVER {
  exec "$server" --data "$data" --listen 127.0.0.1:0 --tls-cert "$certs/server.pem" \
    --tls-key "$certs/server.key" --listen 127.0.0.1:0 2>"$work/server.log"
}
bench_pids+=("$SERVER_PID")
read -r -t 20 tls_port <&"${SERVER[0]}" || fail "nvxserver did not start"
read -r -t 20 plain_port <&"${SERVER[0]}" || fail "nvxserver named no plain port"

now_ns() { date +%s%N; }
best_min() { printf '%s\n' "$@" | sort -g | head -1; }
# A job file: $1 the server address, then the job's own lines.
write_job() {
  local address=$1
  shift
  { printf 'NVXUser %s\nNVXPw %s\nNVXServer %s\nNVXServerCA %s\n' "$user" "$password" \
      "$address" "$certs/ca.pem"
    printf '%s\n' "$@"; } >"$work/job.txt"
}
run_job() {
  "$backup" -f "$work/job.txt" >"$work/job.out" 2>&1 ||
    fail "NVXbackup ended with an error ($(tail -n 3 "$work/job.out"))"
}

source_file=$work/source.bin
head -c $((file_mib * 1024 * 1024)) /dev/urandom >"$source_file"
bytes=$(stat -c %s "$source_file")
declare -A backup_ns restore_ns
for ((round = 1; round <= rounds; round++)); do
  for side in plain tls; do
    if [ "$side" = tls ]; then address=https://127.0.0.1:$tls_port; else address=127.0.0.1:$plain_port; fi
    name=$side-$round.bin
    mkdir -p "$work/send" && ln -f "$source_file" "$work/send/$name"
    write_job "$address" "LocalFile $work/send/$name" 'NVXPath \Bench' 'Verify Y' 'Compress N' SendToNVX
    start=$(now_ns)
    run_job
    backup_ns[$side]="${backup_ns[$side]:-} $(($(now_ns) - start))"
    rm -f "$work/send/$name"

    rm -rf "$work/restored" && mkdir -p "$work/restored"
    write_job "$address" "LocalPath $work/restored" 'NVXPath \Bench' "NVXFile $name" CopyFromNVX
    start=$(now_ns)
    run_job
    restore_ns[$side]="${restore_ns[$side]:-} $(($(now_ns) - start))"
    cmp -s "$source_file" "$work/restored/$name" || fail "the $side restore differs from the source"
  done
done
# shellcheck disable=SC2086
for step in backup restore; do
  if [ "$step" = backup ]; then
    plain=$(best_min ${backup_ns[plain]}) tls=$(best_min ${backup_ns[tls]})
  else
    plain=$(best_min ${restore_ns[plain]}) tls=$(best_min ${restore_ns[tls]})
  fi
  awk -v b="$bytes" -v p="$plain" -v t="$tls" -v mib="$file_mib" -v step="$step" 'BEGIN {
    plain = b / (p / 1e9) / 1e6; tls = b / (t / 1e9) / 1e6
    printf "%s of a %d MiB file: plain %.1f MB/s, TLS %.1f MB/s, ratio %.2f (target >= 0.80)\n", step, mib, plain, tls, tls / plain }'
done
