#!/usr/bin/env bash
# The browser build's page played through in Debian's Chromium (playwright-core) and Firefox ESR
# (puppeteer-core over WebDriver BiDi), served on 127.0.0.1 (page_test.js says what is played).
# The page's steady menu must equal the desktop game's pixel for pixel: the desktop binary's menu
# is shot first, full screen at exactly twice its size under Xvfb. The sound each browser played,
# recorded inside the page, must hold the menu song, the banner sound, the rooms' songs and the
# room-clean sound (sound_check.py). Chromium gets the .gz files as they are, from a plain static
# server; Firefox gets them with Content-Encoding: gzip, and plays into a PulseAudio daemon of
# the test's own (without a sound server its AudioContext never runs), whose sink is recorded too.
# Arguments: <page-dir> <path-to-flurber> <run-dir>; E2E_WEB_BROWSERS="chromium" (or "firefox")
# plays in one of them only.
PAGE=$(readlink -f "$1")
shift
E2E_SCREEN=1600x1200
source "$(dirname "${BASH_SOURCE[0]}")/../common.bash" "$@"
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../../.." && pwd)
# Debian's own Python, which has numpy (python3-numpy), whatever else is first on the PATH; the songs
# are rendered by flurber_mixrender with the page's soundfont.
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3
CHECK="$PYTHON $HERE/../sound_check.py"
SONGS=("${FLURBER_MIXRENDER:-}" "$RUN_DIR" /usr/share/sounds/sf2/TimGM6mb.sf2)

[ -f "$PAGE/index.html" ] || fail "no page in $PAGE (bash scripts/web.sh builds it)"
[ -d "$HERE/node_modules/playwright-core" ] && [ -d "$HERE/node_modules/puppeteer-core" ] ||
    fail "no playwright-core or puppeteer-core: run npm ci in $HERE"
for tool in node /usr/bin/chromium /usr/bin/firefox-esr pulseaudio pactl parec python3; do
    command -v "$tool" >/dev/null || fail "missing tool: $tool"
done

SERVER_PID=
RECORDER_PID=
stop_web() {
    stop_pid "$RECORDER_PID"
    stop_pid "$SERVER_PID"
    local pid
    pid=$(cat "${PULSE_RUNTIME_PATH:-/nonexistent}/pid" 2>/dev/null) && kill -9 "$pid" 2>/dev/null || true
}
trap 'status=$?; stop_web; set +e; (exit $status); cleanup' EXIT

# Serves the page; $1 more options of web_server.py. Sets URL.
serve() {
    stop_pid "$SERVER_PID"
    rm -f "$WORK/address"
    python3 "$ROOT/scripts/web_server.py" "$PAGE" --log "$WORK/server.log" "$@" >"$WORK/address" &
    SERVER_PID=$!
    wait_for 10 test -s "$WORK/address" || fail "the page's server did not start"
    URL=$(head -n 1 "$WORK/address")
}

play_page() {
    local browser=$1
    mkdir -p "$WORK/$browser"
    node "$HERE/page_test.js" --browser "$browser" --url "$URL" --page "$PAGE" --menu "$WORK/menu-800.ppm" \
        --room2 "$WORK/room2.ppm" --work "$WORK/$browser" || fail "$browser: the page failed"
    $CHECK page "$WORK/$browser" "$RUN_DIR/Sounds" "${SONGS[@]}" ||
        fail "$browser: the page's recording does not hold what the game played"
}

note "the desktop game's menu, full screen at twice its size"
start_display
start_game
[ "$SCALE" = 2.000000 ] && [ "$ORIGIN_X" = 0 ] && [ "$ORIGIN_Y" = 0 ] ||
    fail "expected the picture at exactly 2x from (0, 0), got $SCALE from ($ORIGIN_X, $ORIGIN_Y)"
move_to 500 450
shot_until_steady menu 0 0 800 600 10 || fail "the desktop menu does not settle"
convert "$WORK/menu.ppm" -crop 1600x1200+0+0 +repage -sample 800x600 -depth 8 "$WORK/menu-800.ppm"
tap_until Escape 10 eval '! kill -0 "$GAME_PID" 2>/dev/null' || fail "Escape on the menu did not quit"
wait_game_exit 10
# Room 2 seen from the middle of its picture, as play shows it after the intro.
convert "$RUN_DIR/Graphics/flurberbedroom2.bmp" -crop 800x600+400+0 +repage -depth 8 "$WORK/room2.ppm"

wanted() { [[ " ${E2E_WEB_BROWSERS:-chromium firefox} " == *" $1 "* ]]; }

if wanted chromium; then
    note "Chromium, the page from a plain static server"
    serve
    play_page chromium
fi
wanted firefox || { note "passed"; exit 0; }

note "Firefox ESR, the page with Content-Encoding: gzip, into a sound server of the test's"
export HOME=$WORK/home PULSE_RUNTIME_PATH=$WORK/runtime/pulse PULSE_STATE_PATH=$WORK/pulse-state
mkdir -p "$HOME" "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
cat >"$WORK/server.pa" <<'EOF'
load-module module-native-protocol-unix
load-module module-null-sink sink_name=speaker rate=48000 channels=2 format=s16le
set-default-sink speaker
EOF
pulseaudio --daemonize=yes -n -F "$WORK/server.pa" --exit-idle-time=-1 \
    --log-target="file:$WORK/pulse.log" 2>/dev/null || fail "pulseaudio did not start"
wait_for 10 pactl info || fail "the sound server does not answer"
mkdir -p "$WORK/firefox-sink"
$CHECK record speaker.monitor "$WORK/firefox-sink/rec-1" 2>>"$WORK/parec.log" &
RECORDER_PID=$!
serve --content-encoding
play_page firefox
stop_pid "$RECORDER_PID"
RECORDER_PID=
cp "$WORK/firefox/events" "$WORK/firefox-sink/events"
note "what reached the sound server's sink"
$CHECK page "$WORK/firefox-sink" "$RUN_DIR/Sounds" "${SONGS[@]}" ||
    fail "firefox: the sink's recording does not hold what the game played"
note "passed"
