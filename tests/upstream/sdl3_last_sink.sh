#!/usr/bin/env bash
# Shows SDL 3's crash when a PulseAudio server is left with no sink (sdl3_last_sink.c), for a
# report upstream. Needs libsdl3-dev, pulseaudio and pulseaudio-utils; not part of the test command.
# Starts a PulseAudio daemon of its own with one null sink, runs the program (with "open": a device
# open on that sink) and unloads the sink. Exit code 0 when the program lives through it, 1 when it
# crashes.
#   bash tests/upstream/sdl3_last_sink.sh [open]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/sdl3-last-sink.XXXXXX")
export HOME=$work/home XDG_RUNTIME_DIR=$work/run PULSE_RUNTIME_PATH=$work/run/pulse \
    PULSE_STATE_PATH=$work/state
mkdir -p "$HOME" "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
chmod 700 "$XDG_RUNTIME_DIR"
cleanup() {
    [ -s "$PULSE_RUNTIME_PATH/pid" ] && kill "$(cat "$PULSE_RUNTIME_PATH/pid")" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

cc -g -O1 "$here/sdl3_last_sink.c" -o "$work/sdl3_last_sink" $(pkg-config --cflags --libs sdl3)
printf 'load-module module-native-protocol-unix\nload-module module-null-sink sink_name=speaker\nset-default-sink speaker\n' \
    >"$work/server.pa"
pulseaudio --daemonize=yes -n -F "$work/server.pa" --exit-idle-time=-1 --log-target="file:$work/pulse.log"
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done

"$work/sdl3_last_sink" "$@" >"$work/out.log" 2>&1 &
program=$!
for _ in $(seq 100); do grep -q '^ready$' "$work/out.log" && break; sleep 0.1; done
grep -q '^ready$' "$work/out.log" || { cat "$work/out.log"; exit 2; }
echo "unloading the server's only sink"
pactl unload-module module-null-sink
status=0
wait "$program" || status=$?
cat "$work/out.log"
if [ "$status" -ne 0 ]; then
    echo "the program ended with status $status$([ "$status" = 139 ] && echo ' (segmentation fault)')"
    exit 1
fi
echo "the program lived through it"
