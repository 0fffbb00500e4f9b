#!/usr/bin/env bash
# The player's cost while it shows a face: runs mimlet-player on the sample face under a
# private Xvfb, with a private PulseAudio null sink as the sound output, for 10 s and prints its CPU use (% of one core) and its frame intervals
# (median and minimum, from the frame log that MIMLET_FRAME_LOG asks the player for).
# Targets: at most 5 % of one core, median 41-42 ms, no interval under 41 ms.
#   bench/player-cpu.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
player="$build/bin/mimlet-player"
face="$(cd "$build" 2>/dev/null && pwd)/samples/sample-1.mf"
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
pulse_pid=""
player_pid=""
cleanup() {
    [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null || true
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
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

# A sound server of its own with a null sink: the player reads its level every frame, as it
# does on a desktop. Without one the bench still runs, with the meter's message on stderr.
mkdir -m 0700 "$work/run" "$work/pulse" "$work/home"
printf '%s\n' "load-module module-null-sink sink_name=bench_null rate=48000" \
    "set-default-sink bench_null" "load-module module-native-protocol-unix auth-anonymous=1" \
    >"$work/server.pa"
XDG_RUNTIME_DIR="$work/pulse" HOME="$work/home" PULSE_RUNTIME_PATH="$work/pulse/pulse" \
    PULSE_STATE_PATH="$work/home/state" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --disable-shm=yes --use-pid-file=no --realtime=no --high-priority=no \
    -F "$work/server.pa" >/dev/null 2>&1 &
pulse_pid=$!
for _ in $(seq 100); do
    [ -S "$work/pulse/pulse/native" ] && break
    sleep 0.1
done

# Messages go to stderr: a message box would stop the face.
DISPLAY=$display XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb MIMLET_MESSAGES=stderr \
    PULSE_SERVER="unix:$work/pulse/pulse/native" \
    MIMLET_FRAME_LOG="$work/frames" "$player" "$face" >"$work/player.log" 2>&1 &
player_pid=$!
sleep 2 # start-up and first paint are not measured

ticks() { awk '{print $14 + $15}' "/proc/$player_pid/stat"; }
hz=$(getconf CLK_TCK)
start_ticks=$(ticks)
start_lines=$(wc -l <"$work/frames")
[ -s "$work/player.log" ] && sed 's/^/player-cpu: the player said: /' "$work/player.log"
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
