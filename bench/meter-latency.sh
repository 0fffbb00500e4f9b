#!/usr/bin/env bash
# Level meter latency: starts a private PulseAudio server with a null sink as the default
# sink, runs meter-latency against it, and stops the server again. Usage: meter-latency.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
program="$build/bin/meter-latency"
[ -x "$program" ] || { echo "meter-latency.sh: $program not built" >&2; exit 1; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/mimlet-bench-XXXXXX")
mkdir -m 700 "$dir/run" "$dir/home"
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$dir"
}
trap cleanup EXIT

cat > "$dir/server.pa" <<'PA'
load-module module-null-sink sink_name=mimlet_null rate=48000
set-default-sink mimlet_null
load-module module-native-protocol-unix auth-anonymous=1
PA

XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config" \
PULSE_RUNTIME_PATH="$dir/run/pulse" PULSE_STATE_PATH="$dir/home/state" \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no \
    --realtime=no --high-priority=no --log-target=stderr -F "$dir/server.pa" \
    </dev/null >"$dir/server.log" 2>&1 &
server_pid=$!

export PULSE_SERVER="unix:$dir/run/pulse/native"
for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    kill -0 "$server_pid" 2>/dev/null || { cat "$dir/server.log" >&2; exit 1; }
    sleep 0.1
done

"$program"
