# Sourced by the comparison scripts (upload_compare.sh, restore_compare.sh): a scratch
# folder removed at exit together with every process recorded in bench_pids, the failure
# helper, and a fresh nvxserver with one account and its folder \Bench on a free loopback
# port.
#   bench_begin NAME             sets work, installs the exit trap
#   fail TEXT...                 prints "NAME.sh: TEXT" and the server log's tail; exit 1
#   bench_add_account SERVER DATA  the account user (password) with \MyFiles\Bench in the
#                                data folder DATA
#   bench_start_service SERVER   sets data, user, password, folder_id, port and base_url;
#                                the service also takes the words of NVX_BENCH_SERVER_OPTIONS
#                                (with --metrics, metrics_port is set too)
bench_pids=()
bench_begin() {
  bench_name=$1
  work=$(mktemp -d "/tmp/nvx-$1.XXXXXX")
  trap bench_cleanup EXIT
}
bench_cleanup() {
  local pid
  for pid in "${bench_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
fail() {
  echo "$bench_name.sh: $*" >&2
  [ -f "$work/server.log" ] && tail -n 5 "$work/server.log" >&2
  exit 1
}
user=bench password=bench-password
bench_add_account() {
  "$1" --data "$2" account add "$user" "$password" --quota $((1 << 40)) >/dev/null
  # A job's server paths start in the account's MyFiles folder.
  "$1" --data "$2" folder add "$user" '\MyFiles\Bench' >/dev/null
}
bench_start_service() {
  local server=$1
  data=$work/data
  bench_add_account "$server" "$data"
  folder_id=$("$server" --data "$data" folder list "$user" | awk -F'\t' '$2 == "Bench" { print $4 }')
  [ -n "$folder_id" ] || fail "no folder id for \\Bench"
  local options
  read -r -a options <<<"${NVX_BENCH_SERVER_OPTIONS:-}"
  coproc SERVER { exec "$server" --data "$data" --listen 127.0.0.1:0 "${options[@]}" 2>"$work/server.log"; }
  bench_pids+=("$SERVER_PID")
  read -r -t 20 port <&"${SERVER[0]}" || fail "nvxserver did not start"
  metrics_port=
  if [[ " ${options[*]} " == *" --metrics "* ]]; then
    read -r -t 20 metrics_port <&"${SERVER[0]}" || fail "nvxserver gave no metrics port"
  fi
  base_url="http://127.0.0.1:$port/scripts/rizezi7.dll"
}
