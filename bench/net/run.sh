#!/usr/bin/env bash
# Our two PDU_Service ends on loopback, beside dcmtk (echoscu --repeat 1000 and storescu of the
# same 5 MB object against storescp), printed as figures and ratios.
set -uo pipefail
build=$1
work=$(mktemp -d)
trap 'kill $scp 2>/dev/null; rm -rf "$work"' EXIT
ours=$("$build/bench/net/net_bench" "$work/big.dcm") || { echo "net_bench failed"; exit 1; }
our_echo=$(awk '/^echoes/ {print $2}' <<<"$ours")
our_mb=$(awk '/^MB/ {print $2}' <<<"$ours")

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/scp"
storescp -od "$work/scp" "$port" >/dev/null 2>&1 &
scp=$!
for _ in $(seq 50); do echoscu 127.0.0.1 "$port" >/dev/null 2>&1 && break; sleep 0.1; done
t0=$(date +%s.%N)
echoscu --repeat 1000 127.0.0.1 "$port" >/dev/null 2>&1
t1=$(date +%s.%N)
stores=40  # as many as net_bench stores, so both sides run well past their first object
files=(); for _ in $(seq $stores); do files+=("$work/big.dcm"); done
storescu 127.0.0.1 "$port" "${files[@]}" >/dev/null 2>&1
t2=$(date +%s.%N)
dcmtk_echo=$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.1f", 1000 / (b - a)}')
size_mb=$(awk -v s="$(stat -c %s "$work/big.dcm")" 'BEGIN {printf "%.3f", s / 1048576}')
dcmtk_mb=$(awk -v a="$t1" -v b="$t2" -v m="$size_mb" -v n="$stores" 'BEGIN {printf "%.1f", n * m / (b - a)}')
echo "C-ECHO  ours ${our_echo}/s   dcmtk ${dcmtk_echo}/s   ratio $(awk -v x="$our_echo" -v y="$dcmtk_echo" 'BEGIN {printf "%.2f", x / y}')"
echo "5 MB    ours ${our_mb} MB/s   dcmtk ${dcmtk_mb} MB/s   ratio $(awk -v x="$our_mb" -v y="$dcmtk_mb" 'BEGIN {printf "%.2f", x / y}')"
