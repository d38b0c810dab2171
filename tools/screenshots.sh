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
# pydicom's sample ECG under a 30-character name (its birth date has eight digits), so the
# pictures show whether the longest realistic header texts stay clear of each other.
sample="$work/sample.dcm"
cp /usr/lib/python3/dist-packages/pydicom/data/test_files/waveform_ecg.dcm "$sample"
dcmodify -nb -m "(0010,0010)=WOJCIECHOWSKI-MAMMADOV^MAXWELL" "$sample"
# First run: store the sample, then end.
# The program may take a while to listen on a busy machine: try for up to 30 s.
( for _ in $(seq 30); do sleep 1; storescu -aec KORVA 127.0.0.1 11119 "$sample" 2>/dev/null && break; done ) &
TREVALIND_SCREENSHOTS="$work/first" timeout 60 xvfb-run -a "$work/trevalind" || true
wait
mkdir -p "$build/screenshots"
TREVALIND_SCREENSHOTS="$build/screenshots" timeout 60 xvfb-run -a "$work/trevalind" || true
ls -l "$build/screenshots"
