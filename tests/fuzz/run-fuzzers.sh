#!/usr/bin/env bash
# Runs every fuzz_* target of a build for a bounded time, each on its seed corpus when it has one
# (tests/fuzz/<sub>/corpus_<name>/), and fails when any of them finds a crash.
set -euo pipefail
build=$1 seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
status=0
while IFS= read -r exe; do
  name=$(basename "$exe"); name=${name#fuzz_}
  work=$(mktemp -d)
  seeds=$(find "$here" -type d -name "corpus_$name" | head -n 1)
  [ -n "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "== fuzz_$name for ${seconds}s"
  "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix="$work/" "$work" \
    >"$work/log" 2>&1 || { status=1; tail -n 40 "$work/log"; }
  grep -E '^(#[0-9]+ *DONE|Done)' "$work/log" | tail -n 1 || true
done < <(find "$build" -maxdepth 4 -type f -name 'fuzz_*' -perm -u+x | sort)
exit $status
