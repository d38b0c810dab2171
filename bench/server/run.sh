#!/usr/bin/env bash
# Stores 1,000 ECG objects with one storescu association into our server (which writes every
# file, flushes it to the disk and indexes it in the study database), into our server started
# with --no-flush, and into dcmtk's storescp (files only, never flushed); prints the three
# throughputs, what the flushing costs per object (beside what the file system charges Python for
# the same two flushes, measured in the same run), the ratios and our server's peak memory.
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

# One run of our server over a fresh node folder: sets secs, peak_kb, rows, files.
run_ours() {
  local node="$work/node-$1"; shift
  local port
  port=$(free_port)
  "$server" "$@" "$node" "$port" TREVALIND > "$node.out" 2>&1 &
  server_pid=$!
  until echoscu -aec TREVALIND 127.0.0.1 "$port" 2>/dev/null; do sleep 0.1; done
  local start
  start=$(now)
  storescu -aec TREVALIND 127.0.0.1 "$port" "$work"/objects/*.dcm
  secs=$(echo "$(now) - $start" | bc -l)
  peak_kb=$(awk '/VmHWM/ {print $2}' /proc/$server_pid/status)
  rows=$(sqlite3 "$node/database/ecg.db" "SELECT COUNT(*) FROM Objects")
  files=$(find "$node/imagebox" -name '*.dcm' | wc -l)
  kill "$server_pid"; wait "$server_pid" 2>/dev/null || true; server_pid=""
}

run_ours flushed
ours=$secs; ours_peak=$peak_kb; ours_rows=$rows; ours_files=$files
run_ours unflushed --no-flush
unflushed=$secs; unflushed_peak=$peak_kb; unflushed_rows=$rows; unflushed_files=$files

scp_port=$(free_port)
mkdir -p "$work/scp"
storescp -od "$work/scp" "$scp_port" > "$work/scp.out" 2>&1 &
scp_pid=$!
until echoscu 127.0.0.1 "$scp_port" 2>/dev/null; do sleep 0.1; done
start=$(now)
storescu 127.0.0.1 "$scp_port" "$work"/objects/*.dcm
theirs=$(echo "$(now) - $start" | bc -l)
kill "$scp_pid"; wait "$scp_pid" 2>/dev/null || true; scp_pid=""

read -r plain_ms flushed_ms < <(/usr/bin/python3 "$here/flush_cost.py" \
  "$(ls "$work"/objects/*.dcm | head -1)" "$work/flush-cost")

printf 'objects: %d (%.1f MB), over one association\n' "$count" "$(echo "$bytes / 1048576" | bc -l)"
line() {
  printf '%-36s %.2f s, %.1f objects/s, %d rows, %d files, peak memory %.1f MB\n' "$1" "$2" \
    "$(echo "$count / $2" | bc -l)" "$3" "$4" "$(echo "$5 / 1024" | bc -l)"
}
line 'trevalind-server (flushed to disk):' "$ours" "$ours_rows" "$ours_files" "$ours_peak"
line 'trevalind-server (without flushing):' "$unflushed" "$unflushed_rows" "$unflushed_files" \
  "$unflushed_peak"
printf '%-36s %.2f s, %.1f objects/s\n' 'dcmtk storescp (files, no flush):' "$theirs" \
  "$(echo "$count / $theirs" | bc -l)"
printf 'flushing costs per object: %.2f ms; the same two flushes of one such file by Python: %.2f ms\n' \
  "$(echo "($ours - $unflushed) * 1000 / $count" | bc -l)" "$(echo "$flushed_ms - $plain_ms" | bc -l)"
printf 'throughput ratio (ours / storescp): %.1f flushed, %.1f without flushing\n' \
  "$(echo "$theirs / $ours" | bc -l)" "$(echo "$theirs / $unflushed" | bc -l)"
