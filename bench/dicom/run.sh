#!/usr/bin/env bash
# Read+write of the ECG sample and of a data set of 3,000 elements, ours beside dcmtk, writing
# once to a disk folder (/tmp) and once to memory (/dev/shm, when there is one).
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
exe=$(find "$build" -type f -name bench_dicom_readwrite | head -n 1)
[ -n "$exe" ] || { echo "bench_dicom_readwrite not built (dcmtk missing?)"; exit 0; }
large=$(mktemp --suffix=.dcm)
/usr/bin/python3 "$here/MakeLargeSet.py" "$large"
folders=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && folders="$folders /dev/shm"
for folder in $folders; do
  "$exe" /usr/lib/python3/dist-packages/pydicom/data/test_files/waveform_ecg.dcm 300 "$folder"
  "$exe" "$large" 300 "$folder"
done
rm -f "$large"
