#!/usr/bin/env bash
# Opening waveform_ecg.dcm, Prepare and one full chart redraw on 1008 x 672 (target: under 5 ms
# for the whole), beside pydicom reading the same file and splitting its channels.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
sample=/usr/lib/python3/dist-packages/pydicom/data/test_files/waveform_ecg.dcm
exe=$(find "$build" -type f -name bench_ecg_chart | head -n 1)
[ -n "$exe" ] || { echo "bench_ecg_chart not built"; exit 0; }
QT_QPA_PLATFORM=offscreen "$exe" "$sample" 500
/usr/bin/python3 "$here/PydicomSide.py" "$sample" 200
