#!/usr/bin/env bash
# The headless trevalind-server beside dcmtk's storescp and Orthanc, each fed by dcmtk's storescu
# in the same run. Four parts (PARTS="one big parallel memory" by default, any of them alone):
#   one:      COUNT ECG objects (pydicom's 290 KB sample, new UIDs) over one association:
#             throughput of all three, and our server's CPU time (user + system) per object;
#   big:      one object of BIG_MIB MiB: the time our server and storescp take, and how much our
#             server's peak memory grows while storing it, as a multiple of the object's size;
#   parallel: SENDERS storescu processes at once, PER_SENDER ECG objects each, into our server,
#             Orthanc and storescp --fork (one process per association), with rows = files =
#             objects sent checked;
#   memory:   SENDERS objects of PARALLEL_MIB MiB sent at once into a fresh server of ours: its
#             peak memory growth beside the bytes in flight, and its resident memory a few
#             seconds after the burst beside its resident memory when idle.
# Every store goes to a folder of its own, and nothing is removed before the run ends: on an ext4
# without a journal, creating a file searches past every inode deleted in the last minute or so,
# which would charge one contender for the files of the one before it. For the same reason every
# contender starts on a quiet disk: what earlier contenders (or the making of the objects) left
# unwritten is written out first, not during the next contender's flushes.
# Ours writes every file, flushes it and its folder to the disk and indexes it in the study
# database; storescp writes files only; Orthanc writes files, flushes them and indexes them in
# its own database.
# Our server also stores the COUNT objects and the big one once more started with --no-flush, so
# the flushing cost per object is printed beside what the file system charges Python for the same
# two flushes of one such file, measured in the same run, and the big object's time without
# flushing is printed beside the flushed one.
#   bench/server/run.sh BUILD_FOLDER [COUNT [BIG_MIB]]
set -euo pipefail
build=$(cd "$1" && pwd)
count=${2:-300}
big_mib=${3:-200}
parts=${PARTS:-one big parallel memory}
senders=${SENDERS:-40}
per_sender=${PER_SENDER:-50}
parallel_mib=${PARALLEL_MIB:-20}
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
resident_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
wait_for() { for _ in $(seq 300); do echoscu -aec "$1" 127.0.0.1 "$2" 2>/dev/null && return; sleep 0.1; done; }
has_part() { [[ " $parts " == *" $1 "* ]]; }
ratio() { echo "$1 / $2" | bc -l; }
mb() { echo "$1 / 1024" | bc -l; }  # from KiB
stored_files() { find "$1" -type f -name "${2:-*.dcm}" | wc -l; }

# Starts our server over a fresh node folder named after TAG, with the options given; sets port,
# server_pid and node.
start_ours() {
  local tag=$1
  sync
  shift
  port=$(free_port)
  node="$work/node-$tag"
  "$server" "$@" "$node" "$port" TREVALIND > "$work/server-$tag.out" 2>&1 &
  server_pid=$!
  pids+=("$server_pid")
  wait_for TREVALIND "$port"
}
stop() { kill "$1"; wait "$1" 2>/dev/null || true; }
object_rows() { sqlite3 "$node/database/ecg.db" "SELECT COUNT(*) FROM Objects"; }

start_scp() {
  local tag=$1
  sync
  shift
  scp_port=$(free_port)
  scp_dir="$work/scp-$tag"
  mkdir -p "$scp_dir"
  storescp "$@" -od "$scp_dir" "$scp_port" > "$work/scp-$tag.out" 2>&1 &
  scp_pid=$!
  pids+=("$scp_pid")
  wait_for ANY-SCP "$scp_port"
}

start_orthanc() {
  local tag=$1
  sync
  orthanc_port=$(free_port)
  http_port=$(free_port)
  orthanc_dir="$work/orthanc-$tag"
  mkdir -p "$orthanc_dir"
  cat > "$work/orthanc-$tag.json" <<JSON
{"Name": "BENCH", "StorageDirectory": "$orthanc_dir", "IndexDirectory": "$orthanc_dir",
 "DicomAet": "ORTHANC", "DicomPort": $orthanc_port, "HttpPort": $http_port,
 "RemoteAccessAllowed": false, "AuthenticationEnabled": false, "Plugins": []}
JSON
  Orthanc "$work/orthanc-$tag.json" > "$work/orthanc-$tag.out" 2>&1 &
  orthanc_pid=$!
  pids+=("$orthanc_pid")
  wait_for ORTHANC "$orthanc_port"
}
orthanc_instances() {
  curl -s "http://127.0.0.1:$http_port/statistics" |
    /usr/bin/python3 -c 'import json,sys; print(json.load(sys.stdin)["CountInstances"])'
}

# Sends every folder under $1 at once, one storescu per folder, to AE title $2 at port $3; sets
# secs (until the last sender ended) and failed (senders that did not end successfully).
send_parallel() {
  local folder=$1 aet=$2 to=$3 start pid
  local senders_pids=()
  start=$(now)
  for set in "$folder"/*/; do
    storescu -aec "$aet" 127.0.0.1 "$to" "$set"*.dcm > /dev/null 2>&1 &
    senders_pids+=("$!")
  done
  failed=0
  for pid in "${senders_pids[@]}"; do wait "$pid" || failed=$((failed + 1)); done
  secs=$(since "$start")
}

echo "load before: $(uptime)"

if has_part one; then
  /usr/bin/python3 "$here/make_objects.py" ecg "$work/objects" "$count" 1
  bytes=$(du -sb "$work/objects" | cut -f1)
  one_ours() {
    start_ours "one$*" "$@"
    local cpu0 start
    cpu0=$(cpu_seconds "$server_pid")
    start=$(now)
    storescu -aec TREVALIND 127.0.0.1 "$port" "$work"/objects/*.dcm
    secs=$(since "$start")
    cpu_ms=$(echo "($(cpu_seconds "$server_pid") - $cpu0) * 1000 / $count" | bc -l)
    rows=$(object_rows)
    files=$(stored_files "$node/imagebox")
    stop "$server_pid"
  }
  one_ours
  ours=$secs; ours_cpu=$cpu_ms; ours_rows=$rows; ours_files=$files
  one_ours --no-flush
  unflushed=$secs; unflushed_cpu=$cpu_ms; unflushed_rows=$rows

  start_scp one
  start=$(now)
  storescu 127.0.0.1 "$scp_port" "$work"/objects/*.dcm
  theirs=$(since "$start")
  stop "$scp_pid"

  start_orthanc one
  start=$(now)
  storescu -aec ORTHANC 127.0.0.1 "$orthanc_port" "$work"/objects/*.dcm
  orthanc=$(since "$start")
  stop "$orthanc_pid"

  read -r plain_ms flushed_ms < <(/usr/bin/python3 "$here/flush_cost.py" \
    "$(ls "$work"/objects/*.dcm | head -1)" "$work/flush-cost")

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
  [ "$ours_files" -eq "$count" ] || echo "WARNING: $ours_files files stored, expected $count"
fi

if has_part big; then
  /usr/bin/python3 "$here/make_objects.py" big "$work/big" "$big_mib" 1
  big="$work/big/big_01.dcm"
  big_bytes=$(stat -c %s "$big")
  big_ours() {
    start_ours "big$*" "$@"
    local start
    peak0=$(peak_kb "$server_pid")
    start=$(now)
    storescu -aec TREVALIND 127.0.0.1 "$port" "$big"
    secs=$(since "$start")
    peak1=$(peak_kb "$server_pid")
    files=$(stored_files "$node/imagebox")
    stop "$server_pid"
  }
  big_ours
  ours_big=$secs; ours_peak0=$peak0; ours_peak1=$peak1; ours_big_files=$files
  big_ours --no-flush
  unflushed_big=$secs

  start_scp big
  start=$(now)
  storescu 127.0.0.1 "$scp_port" "$big"
  theirs_big=$(since "$start")
  stop "$scp_pid"

  printf 'one %.0f MiB object: trevalind-server %.2f s, storescp %.2f s (ours / storescp %.2f)\n' \
    "$(echo "$big_bytes / 1048576" | bc -l)" "$ours_big" "$theirs_big" "$(ratio "$ours_big" "$theirs_big")"
  printf 'the same object without flushing: trevalind-server %.2f s (ours / storescp %.2f)\n' \
    "$unflushed_big" "$(ratio "$unflushed_big" "$theirs_big")"
  printf 'peak memory of trevalind-server: %.1f MB before the big object, %.1f MB after: grew by %.2f times the object\n' \
    "$(mb "$ours_peak0")" "$(mb "$ours_peak1")" \
    "$(echo "($ours_peak1 - $ours_peak0) * 1024 / $big_bytes" | bc -l)"
  [ "$ours_big_files" -eq 1 ] || echo "WARNING: $ours_big_files files stored, expected 1"
fi

if has_part parallel; then
  /usr/bin/python3 "$here/make_objects.py" ecg "$work/parallel" "$per_sender" 100 "$senders"
  sent=$((senders * per_sender))

  start_ours parallel
  send_parallel "$work/parallel" TREVALIND "$port"
  par_ours=$secs; par_ours_failed=$failed
  par_rows=$(object_rows)
  par_files=$(stored_files "$node/imagebox")
  stop "$server_pid"

  start_orthanc parallel
  send_parallel "$work/parallel" ORTHANC "$orthanc_port"
  par_orthanc=$secs; par_orthanc_failed=$failed
  par_orthanc_instances=$(orthanc_instances)
  stop "$orthanc_pid"

  start_scp parallel --fork
  send_parallel "$work/parallel" ANY-SCP "$scp_port"
  par_scp=$secs; par_scp_failed=$failed
  # The children of a forking storescp may still be writing their last file.
  sleep 1
  par_scp_files=$(stored_files "$scp_dir" '*')  # named by modality and UID, without .dcm
  stop "$scp_pid"

  printf '%d parallel associations x %d ECGs (%d objects), every object flushed:\n' \
    "$senders" "$per_sender" "$sent"
  printf '  trevalind-server: %.2f s, %.1f objects/s; %d rows, %d files\n' \
    "$par_ours" "$(ratio "$sent" "$par_ours")" "$par_rows" "$par_files"
  printf '  Orthanc:          %.2f s, %.1f objects/s; %d instances\n' \
    "$par_orthanc" "$(ratio "$sent" "$par_orthanc")" "$par_orthanc_instances"
  printf '  storescp --fork (flushes nothing): %.2f s, %.1f objects/s; %d files\n' \
    "$par_scp" "$(ratio "$sent" "$par_scp")" "$par_scp_files"
  printf '  throughput ratio: ours / Orthanc %.2f, ours / storescp --fork %.2f\n' \
    "$(ratio "$par_orthanc" "$par_ours")" "$(ratio "$par_scp" "$par_ours")"
  [ "$par_rows" -eq "$sent" ] && [ "$par_files" -eq "$sent" ] && [ "$par_ours_failed" -eq 0 ] ||
    echo "WARNING: trevalind-server kept $par_rows rows and $par_files files of $sent, $par_ours_failed senders failed"
  [ "$par_orthanc_instances" -eq "$sent" ] && [ "$par_orthanc_failed" -eq 0 ] ||
    echo "WARNING: Orthanc kept $par_orthanc_instances of $sent, $par_orthanc_failed senders failed"
  [ "$par_scp_files" -eq "$sent" ] && [ "$par_scp_failed" -eq 0 ] ||
    echo "WARNING: storescp kept $par_scp_files of $sent, $par_scp_failed senders failed"
fi

if has_part memory; then
  /usr/bin/python3 "$here/make_objects.py" big "$work/memory" "$parallel_mib" "$senders"
  for i in $(seq "$senders"); do
    mkdir -p "$work/memory-sets/$i"
    mv "$work/memory/big_$(printf %02d "$i").dcm" "$work/memory-sets/$i/"
  done
  in_flight_kb=$(( $(du -sb "$work/memory-sets" | cut -f1) / 1024 ))
  start_ours memory
  idle=$(resident_kb "$server_pid")
  send_parallel "$work/memory-sets" TREVALIND "$port"
  mem_secs=$secs; mem_failed=$failed
  peak=$(peak_kb "$server_pid")
  sleep 3
  after3=$(resident_kb "$server_pid")
  sleep 3
  after6=$(resident_kb "$server_pid")
  mem_files=$(stored_files "$node/imagebox")
  stop "$server_pid"
  printf '%d parallel objects of %d MiB (%.0f MB in flight), stored in %.2f s:\n' \
    "$senders" "$parallel_mib" "$(mb "$in_flight_kb")" "$mem_secs"
  printf '  peak memory of trevalind-server grew by %.0f MB: %.2f times the bytes in flight\n' \
    "$(mb $((peak - idle)))" "$(ratio $((peak - idle)) "$in_flight_kb")"
  printf '  resident: idle %.1f MB; 3 s after the burst %.1f MB (+%.1f), 6 s after %.1f MB (+%.1f)\n' \
    "$(mb "$idle")" "$(mb "$after3")" "$(mb $((after3 - idle)))" "$(mb "$after6")" "$(mb $((after6 - idle)))"
  [ "$mem_files" -eq "$senders" ] && [ "$mem_failed" -eq 0 ] ||
    echo "WARNING: $mem_files files stored of $senders, $mem_failed senders failed"
fi
echo "load after: $(uptime)"
