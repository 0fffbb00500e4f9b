#!/usr/bin/env bash
# Runs the face file fuzz target for a bounded time (make fuzz).
set -euo pipefail
build=${1:-build/fuzz}
seconds=${2:-60}
corpus="$build/fuzz-corpus"
mkdir -p "$corpus"
cp -n fuzz/seeds/* "$corpus"/ 2>/dev/null || true
"$build/bin/fuzz-face" -max_total_time="$seconds" -max_len=80000 "$corpus"
