#!/usr/bin/env bash
# Runs every benchmark beside its peer and prints the figures and ratios.
set -uo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
for sub in dicom codec ecg db net server browser; do
  [ -x "$here/$sub/run.sh" ] || continue
  echo "==== $sub"
  "$here/$sub/run.sh" "$build"
done
