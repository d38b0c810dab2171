#!/usr/bin/env bash
# Opening waveform_ecg.dcm, Prepare and one full chart redraw on 1008 x 672 (target: under 5 ms
# for the whole), beside pydicom reading the same file and splitting its channels.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
sample=/usr/lib/python3/dist-packages/pydicom/data/test_files/waveform_ecg.dcm
exe=$(find "$build" -type f -name bench_ecg_chart | head -n 1)
[ -n "$exe" ] || { echo "bench_ecg_chart not built"; exit 0; }
ours=$(QT_QPA_PLATFORM=offscreen "$exe" "$sample" 500 2>/dev/null)
peer=$(/usr/bin/python3 "$here/PydicomSide.py" "$sample" 200)
echo "$ours"
echo "$peer"
# The peer does the work of our read, load and prepare phases; compare those medians.
median() { awk -v name="$1" '$1 == name { print $3 }'; }
open=$(printf '%s\n' "$ours" | awk '$1 ~ /^(read|load|prepare)$/ { sum += $3 } END { print sum }')
whole=$(printf '%s\n' "$ours" | median whole)
theirs=$(printf '%s\n' "$peer" | median pydicom)
awk -v o="$open" -v w="$whole" -v p="$theirs" 'BEGIN {
  printf "read+load+prepare %.3f ms vs pydicom %.3f ms: ratio %.3f\n", o, p, o / p
  printf "whole %.3f ms against the 5 ms target: %s\n", w, (w < 5 ? "met" : "NOT met") }'
