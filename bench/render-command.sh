#!/usr/bin/env bash
# CPU time of `mimlet-face render` for 300 frames at the player's view size, PNG images and
# trace included, on the first sample face of the build. Target: under 1 s.
set -euo pipefail
build=${1:-build}
sample=$(ls "$build"/samples/*.mf 2>/dev/null | head -n 1 || true)
if [ -z "$sample" ]; then
    echo "no sample face in $build/samples" >&2
    exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
TIMEFORMAT="300 frames at 294x230 with PNG and trace: %U s user + %S s system CPU, %R s elapsed"
time "$build"/bin/mimlet-face render "$sample" --frames 300 --out "$out" --trace "$out/trace.csv"
