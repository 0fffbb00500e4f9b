#!/usr/bin/env bash
# Runs every benchmark of an optimised build (make bench).
set -euo pipefail
build=${1:-build}
status=0
for b in "$build"/bin/bench-*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" || status=1
done
for s in bench/*.sh; do
    [ -x "$s" ] || continue
    echo "== $(basename "$s")"
    "$s" "$build" || status=1
done
exit $status
