# Sourced by sound_server.sh: the sound server of the test's own, in the test's folders, with null
# sinks whose monitors are recorded. E2E_SOUND_SESSION chooses which:
#   pulseaudio (the default)  a PulseAudio daemon, as Debian 12's desktops run it
#   pipewire                  PipeWire with WirePlumber and PipeWire's pulse server on a session
#                             bus of the test's, as the desktops of Debian 13 run them
# Either way pactl and parec reach it as a PulseAudio server, and the game finds it where a desktop
# session has it: through XDG_RUNTIME_DIR and PULSE_RUNTIME_PATH.
E2E_SOUND_SESSION=${E2E_SOUND_SESSION:-pulseaudio}
SESSION_PIDS=()
SESSION_BUS_PID=
SESSION_STARTS=0

case $E2E_SOUND_SESSION in
pulseaudio) SESSION_TOOLS=(pulseaudio pactl parec) ;;
pipewire) SESSION_TOOLS=(pipewire wireplumber pipewire-pulse dbus-daemon pactl parec) ;;
*) fail "E2E_SOUND_SESSION is pulseaudio or pipewire, not $E2E_SOUND_SESSION" ;;
esac
for tool in "${SESSION_TOOLS[@]}"; do
    command -v "$tool" >/dev/null || fail "missing tool: $tool"
done

# A server with no trace of the machine's own: its folders are the test's.
export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/run PULSE_RUNTIME_PATH=$WORK/run/pulse \
    PULSE_STATE_PATH=$WORK/pulse-state XDG_CONFIG_HOME=$WORK/home/.config \
    XDG_STATE_HOME=$WORK/home/.local/state
mkdir -p "$HOME" "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
chmod 700 "$XDG_RUNTIME_DIR"
# As every desktop's PulseAudio does (Debian's default.pa), the server keeps a null sink of its own
# while it has no other: PipeWire's session manager does the same. Left with no sink at all, SDL 3's
# PulseAudio driver crashes (tests/upstream/sdl3_last_sink.sh).
cat >"$WORK/server.pa" <<'EOF'
load-module module-native-protocol-unix
load-module module-always-sink
EOF

# Starts the server, with the null sink $1 as its default, and waits until it answers.
session_start() {
    SESSION_STARTS=$((SESSION_STARTS + 1))
    local log=$WORK/session-$SESSION_STARTS
    case $E2E_SOUND_SESSION in
    pulseaudio)
        pulseaudio --daemonize=yes -n -F "$WORK/server.pa" --exit-idle-time=-1 \
            --log-target="file:$log.log" 2>/dev/null || fail "pulseaudio did not start"
        wait_for 10 test -s "$PULSE_RUNTIME_PATH/pid" || fail "pulseaudio wrote no pid"
        SESSION_PIDS+=("$(cat "$PULSE_RUNTIME_PATH/pid")")
        ;;
    pipewire)
        if [ -z "$SESSION_BUS_PID" ]; then
            # WirePlumber ends at once without a session bus; it stays through a restart.
            dbus-daemon --session --nofork --address="unix:path=$XDG_RUNTIME_DIR/bus" \
                >"$WORK/bus.log" 2>&1 &
            SESSION_BUS_PID=$!
            export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
            wait_for 10 test -S "$XDG_RUNTIME_DIR/bus" || fail "the session bus did not start"
        fi
        pipewire >"$log-pipewire.log" 2>&1 &
        SESSION_PIDS+=($!)
        wait_for 10 pw-cli info 0 || fail "pipewire does not answer"
        wireplumber >"$log-wireplumber.log" 2>&1 &
        SESSION_PIDS+=($!)
        pipewire-pulse >"$log-pipewire-pulse.log" 2>&1 &
        SESSION_PIDS+=($!)
        ;;
    esac
    wait_for 10 pactl info || fail "the sound server does not answer"
    sink_load "$1"
}

# Kills the whole server at once, as a crash or an update does.
session_kill() {
    local pid
    for pid in "${SESSION_PIDS[@]}"; do
        kill -9 "$pid" 2>/dev/null || true
        # A child of this shell is reaped here; the daemonized PulseAudio is not ours to reap.
        wait "$pid" 2>/dev/null || true
    done
    SESSION_PIDS=()
    # Until something reaps it, a dead PulseAudio would count as running.
    rm -f "$PULSE_RUNTIME_PATH/pid"
}

session_stop() {
    session_kill
    stop_pid "$SESSION_BUS_PID"
    SESSION_BUS_PID=
}

# Loads the null sink $1 and makes it the default.
sink_load() {
    pactl load-module module-null-sink sink_name="$1" rate=48000 channels=2 format=s16le >/dev/null ||
        fail "the sink $1 could not be loaded"
    wait_for 10 sink_exists "$1" || fail "the sink $1 was loaded but is not there"
    # PipeWire's pulse server refuses it ("Not supported") until WirePlumber has made its store of
    # defaults, which may come after the server answers.
    wait_for 10 pactl set-default-sink "$1" || fail "the sink $1 could not be made the default"
    wait_for 10 default_sink_is "$1" || fail "the sink $1 did not become the default"
}

# Unloads every null sink the test loaded: the server is left with its own.
sinks_unload() {
    pactl unload-module module-null-sink
}

sink_exists() { pactl list short sinks 2>/dev/null | awk '{ print $2 }' | grep -qx "$1"; }

default_sink_is() { [ "$(pactl get-default-sink 2>/dev/null)" = "$1" ]; }

# Whether a stream plays to the sink $1.
stream_on() {
    local index
    index=$(pactl list short sinks 2>/dev/null | awk -v n="$1" '$2 == n { print $1 }')
    [ -n "$index" ] && pactl list short sink-inputs 2>/dev/null | awk '{ print $2 }' | grep -qx "$index"
}

# Whether a stream carries the game's name and icon, as the desktop's volume control lists it.
stream_named() {
    local properties
    properties=$(pactl list sink-inputs 2>/dev/null)
    grep -q 'application.name = "The Flurber"' <<<"$properties" &&
        grep -q 'application.icon_name = "flurber"' <<<"$properties"
}
