#!/usr/bin/env bash
# Alt+Return switches the real game between full screen and an ordinary window, and back, as often
# as wanted; in a window resized to another shape a click still lands on the game's own pixels.
# Started with --window, the game opens in the window that Alt+Return gives.
# Arguments: <path-to-flurber> <run-dir>
set -euo pipefail

SCREEN_WIDTH=1920
SCREEN_HEIGHT=1080
E2E_SCREEN=${SCREEN_WIDTH}x${SCREEN_HEIGHT}
E2E_NEEDS_PACK=0
# shellcheck source=common.bash
source "$(dirname "${BASH_SOURCE[0]}")/common.bash" "$@"

# The size of the game's drawing area (the client window, without the frame): "WIDTHxHEIGHT".
window_size() {
    xwininfo -id "$WINDOW" 2>/dev/null | awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w "x" h }'
}

size_is() { [ "$(window_size)" = "$1" ]; }

expect_size() {
    wait_for 5 size_is "$1" || fail "$2: the window is $(window_size), not $1"
    note "$2: $1"
}

# The full-screen game window. SDL may replace its first window when it sets up drawing, so the
# search is repeated until a window of the screen's size turns up.
find_full_screen_window() {
    WINDOW=$(xdotool search --name '^The Flurber$' 2>/dev/null | tail -n1) || return 1
    [ -n "$WINDOW" ] && size_is "${SCREEN_WIDTH}x${SCREEN_HEIGHT}"
}

start_game() {
    (cd "$RUN_DIR" && SDL_AUDIODRIVER=dummy exec "$FLURBER") >"$WORK/flurber.log" 2>&1 &
    GAME_PID=$!
    WINDOW=
    for _ in $(seq 150); do
        find_full_screen_window 2>/dev/null && break
        kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended at start-up"
        sleep 0.1
    done
    wait_for 10 game_started || fail "no full-screen game window"
    note "at start, full screen: $(window_size)"
    xdotool windowactivate --sync "$WINDOW" >/dev/null 2>&1 || xdotool windowfocus "$WINDOW"
}

# The game has set up its drawing: the same window found twice in a row (SDL may replace the first
# one meanwhile) and, with the asset pack, the menu's light picture drawn in it.
LAST_FOUND=
game_started() {
    local found=$LAST_FOUND look=${1:-find_full_screen_window}
    LAST_FOUND=
    "$look" || return 1
    LAST_FOUND=$WINDOW
    [ "$found" = "$WINDOW" ] || return 1
    [ -f "$RUN_DIR/Graphics/MenuBG.bmp" ] || return 0
    import -window "$WINDOW" "$WORK/started.ppm" 2>/dev/null || return 1
    [ "$(convert "$WORK/started.ppm" -gravity center -crop 1x1+0+0 -format '%[fx:luma>0.5]' info:)" = 1 ]
}

alt_return() {
    xdotool key alt+Return
}

# Resizes the window to 1400 x 800: the picture is scaled by 4/3 to 1067 x 800 and centred, with
# bars 166 pixels wide at the left and right.
resize_window() {
    xdotool windowsize "$WINDOW" 1400 800
    expect_size 1400x800 "resized"
}

# Escape on the menu with no game running quits; in a game it never quits.
hold_escape() {
    xdotool keydown Escape
    sleep 0.3
    xdotool keyup Escape
}

start_display

note "first run: switching back and forth"
start_game
alt_return
expect_size 800x600 "Alt+Return"
alt_return
expect_size "${SCREEN_WIDTH}x${SCREEN_HEIGHT}" "Alt+Return again"
alt_return
expect_size 800x600 "and once more"
resize_window
alt_return
expect_size "${SCREEN_WIDTH}x${SCREEN_HEIGHT}" "full screen from the resized window"
alt_return
expect_size 1400x800 "back to the size it was given"

# Window (100, 110) is game pixel (0, 82) (x clamped at the bar): above the items. Unscaled it
# would be on Start.
note "a click above the items starts nothing: Escape then quits"
# Nothing to wait for between them: the game takes the resize, the motion, the click and the keys in
# the order the X server sent them.
xdotool mousemove --window "$WINDOW" 100 110
xdotool click 1
hold_escape
wait_game_exit 10
[ "$GAME_EXIT" = "0" ] || fail "Escape on the menu did not quit (exit: $GAME_EXIT)"

note "second run: a click on Start in the resized window"
start_game
alt_return
expect_size 800x600 "Alt+Return"
resize_window
# Window (366, 250) is game pixel (150, 187): on Start. Unscaled it would be right of the items.
xdotool mousemove --window "$WINDOW" 366 250
# With the asset pack the room view must replace the menu. (Without it, the game stops at once on
# a message box about its missing sounds.)
pictures=
[ -f "$RUN_DIR/Graphics/MenuBG.bmp" ] && [ -f "$RUN_DIR/Sounds/flurb!_high.wav" ] &&
    command -v import >/dev/null && command -v convert >/dev/null && pictures=yes
# The menu at the new size, as two shots in a row agree.
menu_steady() {
    import -window "$WINDOW" "$WORK/menu.png" && [ -f "$WORK/menu-before.png" ] &&
        [ "$(pixels_differing "$WORK/menu-before.png" "$WORK/menu.png")" -eq 0 ] ||
        { cp "$WORK/menu.png" "$WORK/menu-before.png" 2>/dev/null; return 1; }
}
room_shown() {
    import -window "$WINDOW" "$WORK/after-click.png" &&
        changed=$(pixels_differing "$WORK/menu.png" "$WORK/after-click.png") && [ "$changed" -gt 300000 ]
}
if [ -n "$pictures" ]; then
    wait_for 10 menu_steady || fail "the menu does not settle in the resized window"
fi
xdotool click 1
if [ -n "$pictures" ]; then
    changed=0
    wait_for 10 room_shown || fail "the menu is still shown after the click on Start ($changed pixels changed)"
    note "$changed of 1120000 pixels changed after the click"
fi
# Escape: the menu would quit, a game never does (without the asset pack, the game's message boxes
# about missing sounds take the keys instead; they too only come from a started game).
hold_escape
wait_game_exit 2
[ "$GAME_EXIT" = "running" ] || fail "the click did not start a game: Escape quit (exit: $GAME_EXIT)"
note "a game runs: Escape did not quit"
stop_pid "$GAME_PID"
GAME_PID=

note "third run: --window starts in the window Alt+Return gives"
(cd "$RUN_DIR" && SDL_AUDIODRIVER=dummy exec "$FLURBER" --window) >"$WORK/flurber.log" 2>&1 &
GAME_PID=$!
windowed_game_shown() {
    WINDOW=$(xdotool search --name '^The Flurber$' 2>/dev/null | tail -n1) && [ -n "$WINDOW" ] &&
        size_is 800x600
}
wait_for 15 windowed_game_shown || fail "--window: no 800x600 game window"
# It stays a window once the display is taken over (SDL may replace the window meanwhile).
LAST_FOUND=
wait_for 10 game_started windowed_game_shown ||
    fail "--window: the game window is $(window_size), not 800x600"
note "--window: 800x600"
xdotool windowactivate --sync "$WINDOW" >/dev/null 2>&1 || xdotool windowfocus "$WINDOW"
alt_return
expect_size "${SCREEN_WIDTH}x${SCREEN_HEIGHT}" "Alt+Return from --window"
hold_escape
wait_game_exit 10
[ "$GAME_EXIT" = "0" ] || fail "Escape on the menu did not quit (exit: $GAME_EXIT)"
note "passed"
