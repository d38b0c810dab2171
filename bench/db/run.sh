#!/usr/bin/env bash
# Runs the study database benchmark in a temporary program folder. Argument: the build folder.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/db/bench_db" "$work"
