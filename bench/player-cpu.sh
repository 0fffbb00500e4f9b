#!/usr/bin/env bash
# The player's cost while it shows a face: runs mimlet-player on the sample face under a
# private Xvfb for 10 s and prints its CPU use (% of one core) and its frame intervals
# (median and minimum, from the frame log that MIMLET_FRAME_LOG asks the player for).
# Targets: at most 5 % of one core, median 41-42 ms, no interval under 41 ms.
#   bench/player-cpu.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
player="$build/bin/mimlet-player"
face="$(pwd)/samples/sample-1.mf"
seconds=10
if [ ! -x "$player" ]; then
    echo "player-cpu: $player was not built; skipped."
    exit 0
fi
if [ ! -f "$face" ]; then
    echo "player-cpu: no sample face at $face; skipped."
    exit 0
fi

work=$(mktemp -d)
xvfb_pid=""
player_pid=""
cleanup() {
    [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A display nobody else uses: Xvfb picks a free one and tells it on a file descriptor.
exec 9>"$work/display"
Xvfb -displayfd 9 -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
exec 9>&-
display=":$(head -n1 "$work/display")"

mkdir -m 0700 "$work/run"
DISPLAY=$display XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb \
    MIMLET_FRAME_LOG="$work/frames" "$player" "$face" >/dev/null 2>&1 &
player_pid=$!
sleep 2 # start-up and first paint are not measured

ticks() { awk '{print $14 + $15}' "/proc/$player_pid/stat"; }
hz=$(getconf CLK_TCK)
start_ticks=$(ticks)
start_lines=$(wc -l <"$work/frames")
sleep "$seconds"
end_ticks=$(ticks)
kill "$player_pid"
wait "$player_pid" 2>/dev/null || true
player_pid=""

awk -v a="$start_ticks" -v b="$end_ticks" -v hz="$hz" -v s="$seconds" \
    'BEGIN { printf "player-cpu: %.1f %% of one core over %d s\n", 100 * (b - a) / hz / s, s }'
tail -n +"$((start_lines + 1))" "$work/frames" |
    awk 'NR > 1 { d = ($1 - prev + 4294967296) % 4294967296; print d } { prev = $1 }' |
    sort -n | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "player-cpu: no frames"; exit 1 }
        printf "player-cpu: %d frame intervals, median %d ms, min %d ms, max %d ms\n",
               NR, v[int((NR + 1) / 2)], v[1], v[NR] }'
