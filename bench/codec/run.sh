#!/usr/bin/env bash
# Decoding in one run, ours beside a peer on the same input, both timed in-process over the
# decoding alone (file reading excluded): a 512 x 512 16-bit lossless JPEG (dcmtk's encoder)
# against dcmtk's own decoder, and a 512 x 512 16-bit JPEG 2000 image (pydicom's sample, from an
# independent encoder) against pydicom with Pillow. Prints ms per frame and the ratios, and our
# frame adapter alone on the same stream (what the conversion around it costs). 16-bit grey only.
# The sides take turns over several rounds and each figure is the median of its rounds, so a
# busy machine weighs on both alike.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
ours=$(find "$build" -type f -name codec_decode_bench | head -n 1)
dcmtk=$(find "$build" -type f -name codec_dcmtk_decode_bench | head -n 1)
[ -n "$ours" ] || { echo "codec_decode_bench not built"; exit 0; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=30
rounds=5

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs "ours" and "peer" commands in turns; sets a (ours), alone (adapter) and b (peer).
alternate() {
  local ours_cmd=$1 peer_cmd=$2 as=() alones=() bs=() x y
  for _ in $(seq $rounds); do
    read -r x y < <($ours_cmd)
    as+=("$x")
    alones+=("$y")
    bs+=("$($peer_cmd)")
  done
  a=$(median "${as[@]}")
  alone=$(median "${alones[@]}")
  b=$(median "${bs[@]}")
}

/usr/bin/python3 "$src/tests/dicom/codec/make_native.py" "$work/n.dcm" 512 512 16 16 1 1 0 MONOCHROME2 0
dcmcjpeg +e1 "$work/n.dcm" "$work/jpeg.dcm"
if [ -n "$dcmtk" ]; then
  alternate "$ours $work/jpeg.dcm $runs" "$dcmtk $work/jpeg.dcm $runs"
  echo "lossless JPEG 512x512x16: ours $a ms/frame, dcmtk $b ms/frame, ratio ours/dcmtk $(ratio "$a" "$b")"
else
  read -r a alone < <("$ours" "$work/jpeg.dcm" $runs)
  echo "lossless JPEG 512x512x16: ours $a ms/frame (dcmtk's side not built)"
fi
echo "  our adapter alone $alone ms/frame, conversion/adapter $(ratio "$a" "$alone")"

j2k=/usr/lib/python3/dist-packages/pydicom/data/test_files/J2K_pixelrep_mismatch.dcm
alternate "$ours $j2k $runs" "/usr/bin/python3 $here/pydicom_decode.py $j2k $runs"
echo "JPEG 2000 512x512x16: ours $a ms/frame, pydicom+Pillow $b ms/frame, ratio ours/pydicom $(ratio "$a" "$b")"
echo "  our adapter alone $alone ms/frame, conversion/adapter $(ratio "$a" "$alone")"
