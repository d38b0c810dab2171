#!/usr/bin/env bash
# The study browser with many local studies: bench_browser drives the real widgets offscreen
# (showing the list, every header click, Delete Study, Scan Folder and Search at the largest
# count), once in the C locale and once in en_US.UTF-8, as the list's order depends on the
# locale; then the program itself is launched on the same folder and timed until its node
# accepts an association (dcmtk's echoscu), beside dcmtk's storescp launched the same way.
#   bench/browser/run.sh BUILD_FOLDER [COUNT...]     (default: 10000 50000)
#   BENCH_LOCALES="C en_US.UTF-8" (the default) chooses the locales.
set -euo pipefail
build=$(cd "$1" && pwd)
shift
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(10000 50000)
here=$(cd "$(dirname "$0")" && pwd)
bench="$build/bench/browser/bench_browser"
program="$build/trevalind"
for binary in "$bench" "$program"; do
  [ -x "$binary" ] || { echo "build the bench_browser and trevalind targets first" >&2; exit 1; }
done
work=$(mktemp -d /tmp/trevalind-bench-browser-XXXXXX)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export QT_QPA_PLATFORM=offscreen

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
now() { date +%s.%N; }
configure() {  # folder port: the 68-byte configuration record
  /usr/bin/python3 -c "import struct,sys; open(sys.argv[1] + '/trevalind.cfg','wb').write(struct.pack('<32s32si', sys.argv[2].encode(), b'KORVA', 1))" "$1" "$2"
}
# Sets $elapsed to the seconds from launching "$@" until an echo to port $port (called AE $ae)
# is accepted; leaves the process running in $pid.
launch_to_accept() {
  local start
  start=$(now)
  "$@" > "$work/launched.out" 2>&1 &
  pid=$!
  until echoscu -to 1 -aec "$ae" 127.0.0.1 "$port" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || { echo "the program ended" >&2; return 1; }
    sleep 0.02
  done
  elapsed=$(echo "$(now) - $start" | bc -l)
}
stop() { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; pid=""; }

# A tree for Scan Folder: three sub-folders of two ECG objects each.
for sub in 1 2 3; do
  /usr/bin/python3 "$(dirname "$here")/../tests/app/make_many_ecgs.py" "$work/tree/sub$sub" 2 $((sub * 10))
done

read -r -a locales <<< "${BENCH_LOCALES:-C en_US.UTF-8}"
largest=${counts[-1]}
for count in "${counts[@]}"; do
  node="$work/node$count"
  mkdir -p "$node"
  /usr/bin/python3 "$here/make_studies.py" "$node/database/ecg.db" "$count"
  for locale in "${locales[@]}"; do
    configure "$node" "$(free_port)"
    echo "== $count local studies, locale $locale ($(uptime | sed 's/.*load/load/'))"
    if [ "$count" = "$largest" ]; then
      LC_ALL=$locale LANG=$locale "$bench" "$node" --paths --import "$work/tree"
    else
      LC_ALL=$locale LANG=$locale "$bench" "$node"
    fi
  done

  port=$(free_port)
  configure "$node" "$port"
  cp "$program" "$node/trevalind"
  ae=KORVA
  launch_to_accept "$node/trevalind"
  ours=$elapsed
  sleep 2  # the list fills after the node listens; its peak memory then stands
  peak_kb=$(awk '/VmHWM/ {print $2}' /proc/$pid/status)
  stop
  port=$(free_port)
  mkdir -p "$work/scp"
  ae=ANY-SCP
  launch_to_accept storescp -od "$work/scp" "$port"
  theirs=$elapsed
  stop
  printf 'launch to first accepted association (locale %s): trevalind %.3f s (peak memory %.1f MB), dcmtk storescp %.3f s, ratio %.1f\n' \
    "${LC_ALL:-${LANG:-C}}" "$ours" "$(echo "$peak_kb / 1024" | bc -l)" "$theirs" "$(echo "$ours / $theirs" | bc -l)"
done
