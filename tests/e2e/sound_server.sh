#!/usr/bin/env bash
# The game's sound as a real sound server plays it: a server of the test's own with a null sink,
# whose monitor is recorded, and the game left to choose its audio driver; PulseAudio, or PipeWire
# with E2E_SOUND_SESSION=pipewire (sound_session.bash). The game starts before the server, which
# comes a moment later: its stream there within 2 s, under the game's name and icon, and the menu
# song heard as soon as the sink serves. Heard: the menu song; Start's banner sound with room 1's
# song; Space's "room clean" sound, then room 2's song; in room 2 the server killed and started
# again, then the sink unloaded and another loaded, each time the game's stream back within 2 s and
# the song heard as soon as the new sink serves; Escape and the menu song again; Quit fades it out.
# The game prints nothing but its one line about the missing server. sound_check.py
# tells the sounds apart, the songs against offline renders by flurber_mixrender (its path in
# FLURBER_MIXRENDER). Each step waits until the recording holds what the check will read of the
# step before. Arguments: <path-to-flurber> <run-dir>
source "$(dirname "${BASH_SOURCE[0]}")/common.bash" "$@"
source "$(dirname "${BASH_SOURCE[0]}")/sound_session.bash"
# Debian's own Python, which has numpy (python3-numpy), whatever else is first on the PATH.
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3
"$PYTHON" -c 'import numpy' 2>/dev/null || fail "missing: numpy for $PYTHON (python3-numpy)"
[ -x "${FLURBER_MIXRENDER:-}" ] || fail "FLURBER_MIXRENDER names no flurber_mixrender"
CHECK="$PYTHON $(dirname "${BASH_SOURCE[0]}")/sound_check.py"
# The soundfont the game takes, for the renders of its songs.
SOUNDFONT=/usr/share/sounds/sf2/default-GM.sf2
[ -e "$SOUNDFONT" ] || SOUNDFONT=/usr/share/sounds/sf2/TimGM6mb.sf2

RECORDER_PID=
RECORDINGS=0

stop_sound() {
    stop_pid "$RECORDER_PID"
    session_stop
}
trap 'status=$?; stop_sound; set +e; (exit $status); cleanup' EXIT

LAST_MARK=
mark() {
    LAST_MARK=$(date +%s.%N)
    echo "$1 $LAST_MARK" >>"$WORK/events"
}

# Waits up to $2 seconds until the current recording has held sound for $1 seconds from its first
# sound after the last mark: what the check reads of this step is recorded, and the script may go on.
# With $3, also until the song from $3 s after the mark on (where the check starts reading it) has
# held 1.5 s without a dropout.
heard_for() {
    wait_for "$2" $CHECK heard "$WORK/rec-$RECORDINGS" "$LAST_MARK" "$1" ${3:+"$3"}
}

# Records the monitor of sink $1 into the next rec-N, until the server or the sink goes.
record() {
    RECORDINGS=$((RECORDINGS + 1))
    $CHECK record "$1.monitor" "$WORK/rec-$RECORDINGS" 2>>"$WORK/parec.log" &
    RECORDER_PID=$!
}

start_display
note "the game started before the sound server ($E2E_SOUND_SESSION)"
E2E_SOUND_SERVER=1 start_game
mark launched
session_start speaker
mark late-ready
record speaker
wait_for 5 stream_on speaker || fail "the game did not find the server that came after it"
mark late-stream
stream_named || fail "the game's stream is not named: $(pactl list sink-inputs | grep application)"
wait_for 15 $CHECK heard-again "$WORK/rec-$RECORDINGS" ||
    fail "the menu song was not heard long enough on the server that came after the game"
mark menu
heard_for 3 15 0 || fail "the menu song stopped, or had no 1.5 s without a dropout"

note "Start: the banner sound and room 1's song"
mark start
click_at 100 150
heard_for 8 20 3 || fail "nothing heard for 8 s after Start, or room 1's song had no 1.5 s without a dropout"
note "Space: the room is clean, then room 2's song"
mark space
tap_key space
heard_for 6.5 20 3.5 || fail "nothing heard for 6.5 s after Space, or room 2's song had no 1.5 s without a dropout"

note "the sound server killed and started again"
mark kill
session_kill
wait "$RECORDER_PID" 2>/dev/null || true
sleep 1  # the game a second without a server
session_start speaker
mark server-ready
record speaker
wait_for 5 stream_on speaker || fail "the game did not come back to the new server"
mark server-stream
wait_for 15 $CHECK heard-again "$WORK/rec-$RECORDINGS" ||
    fail "the song was not heard again long enough on the new server within 15 s"

note "the sink unloaded and another loaded"
mark unload
sinks_unload
# Its source is moved to the server's own null sink: the recording of the unloaded sink ends here.
stop_pid "$RECORDER_PID"
sleep 1  # the game a second without a sink of the test's
sink_load headset
mark sink-ready
record headset
wait_for 5 stream_on headset || fail "the game did not come back to the new sink"
mark sink-stream
wait_for 15 $CHECK heard-again "$WORK/rec-$RECORDINGS" ||
    fail "the song was not heard again long enough on the new sink within 15 s"

note "Escape: the menu song again"
mark escape
move_to 500 450
tap_key Escape
heard_for 3.5 15 0.8 || fail "nothing heard for 3.5 s after Escape, or the menu song had no 1.5 s without a dropout"
mark quit
click_at 100 350
wait_game_exit 20
[ "$GAME_EXIT" = "0" ] || fail "exit code after Quit: $GAME_EXIT"
stop_pid "$RECORDER_PID"
RECORDER_PID=

no_server="The Flurber: no sound server or sound card found; the game plays in silence"
[ "$(grep -cxF "$no_server" "$WORK/flurber.log")" = 1 ] ||
    fail "the game did not say once that it found no sound server: $(head -c 300 "$WORK/flurber.log")"
if grep -v '^-- ' "$WORK/flurber.log" | grep -vxF "$no_server" | grep -q .; then
    fail "the game printed: $(head -c 300 "$WORK/flurber.log")"
fi
$CHECK check "$WORK" "$RUN_DIR/Sounds" "$FLURBER_MIXRENDER" "$RUN_DIR" "$SOUNDFONT" || fail "the recording does not hold what the game played"
note "passed"
