#!/bin/bash
# Screenshots of the study browser and the ECG window under Xvfb, for a person to look at.
# Usage: tools/screenshots.sh <build folder>; writes <build folder>/screenshots/*.png.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/trevalind" "$work/"
# A high port, so no privileges are needed; the sample ECG is imported through the store.
python3 -c "import struct,sys; open(sys.argv[1],'wb').write(struct.pack('<32s32si', b'11119', b'KORVA', 0))" "$work/trevalind.cfg"
sample=/usr/lib/python3/dist-packages/pydicom/data/test_files/waveform_ecg.dcm
# First run: store the sample, then end.
( sleep 1; storescu -aec KORVA 127.0.0.1 11119 "$sample" || true ) &
TREVALIND_SCREENSHOTS="$work/first" timeout 60 xvfb-run -a "$work/trevalind" || true
wait
mkdir -p "$build/screenshots"
TREVALIND_SCREENSHOTS="$build/screenshots" timeout 60 xvfb-run -a "$work/trevalind" || true
ls -l "$build/screenshots"
