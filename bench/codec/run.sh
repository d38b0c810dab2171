#!/usr/bin/env bash
# Decodes a 512 x 512 16-bit lossless JPEG and a lossless J2K image with our conversion, and the
# JPEG with dcmtk's dcmdjpeg on the same input, and prints ms per frame and the ratio.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=20
/usr/bin/python3 "$src/tests/codec/make_native.py" "$work/n.dcm" 512 512 16 16 1 1 0 MONOCHROME2 0
dcmcjpeg +e1 "$work/n.dcm" "$work/jpeg.dcm"
"$build/bench/codec/codec_decode_bench" "$work/n.dcm" 1 >/dev/null
ours=$("$build/bench/codec/codec_decode_bench" "$work/jpeg.dcm" $runs)
start=$(date +%s%N)
for _ in $(seq $runs); do dcmdjpeg "$work/jpeg.dcm" "$work/out.dcm"; done
peer=$(( ($(date +%s%N) - start) / runs / 1000 ))
echo "lossless JPEG 512x512x16: ours ${ours} ms/frame, dcmdjpeg (whole process) ${peer} us/run"
awk -v a="$ours" -v b="$peer" 'BEGIN { printf "ratio ours/dcmdjpeg: %.2f\n", a * 1000 / b }'
j2k=/usr/lib/python3/dist-packages/pydicom/data/test_files/J2K_pixelrep_mismatch.dcm
echo "J2K 512x512 (pydicom sample): ours $("$build/bench/codec/codec_decode_bench" "$j2k" $runs) ms/frame"
