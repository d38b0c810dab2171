#!/usr/bin/env bash
# Stores 1,000 ECG objects with one storescu association into our server (which writes every
# file and indexes it in the study database) and into dcmtk's storescp (files only); prints both
# throughputs, their ratio and the server's peak memory.
#   bench/server/run.sh BUILD_FOLDER [COUNT]
set -euo pipefail
build=$(cd "$1" && pwd)
count=${2:-1000}
here=$(cd "$(dirname "$0")" && pwd)
server="$build/net/server/trevalind-server"
[ -x "$server" ] || { echo "build the trevalind-server target first" >&2; exit 1; }
work=$(mktemp -d /tmp/trevalind-bench-server-XXXXXX)
server_pid=""
scp_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  [ -n "$scp_pid" ] && kill "$scp_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
now() { date +%s.%N; }

/usr/bin/python3 "$here/make_objects.py" "$work/objects" "$count"
bytes=$(du -sb "$work/objects" | cut -f1)

port=$(free_port)
"$server" "$work/node" "$port" TREVALIND > "$work/server.out" 2>&1 &
server_pid=$!
until echoscu -aec TREVALIND 127.0.0.1 "$port" 2>/dev/null; do sleep 0.1; done
start=$(now)
storescu -aec TREVALIND 127.0.0.1 "$port" "$work"/objects/*.dcm
ours=$(echo "$(now) - $start" | bc -l)
peak_kb=$(awk '/VmHWM/ {print $2}' /proc/$server_pid/status)
rows=$(sqlite3 "$work/node/database/ecg.db" "SELECT COUNT(*) FROM Objects")
files=$(find "$work/node/imagebox" -name '*.dcm' | wc -l)
kill "$server_pid"; wait "$server_pid" 2>/dev/null || true; server_pid=""

scp_port=$(free_port)
mkdir -p "$work/scp"
storescp -od "$work/scp" "$scp_port" > "$work/scp.out" 2>&1 &
scp_pid=$!
until echoscu 127.0.0.1 "$scp_port" 2>/dev/null; do sleep 0.1; done
start=$(now)
storescu 127.0.0.1 "$scp_port" "$work"/objects/*.dcm
theirs=$(echo "$(now) - $start" | bc -l)
kill "$scp_pid"; wait "$scp_pid" 2>/dev/null || true; scp_pid=""

printf 'objects: %d (%.1f MB), over one association\n' "$count" "$(echo "$bytes / 1048576" | bc -l)"
printf 'trevalind-server: %.2f s, %.1f objects/s, %d rows, %d files, peak memory %.1f MB\n' \
  "$ours" "$(echo "$count / $ours" | bc -l)" "$rows" "$files" "$(echo "$peak_kb / 1024" | bc -l)"
printf 'dcmtk storescp:   %.2f s, %.1f objects/s\n' "$theirs" "$(echo "$count / $theirs" | bc -l)"
printf 'throughput ratio (ours / storescp): %.1f\n' "$(echo "$theirs / $ours" | bc -l)"
