#!/usr/bin/env bash
# The headless trevalind-server beside dcmtk's storescp and Orthanc, each fed by dcmtk's storescu
# in the same run:
#   1. COUNT ECG objects (pydicom's 290 KB sample, new UIDs) over one association: throughput of
#      all three, and our server's CPU time (user + system) per object;
#   2. one object of BIG_MIB MiB: the time our server and storescp take, and how much our
#      server's peak memory grows while storing it, as a multiple of the object's size.
# Every store goes to a folder of its own, and nothing is removed before the run ends: on an ext4
# without a journal, creating a file searches past every inode deleted in the last minute or so,
# which would charge one contender for the files of the one before it.
# Ours writes every file, flushes it and its folder to the disk and indexes it in the study
# database; storescp writes files only; Orthanc writes files and indexes them in its own database.
# Our server also stores the COUNT objects once more started with --no-flush, so the flushing
# cost per object is printed beside what the file system charges Python for the same two flushes
# of one such file, measured in the same run, and the big object's time without flushing is
# printed beside the flushed one.
#   bench/server/run.sh BUILD_FOLDER [COUNT [BIG_MIB]]
set -euo pipefail
build=$(cd "$1" && pwd)
count=${2:-300}
big_mib=${3:-200}
here=$(cd "$(dirname "$0")" && pwd)
server="$build/net/server/trevalind-server"
[ -x "$server" ] || { echo "build the trevalind-server target first" >&2; exit 1; }
# The work folder lies in the build folder rather than in /tmp, where the tests create and remove
# thousands of files (see the note on deleted inodes above).
work=$(mktemp -d "$build/bench-server-XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
now() { date +%s.%N; }
since() { echo "$(now) - $1" | bc -l; }
cpu_seconds() { awk -v hz="$(getconf CLK_TCK)" '{print ($14 + $15) / hz}' "/proc/$1/stat"; }
peak_kb() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }
wait_for() { for _ in $(seq 300); do echoscu -aec "$1" 127.0.0.1 "$2" 2>/dev/null && return; sleep 0.1; done; }

/usr/bin/python3 "$here/make_objects.py" "$work/objects" "$count" "$big_mib"
bytes=$(du -sb "$work/objects" | cut -f1)
big_bytes=$(stat -c %s "$work/big.dcm")

# One run of our server over a fresh node folder, with the options given: the COUNT objects,
# then the big object. Sets secs, cpu_ms (per object), rows, big_secs, peak0, peak1, files.
run_ours() {
  local port
  port=$(free_port)
  node="$work/node$*"
  "$server" "$@" "$node" "$port" TREVALIND > "$work/server$*.out" 2>&1 &
  server_pid=$!
  pids+=("$server_pid")
  wait_for TREVALIND "$port"
  local cpu0 start
  cpu0=$(cpu_seconds "$server_pid")
  start=$(now)
  storescu -aec TREVALIND 127.0.0.1 "$port" "$work"/objects/*.dcm
  secs=$(since "$start")
  cpu_ms=$(echo "($(cpu_seconds "$server_pid") - $cpu0) * 1000 / $count" | bc -l)
  rows=$(sqlite3 "$node/database/ecg.db" "SELECT COUNT(*) FROM Objects")
  peak0=$(peak_kb "$server_pid")
  start=$(now)
  storescu -aec TREVALIND 127.0.0.1 "$port" "$work/big.dcm"
  big_secs=$(since "$start")
  peak1=$(peak_kb "$server_pid")
  files=$(find "$node/imagebox" -name '*.dcm' | wc -l)
  kill "$server_pid"; wait "$server_pid" 2>/dev/null || true
}

run_ours
ours=$secs; ours_cpu=$cpu_ms; ours_rows=$rows; ours_big=$big_secs; ours_files=$files
ours_peak0=$peak0; ours_peak1=$peak1
run_ours --no-flush
unflushed=$secs; unflushed_cpu=$cpu_ms; unflushed_rows=$rows; unflushed_big=$big_secs

# dcmtk's storescp.
scp_port=$(free_port)
mkdir -p "$work/scp"
storescp -od "$work/scp" "$scp_port" > "$work/scp.out" 2>&1 &
scp_pid=$!
pids+=("$scp_pid")
wait_for ANY-SCP "$scp_port"
start=$(now)
storescu 127.0.0.1 "$scp_port" "$work"/objects/*.dcm
theirs=$(since "$start")
start=$(now)
storescu 127.0.0.1 "$scp_port" "$work/big.dcm"
theirs_big=$(since "$start")
kill "$scp_pid"; wait "$scp_pid" 2>/dev/null || true

# Orthanc.
orthanc_port=$(free_port)
http_port=$(free_port)
mkdir -p "$work/orthanc"
cat > "$work/orthanc.json" <<JSON
{"Name": "BENCH", "StorageDirectory": "$work/orthanc", "IndexDirectory": "$work/orthanc",
 "DicomAet": "ORTHANC", "DicomPort": $orthanc_port, "HttpPort": $http_port,
 "RemoteAccessAllowed": false, "AuthenticationEnabled": false, "Plugins": []}
JSON
Orthanc "$work/orthanc.json" > "$work/orthanc.out" 2>&1 &
orthanc_pid=$!
pids+=("$orthanc_pid")
wait_for ORTHANC "$orthanc_port"
start=$(now)
storescu -aec ORTHANC 127.0.0.1 "$orthanc_port" "$work"/objects/*.dcm
orthanc=$(since "$start")
kill "$orthanc_pid"; wait "$orthanc_pid" 2>/dev/null || true

read -r plain_ms flushed_ms < <(/usr/bin/python3 "$here/flush_cost.py" \
  "$(ls "$work"/objects/*.dcm | head -1)" "$work/flush-cost")

ratio() { echo "$1 / $2" | bc -l; }
printf 'objects: %d (%.1f MB), over one association\n' "$count" "$(echo "$bytes / 1048576" | bc -l)"
printf 'trevalind-server: %.2f s, %.1f objects/s, %d rows; CPU %.2f ms per object\n' \
  "$ours" "$(ratio "$count" "$ours")" "$ours_rows" "$ours_cpu"
printf 'trevalind-server without flushing: %.2f s, %.1f objects/s, %d rows; CPU %.2f ms per object\n' \
  "$unflushed" "$(ratio "$count" "$unflushed")" "$unflushed_rows" "$unflushed_cpu"
printf 'dcmtk storescp:   %.2f s, %.1f objects/s\n' "$theirs" "$(ratio "$count" "$theirs")"
printf 'Orthanc:          %.2f s, %.1f objects/s\n' "$orthanc" "$(ratio "$count" "$orthanc")"
printf 'throughput ratio: ours / storescp %.1f, ours / Orthanc %.1f\n' \
  "$(ratio "$theirs" "$ours")" "$(ratio "$orthanc" "$ours")"
printf 'throughput ratio without flushing: ours / storescp %.1f, ours / Orthanc %.1f\n' \
  "$(ratio "$theirs" "$unflushed")" "$(ratio "$orthanc" "$unflushed")"
printf 'flushing costs per object: %.2f ms; the same two flushes of one such file by Python: %.2f ms\n' \
  "$(echo "($ours - $unflushed) * 1000 / $count" | bc -l)" "$(echo "$flushed_ms - $plain_ms" | bc -l)"
printf 'one %.0f MiB object: trevalind-server %.2f s, storescp %.2f s (ours / storescp %.2f)\n' \
  "$(echo "$big_bytes / 1048576" | bc -l)" "$ours_big" "$theirs_big" "$(ratio "$ours_big" "$theirs_big")"
printf 'the same object without flushing: trevalind-server %.2f s (ours / storescp %.2f)\n' \
  "$unflushed_big" "$(ratio "$unflushed_big" "$theirs_big")"
printf 'peak memory of trevalind-server: %.1f MB before the big object, %.1f MB after: grew by %.2f times the object\n' \
  "$(echo "$ours_peak0 / 1024" | bc -l)" "$(echo "$ours_peak1 / 1024" | bc -l)" \
  "$(echo "($ours_peak1 - $ours_peak0) * 1024 / $big_bytes" | bc -l)"
[ "$ours_files" -eq $((count + 1)) ] ||
  echo "WARNING: $ours_files files stored, expected $((count + 1))"
