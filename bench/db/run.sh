#!/usr/bin/env bash
# Runs the study database benchmark in a temporary program folder, then the same work through
# Python's sqlite3 module (the same libsqlite3) as the peer, and prints both with their ratios.
# Argument: the build folder.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ours=$("$build/bench/db/bench_db" "$work")
echo "$ours"
echo "$ours" | /usr/bin/python3 "$here/peer_sqlite.py" "$work"
