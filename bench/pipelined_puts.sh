#!/usr/bin/env bash
# The service's cost per document when its clients send their next requests before
# reading the answers (HTTP/1.1 pipelining): FILES new small documents (1-16 KiB, default
# 10,000) PUT on CONNECTIONS kept-alive connections (default 4), with 1, 4 and 8 requests
# in flight on each, a fresh nvxserver for each. One in flight is what a client that
# waits for every answer makes. Prints the wall time and the service's processor time
# per document (from /proc) of each, and checks that every answer was "Successful".
#   bench/pipelined_puts.sh BUILD_DIR [FILES] [CONNECTIONS]
set -euo pipefail
build=$(cd "$1" && pwd)
files=${2:-10000}
connections=${3:-4}
here=$(cd "$(dirname "$0")" && pwd)
server=$build/service/nvxserver
command -v python3 >/dev/null || { echo "pipelined_puts.sh: python3 is missing" >&2; exit 1; }
# shellcheck source=bench/bench_service.sh
source "$here/bench_service.sh"
bench_begin pipelined_puts
ticks=$(getconf CLK_TCK)

# The client: each connection PUTs its share of the documents, keeping WINDOW requests
# out, and counts the answers that are not "Successful". The documents are made in memory
# from a fixed seed; their headers are those a new upload carries (upload_headers).
cat >"$work/client.py" <<'PY'
import multiprocessing, random, socket, sys, time
port, folder, files, connections, window, headers_file = sys.argv[1:7]
files, connections, window = int(files), int(connections), int(window)
headers = [line.rstrip("\n") for line in open(headers_file)
           if not line.startswith(("X-NVX-NEE", "X-NVX-BLACMANGE"))]

def request(number):
    body = random.Random(number).randbytes(random.Random(-number).randint(1024, 16384))
    head = "PUT /scripts/rizezi7.dll?doc-%06d.bin HTTP/1.1\r\nHost: bench\r\n" % number
    head += "".join(line + "\r\n" for line in headers)
    head += "X-NVX-BLACMANGE: %s\r\nX-NVX-NEE: 0,0,,%d;\r\nContent-Length: %d\r\n\r\n" % (
        folder, len(body), len(body))
    return head.encode() + body

def connection(index):
    mine = [request(n) for n in range(index, files, connections)]
    sock = socket.create_connection(("127.0.0.1", int(port)))
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    received, sent, answered, refused = b"", 0, 0, 0
    while answered < len(mine):
        while sent < len(mine) and sent - answered < window:
            sock.sendall(mine[sent])
            sent += 1
        end = received.find(b"\r\n\r\n")
        length = 0
        if end >= 0:
            head = received[:end].decode(errors="replace")
            for line in head.split("\r\n"):
                if line.lower().startswith("content-length:"):
                    length = int(line.split(":", 1)[1])
        if end < 0 or len(received) < end + 4 + length:
            more = sock.recv(65536)
            if not more:
                raise SystemExit("the service closed the connection after %d answers" % answered)
            received += more
            continue
        refused += "X-NVX-CONCLUSION: Successful" not in head
        received = received[end + 4 + length:]
        answered += 1
    return refused

start = time.monotonic()
with multiprocessing.Pool(connections) as pool:
    refused = sum(pool.map(connection, range(connections)))
print("%.2f %d" % (time.monotonic() - start, refused))
PY

printf 'x' >"$work/one.bin"
for window in 1 4 8; do
  rm -rf "$work/data"
  bench_pids=()
  bench_start_service "$server"
  "$build/bench/upload_headers" "$user" "$password" "$folder_id" "$work/one.bin" >"$work/headers.txt"
  read -r seconds refused < <(python3 "$work/client.py" "$port" "$folder_id" "$files" \
    "$connections" "$window" "$work/headers.txt")
  [ "$refused" = 0 ] || fail "$refused of $files uploads were not answered \"Successful\""
  cpu=$(awk '{ print $14 + $15 }' "/proc/$SERVER_PID/stat")
  kill "$SERVER_PID"
  wait "$SERVER_PID" 2>/dev/null || true
  echo "$files documents, $connections connections, $window in flight on each: $seconds s," \
    "service processor time $(awk -v t="$cpu" -v hz="$ticks" -v n="$files" 'BEGIN { printf "%.3f ms per document", t * 1000 / hz / n }')"
done
