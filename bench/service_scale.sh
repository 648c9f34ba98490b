#!/usr/bin/env bash
# The service's throughput for many users, in one run, three ways:
#   sqlite-1  one nvxserver on the embedded store (SQLite in its data folder)
#   pg-1      one nvxserver on PostgreSQL 15 (a private cluster started here)
#   pg-2      two nvxservers on the same database and blob folder
# each behind HAProxy (TCP, round robin) on a loopback port. Three figures per setup:
#   documents/s  new small documents (SMALL bytes, each its own name) PUT by 8 clients at
#                once, each an account of its own (as many users are), each curl keeping
#                its connection for all its uploads; then the same into one account over
#                4 connections at once (one user's backup with "Transfers 4")
#   logins/s     login checks (TestId) from 8 clients at once (ab -k), one account
# Every document is counted back through `nvxserver doc list` before a figure counts.
# PostgreSQL keeps its defaults (each commit flushed), as SQLite does (synchronous=FULL).
# When run as root, PostgreSQL runs as "nobody". Everything started is stopped at exit.
#
# Usage: bench/service_scale.sh BUILD_DIR [--quick]
#   Environment: NVX_BENCH_DOCUMENTS (per client, 250), NVX_BENCH_LOGINS (4000),
#                NVX_BENCH_SMALL (bytes of a document, 2000)
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: bench/service_scale.sh BUILD_DIR [--quick]" >&2; exit 2; }
build=$(cd "$1" && pwd)
documents=${NVX_BENCH_DOCUMENTS:-250} logins=${NVX_BENCH_LOGINS:-4000}
small=${NVX_BENCH_SMALL:-2000}
[ "${2:-}" = "--quick" ] && documents=10 logins=200
clients=8
server=$build/service/nvxserver
headers_tool=$build/bench/upload_headers
pg_bin=/usr/lib/postgresql/15/bin
for program in "$server" "$headers_tool" "$pg_bin/initdb" "$pg_bin/postgres" /usr/sbin/haproxy; do
  [ -x "$program" ] || { echo "service_scale.sh: $program is missing" >&2; exit 1; }
done
for program in curl ab awk; do
  command -v "$program" >/dev/null || { echo "service_scale.sh: $program is missing" >&2; exit 1; }
done

# shellcheck source=bench/bench_service.sh
source "$(dirname "$0")/bench_service.sh"
bench_begin service_scale
chmod 755 "$work"
now_ns() { date +%s%N; }
user=bench password=bench-password
declare -A documents_per_second

# --- PostgreSQL, private: its own folder, a socket there, no TCP ---
as_pg_user=()
[ "$(id -u)" -eq 0 ] && as_pg_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
mkdir -p "$work/pg" "$work/socket"
[ "$(id -u)" -eq 0 ] && chown nobody:nogroup "$work/pg" "$work/socket"
"${as_pg_user[@]}" "$pg_bin/initdb" -D "$work/pg/data" -U nvx --auth=trust -E UTF8 \
  --locale=C >"$work/initdb.log" 2>&1 || fail "initdb failed: $(tail -n 3 "$work/initdb.log")"
"${as_pg_user[@]}" "$pg_bin/postgres" -D "$work/pg/data" -k "$work/socket" -p 5432 \
  -c listen_addresses= -c max_connections=200 >"$work/postgres.log" 2>&1 &
postgres_pid=$!
# A fast shutdown first (a plain stop waits for the front ends' sessions), then the rest.
trap 'kill -INT "$postgres_pid" 2>/dev/null; wait "$postgres_pid" 2>/dev/null; bench_cleanup' EXIT
pg_url() { echo "postgresql:///$1?host=$work/socket&port=5432&user=nvx"; }
for _ in $(seq 1 100); do
  [ -S "$work/socket/.s.PGSQL.5432" ] && "$pg_bin/pg_isready" -q -h "$work/socket" -p 5432 && break
  sleep 0.1
done
"$pg_bin/pg_isready" -q -h "$work/socket" -p 5432 || fail "PostgreSQL did not start"

# Starts one front end, its log `$1`, its options the rest; its port goes to `port`.
start_front_end() {
  local log=$1
  shift
  "$server" "$@" --listen 127.0.0.1:0 >"$log.port" 2>"$log" &
  bench_pids+=($!)
  for _ in $(seq 1 200); do
    port=$(head -n 1 "$log.port" 2>/dev/null || true)
    [ -n "$port" ] && return
    sleep 0.05
  done
  fail "nvxserver did not start ($(tail -n 2 "$log"))"
}

# HAProxy on a free port in front of the ports given; sets balancer_port.
start_balancer() {
  local config=$work/haproxy-$setup.cfg i=0 backend_port
  balancer_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  {
    printf 'global\n  maxconn 1000\ndefaults\n  mode tcp\n  timeout connect 2s\n'
    printf '  timeout client 60s\n  timeout server 60s\n'
    printf 'frontend clients\n  bind 127.0.0.1:%s\n  default_backend servers\n' "$balancer_port"
    printf 'backend servers\n  balance roundrobin\n'
    for backend_port in "$@"; do printf '  server s%d 127.0.0.1:%s\n' $((i++)) "$backend_port"; done
  } >"$config"
  /usr/sbin/haproxy -db -f "$config" >"$work/haproxy-$setup.log" 2>&1 &
  bench_pids+=($!)
  for _ in $(seq 1 100); do
    curl -s -o /dev/null "http://127.0.0.1:$balancer_port/" && return
    sleep 0.05
  done
  fail "HAProxy did not start"
}

# One setup: $1 its name, $2 the number of front ends, the rest the store options.
measure() {
  setup=$1
  local front_ends=$2
  shift 2
  local data=$work/data-$setup options=("$@") ports=() i folder_id base rattart start ns stored header
  local admin=("$server" --data "$data" "${options[@]}") folder_ids=()
  for ((i = 1; i <= clients; i++)); do
    "${admin[@]}" account add "$user$i" "$password" --quota $((1 << 40)) >/dev/null
    "${admin[@]}" folder add "$user$i" '\MyFiles\Bench' >/dev/null
    folder_id=$("${admin[@]}" folder list "$user$i" | awk -F'\t' '$2 == "Bench" { print $4 }')
    [ -n "$folder_id" ] || fail "$setup: no folder id for \\Bench"
    folder_ids+=("$folder_id")
  done
  for ((i = 1; i <= front_ends; i++)); do
    start_front_end "$work/$setup-$i.log" --data "$data" "${options[@]}"
    ports+=("$port")
  done
  start_balancer "${ports[@]}"
  base="http://127.0.0.1:$balancer_port/scripts/rizezi7.dll"

  head -c "$small" /dev/urandom >"$work/small.bin"
  for ((i = 1; i <= clients; i++)); do
    "$headers_tool" "$user$i" "$password" "${folder_ids[i - 1]}" "$work/small.bin" >"$work/headers-$i"
  done
  # put_all NAME_PREFIX CLIENT...: one curl per argument at once, each with the headers of
  # the account of that client and its own documents on one kept-alive connection.
  put_all() {
    local prefix=$1 client curls=() n=0
    shift
    for client in "$@"; do
      mapfile -t headers <"$work/headers-$client"
      local curl_args=(-sS -o /dev/null -T "$work/small.bin" -H "Expect:")
      for header in "${headers[@]}"; do curl_args+=(-H "$header"); done
      n=$((n + 1))
      curl "${curl_args[@]}" "$base?$prefix$n-[1-$documents].bin" &
      curls+=($!)
    done
    for client in "${curls[@]}"; do wait "$client" || fail "$setup: a client failed"; done
  }
  start=$(now_ns)
  put_all c $(seq 1 "$clients")
  ns=$(($(now_ns) - start))
  for ((i = 1; i <= clients; i++)); do
    stored=$("${admin[@]}" doc list "$user$i" '\MyFiles\Bench' | awk -F'\t' '$5 == "complete"' | wc -l)
    [ "$stored" -eq "$documents" ] || fail "$setup: $stored of $documents documents of $user$i stored"
  done
  documents_rate=$(awk -v n=$((clients * documents)) -v t="$ns" 'BEGIN { printf "%.1f", n / (t / 1e9) }')
  # One account over four connections, as one backup with "Transfers 4" sends its files.
  start=$(now_ns)
  put_all one 1 1 1 1
  ns=$(($(now_ns) - start))
  stored=$("${admin[@]}" doc list "${user}1" '\MyFiles\Bench' | awk -F'\t' '$5 == "complete"' | wc -l)
  [ "$stored" -eq $((5 * documents)) ] || fail "$setup: $stored of $((5 * documents)) documents of ${user}1 stored"
  one_account_rate=$(awk -v n=$((4 * documents)) -v t="$ns" 'BEGIN { printf "%.1f", n / (t / 1e9) }')

  rattart=${headers[0]}
  logins_rate=$(ab -k -n "$logins" -c "$clients" -H "$rattart" "$base?TestId" 2>/dev/null |
    awk '/^Requests per second:/ { print $4 }')
  [ -n "$logins_rate" ] || fail "$setup: ab measured nothing"
  printf '%-9s %d front end(s): %8s documents/s (%d x %d PUTs of %d bytes), %8s logins/s,' \
    "$setup" "$front_ends" "$documents_rate" "$clients" "$documents" "$small" "$logins_rate"
  printf ' %8s documents/s of one account over 4 connections\n' "$one_account_rate"
  documents_per_second[$setup]=$documents_rate
}

"$pg_bin/createdb" -h "$work/socket" -p 5432 -U nvx one
"$pg_bin/createdb" -h "$work/socket" -p 5432 -U nvx two
measure sqlite-1 1
measure pg-1 1 --database "$(pg_url one)"
measure pg-2 2 --database "$(pg_url two)" --blobs "$work/shared-blobs"
awk -v s="${documents_per_second[sqlite-1]}" -v p1="${documents_per_second[pg-1]}" \
  -v p2="${documents_per_second[pg-2]}" 'BEGIN {
  printf "documents/s: pg-2 / pg-1 = %.2f (target >= 1.5), pg-1 / sqlite-1 = %.2f (target >= 0.7)\n", p2 / p1, p1 / s }'
