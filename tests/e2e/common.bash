# Shared by the end-to-end scripts (sourced, not run by itself): a virtual X display with a window
# manager, the real game in it driven by xdotool, and screenshots probed in the game's own 800 x 600
# coordinates, mapped onto the letterboxed full-screen window.
# Usage from a script: source common.bash <path-to-flurber> <run-dir>
# Set E2E_SCREEN (default 1024x768) for another screen size, and E2E_NEEDS_PACK=0 for a script that
# also runs without the asset pack.
# E2E_SESSION=wayland runs the game natively on Wayland instead of X11: weston is the desktop, shown
# in the virtual X display as one window that covers it (its x11 backend gives it a seat that
# xdotool's keys and pointer reach), and the game talks to weston alone, with no DISPLAY.
set -euo pipefail

E2E_SCREEN=${E2E_SCREEN:-1024x768}
E2E_NEEDS_PACK=${E2E_NEEDS_PACK:-1}
E2E_SESSION=${E2E_SESSION:-x11}
SCREEN_W=${E2E_SCREEN%x*}
SCREEN_H=${E2E_SCREEN#*x}
# Options start_game gives the game.
FLURBER_ARGS=()

FLURBER=$(readlink -f "$1")
RUN_DIR=$(readlink -f "$2")
XVFB_PID=
OPENBOX_PID=
WESTON_PID=
WAYLAND_NAME=flurber-e2e
# Weston's desktop: one colour that no screen of the game has all over.
DESKTOP_COLOUR=123456
GAME_PID=
WINDOW=
SCALE=1
ORIGIN_X=0
ORIGIN_Y=0

case "$E2E_SESSION" in
    x11) session_tools=(openbox wmctrl) ;;
    wayland) session_tools=(weston python3) ;;
    *) echo "unknown E2E_SESSION: $E2E_SESSION" >&2; exit 1 ;;
esac
for tool in Xvfb xdotool xwininfo import convert compare "${session_tools[@]}"; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool" >&2; exit 1; }
done
[ -x "$FLURBER" ] || { echo "no game binary at $FLURBER" >&2; exit 1; }
[ "$E2E_NEEDS_PACK" = 0 ] || [ -f "$RUN_DIR/Graphics/MenuBG.bmp" ] ||
    { echo "no asset pack in $RUN_DIR" >&2; exit 1; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/flurber-e2e.XXXXXX")
# A runtime folder of the test's own, as every desktop session has, and no Wayland display: the game
# stays on the virtual X display, and SDL 3, which looks for Wayland first, finds none quietly.
export XDG_RUNTIME_DIR=$WORK/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY

stop_pid() {
    local pid=$1
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || return 0
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
}

cleanup() {
    local status=$?
    stop_pid "$GAME_PID"
    stop_pid "$WESTON_PID"
    stop_pid "$OPENBOX_PID"
    stop_pid "$XVFB_PID"
    if [ "$status" -ne 0 ] || [ -n "${FLURBER_E2E_KEEP:-}" ]; then
        echo "screenshots and logs kept in $WORK" >&2
        [ -f "$WORK/flurber.log" ] && sed 's/^/flurber: /' "$WORK/flurber.log" >&2
    else
        rm -rf "$WORK"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

note() { echo "-- $*"; }

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local seconds=$1
    shift
    local tries=$((seconds * 10))
    for _ in $(seq "$tries"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

start_display() {
    Xvfb -displayfd 3 -screen 0 "${E2E_SCREEN}x24" -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
    XVFB_PID=$!
    wait_for 15 test -s "$WORK/display" || fail "Xvfb did not start"
    DISPLAY=":$(head -n1 "$WORK/display")"
    export DISPLAY
    if [ "$E2E_SESSION" = wayland ]; then
        start_compositor
        return 0
    fi
    # Without a window manager a full-screen SDL window keeps its first size and clicks miss.
    for _ in 1 2 3; do
        openbox --sm-disable >>"$WORK/openbox.log" 2>&1 &
        OPENBOX_PID=$!
        wait_for 10 wmctrl -m && return 0
        stop_pid "$OPENBOX_PID"
        OPENBOX_PID=
    done
    fail "openbox did not start"
}

# How many pixels of screenshot $1 (or of its region $2, WxH+X+Y) show weston's desktop.
desktop_pixels() {
    convert "$WORK/$1.ppm${2:+[$2]}" -fill black +opaque "#$DESKTOP_COLOUR" -fill white -opaque "#$DESKTOP_COLOUR" \
        -format '%[fx:round(mean.r * w * h)]' info:
}

# A pointer that weston draws into its output would be in every screenshot, unlike X's: the game's
# pointer comes from a cursor theme of the test's whose every picture is one clear pixel.
make_clear_cursor_theme() {
    local folder=$WORK/icons/flurber-e2e/cursors
    mkdir -p "$folder"
    python3 - "$folder/left_ptr" <<'PYTHON'
import struct, sys
# An Xcursor file: header, one table entry, one 1 x 1 image of ARGB 0 with its hot spot at 0, 0.
image = struct.pack("<9I", 36, 0xFFFD0002, 1, 1, 1, 1, 0, 0, 0) + struct.pack("<I", 0)
data = b"Xcur" + struct.pack("<3I", 16, 0x10000, 1) + struct.pack("<3I", 0xFFFD0002, 1, 28) + image
open(sys.argv[1], "wb").write(data)
PYTHON
    for name in default arrow hand2 pointer xterm text; do ln -s left_ptr "$folder/$name"; done
}

# Weston on the X display, in one window at its top left that covers it; ready once its desktop
# covers the screen but for a pointer's room, and its pointer has left the top left corner. No
# panel, no lock, no animations: the game's picture alone is on the screen.
start_compositor() {
    make_clear_cursor_theme
    cat >"$WORK/weston.ini" <<INI
[core]
idle-time=0
[shell]
background-color=0xff$DESKTOP_COLOUR
background-image=
panel-position=none
locking=false
animation=none
close-animation=none
startup-animation=none
focus-animation=none
INI
    weston --config="$WORK/weston.ini" --backend=x11-backend.so --use-pixman --width="$SCREEN_W" \
        --height="$SCREEN_H" --socket="$WAYLAND_NAME" --idle-time=0 >"$WORK/weston.log" 2>&1 &
    WESTON_PID=$!
    local least=$((SCREEN_W * SCREEN_H - 64 * 64))
    wait_for 20 eval 'shot desktop && [ "$(desktop_pixels desktop)" -ge "$least" ]' ||
        fail "weston did not show its desktop"
    # Weston's x11 backend moves its pointer by the difference between X's motions, from where X
    # said the pointer entered. Started under a still pointer, it often keeps its own at the top
    # left while it counts from the screen's centre, so every place the game is told is off by
    # half a screen. The screen's edge stops both pointers at the top left corner, and from there
    # they move alike.
    xdotool mousemove --sync 0 0
    xdotool mousemove --sync $((SCREEN_W / 2)) $((SCREEN_H / 2))
    wait_for 10 eval 'shot desktop && [ "$(desktop_pixels desktop 64x64+0+0)" -eq 4096 ]' ||
        fail "weston's pointer did not follow X's"
}

# The game's first frame on Wayland: the full-screen window covers all of weston's desktop.
game_covers_desktop() {
    kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended at start-up"
    full_screen_window
}

# Prints the game's window once it covers the screen. SDL may replace its window while it sets up
# the renderer, so every look starts from a fresh search and errors only mean "not yet".
full_screen_window() {
    if [ "$E2E_SESSION" = wayland ]; then
        # xdotool can't see Wayland's windows: full screen is weston's desktop covered, and there
        # is no window to print.
        shot full-screen && [ "$(desktop_pixels full-screen)" -eq 0 ]
        return
    fi
    local id WIDTH HEIGHT X Y SCREEN WINDOW
    for id in $(xdotool search --name '^The Flurber$' 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || continue
        if [ "${WIDTH:-0}" -ge 1000 ] && [ "${HEIGHT:-0}" -ge 700 ]; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# Set E2E_SOUND_SERVER=1 to let the game choose its audio driver (a sound server of the test's).
start_game() {
    local audio=(env SDL_AUDIODRIVER=dummy)
    [ "${E2E_SOUND_SERVER:-0}" = 0 ] || audio=(env -u SDL_AUDIODRIVER)
    if [ "$E2E_SESSION" = wayland ]; then
        start_wayland_game "${audio[@]}"
        return 0
    fi
    (cd "$RUN_DIR" && exec "${audio[@]}" "$FLURBER" "${FLURBER_ARGS[@]}") >"$WORK/flurber.log" 2>&1 &
    GAME_PID=$!
    WINDOW=
    # A minute: on a loaded machine the first window has come after more than 20 s.
    for _ in $(seq 600); do
        WINDOW=$(full_screen_window) && break
        kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended at start-up"
        sleep 0.1
    done
    [ -n "$WINDOW" ] || fail "no full-screen game window"
    wait_for 10 window_settled || fail "the game window does not settle"
    xdotool windowactivate --sync "$WINDOW" >/dev/null 2>&1 || xdotool windowfocus "$WINDOW" 2>/dev/null || true
    # shellcheck disable=SC2034  # SCREEN is set by the eval, and not needed
    local WIDTH HEIGHT X Y SCREEN
    eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
    # The 800 x 600 picture is scaled evenly and centred in the window.
    read -r SCALE ORIGIN_X ORIGIN_Y < <(awk -v w="$WIDTH" -v h="$HEIGHT" -v x="$X" -v y="$Y" 'BEGIN {
        s = w / 800; if (h / 600 < s) s = h / 600;
        printf "%f %d %d\n", s, x + int((w - int(800 * s)) / 2), y + int((h - int(600 * s)) / 2) }')
    note "window $WINDOW at $X,$Y ${WIDTH}x$HEIGHT, scale $SCALE"
    if [ -f "$RUN_DIR/Graphics/MenuBG.bmp" ]; then
        wait_for 20 menu_drawn || fail "the menu picture is not shown"
    fi
}

# SDL may replace its window while it sets up drawing: settled once the same window is found twice.
window_settled() {
    local again
    again=$(full_screen_window) || return 1
    [ "$again" = "$WINDOW" ] && return 0
    WINDOW=$again
    return 1
}

# The menu's picture is on the screen: its centre is light, where the window starts black.
menu_drawn() {
    shot drawn
    [ "$(pixel drawn 400 300)" != "#000000" ]
}

# The game on weston, full screen: its window is the whole screen. xdotool can't see Wayland's
# windows; the keys and the pointer go to weston's window, and weston hands them on.
start_wayland_game() {
    (cd "$RUN_DIR" && exec env -u DISPLAY SDL_VIDEODRIVER=wayland WAYLAND_DISPLAY="$WAYLAND_NAME" \
        XCURSOR_PATH="$WORK/icons" XCURSOR_THEME=flurber-e2e "$@" "$FLURBER" "${FLURBER_ARGS[@]}") \
        >"$WORK/flurber.log" 2>&1 &
    GAME_PID=$!
    WINDOW=
    wait_for 60 game_covers_desktop || fail "the game's window does not cover weston's desktop"
    read -r SCALE ORIGIN_X ORIGIN_Y < <(awk -v w="$SCREEN_W" -v h="$SCREEN_H" 'BEGIN {
        s = w / 800; if (h / 600 < s) s = h / 600;
        printf "%f %d %d\n", s, int((w - int(800 * s)) / 2), int((h - int(600 * s)) / 2) }')
    note "the game covers weston's ${SCREEN_W}x$SCREEN_H desktop, scale $SCALE"
    if [ -f "$RUN_DIR/Graphics/MenuBG.bmp" ]; then
        wait_for 20 menu_drawn || fail "the menu picture is not shown"
    fi
}

# Screen coordinates of the centre of the game's pixel (x, y).
to_screen() {
    awk -v s="$SCALE" -v ox="$ORIGIN_X" -v oy="$ORIGIN_Y" -v x="$1" -v y="$2" \
        'BEGIN { printf "%d %d\n", ox + int((x + 0.5) * s), oy + int((y + 0.5) * s) }'
}

# The size in screen pixels of a span of the game's pixels.
to_screen_size() {
    awk -v s="$SCALE" -v w="$1" -v h="$2" 'BEGIN { printf "%d %d\n", int(w * s), int(h * s) }'
}

# The X server hands the game the motion before any key or click sent after it: nothing to wait for.
move_to() {
    local sx sy
    read -r sx sy < <(to_screen "$1" "$2")
    xdotool mousemove --sync "$sx" "$sy" 2>/dev/null || xdotool mousemove "$sx" "$sy"
}

click_at() {
    move_to "$1" "$2"
    xdotool click 1
}

# Holds a key long enough for a frame to see it, shorter than the 200 ms pause of a screen switch
# (held longer, the next screen would see it too). A frame slower than that misses the key.
tap_key() {
    xdotool keydown "$1"
    sleep 0.08
    xdotool keyup "$1"
}

# Taps a key, again while the check after it fails, for at most $2 seconds: a loaded machine may
# miss a tap.
tap_until() {
    local key=$1 seconds=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    while [ "$SECONDS" -lt "$deadline" ]; do
        tap_key "$key"
        wait_for 2 "$@" && return 0
    done
    return 1
}

# Presses a key as a player would, for a key that acts once per press however long it is held:
# down until the check after it succeeds (3 s at most), then up for 0.3 s, so that even a slow frame
# sees it down and then up again before the next press; again while the check fails, for at most
# $2 seconds. A press no frame saw changes nothing, so pressing again is safe.
press_until() {
    local key=$1 seconds=$2 seen=1
    shift 2
    local deadline=$((SECONDS + seconds))
    while [ "$SECONDS" -lt "$deadline" ]; do
        xdotool keydown "$key"
        wait_for 3 "$@" && seen=0
        xdotool keyup "$key"
        sleep 0.3
        [ "$seen" = 1 ] || return 0
    done
    return 1
}

# Screenshots are kept uncompressed: a loaded machine spends less time on each.
shot() {
    import -window root "$WORK/$1.ppm"
}

# Takes screenshot $1 until it differs from screenshot $2 in the rectangle (x, y, w, h) by more
# than $7 pixels, for at most $8 seconds.
shot_until_changed() {
    local name=$1 reference=$2 x=$3 y=$4 w=$5 h=$6 least=$7 seconds=$8
    local deadline=$((SECONDS + seconds))
    while [ "$SECONDS" -lt "$deadline" ]; do
        shot "$name"
        [ "$(differing_pixels "$reference" "$name" "$x" "$y" "$w" "$h")" -gt "$least" ] && return 0
    done
    return 1
}

# Takes screenshot $1 until two in a row agree in the rectangle (x, y, w, h), for at most $6 s.
shot_until_steady() {
    local name=$1 x=$2 y=$3 w=$4 h=$5 seconds=$6
    local deadline=$((SECONDS + seconds))
    shot "$name"
    while [ "$SECONDS" -lt "$deadline" ]; do
        sleep 0.3
        cp "$WORK/$name.ppm" "$WORK/$name-before.ppm"
        shot "$name"
        [ "$(differing_pixels "$name-before" "$name" "$x" "$y" "$w" "$h")" -eq 0 ] && return 0
    done
    return 1
}

# The colour (#RRGGBB) of the game's pixel (x, y) in a screenshot.
pixel() {
    local sx sy
    read -r sx sy < <(to_screen "$2" "$3")
    convert "$WORK/$1.ppm[1x1+$sx+$sy]" -format '%[hex:p{0,0}]' info: | cut -c1-6 | sed 's/^/#/'
}

# How many pixels of picture $1 differ from picture $2 in any way; with E2E_FUZZ set, by more than
# that many percent. (compare's AE metric cannot say: ImageMagick 7.1.2 counts a pixel by the share
# of its channels that differ.)
pixels_differing() {
    convert "$1" "$2" -compose difference -composite -fuzz "${E2E_FUZZ:-0}%" -fill white +opaque black \
        -format '%[fx:round(mean * w * h)]' info:
}

# How many screen pixels differ between two screenshots inside the game's rectangle (x, y, w, h).
differing_pixels() {
    local sx sy sw sh
    read -r sx sy < <(to_screen "$3" "$4")
    read -r sw sh < <(to_screen_size "$5" "$6")
    local region="${sw}x${sh}+${sx}+${sy}"
    pixels_differing "$WORK/$1.ppm[$region]" "$WORK/$2.ppm[$region]"
}

# Waits up to $1 seconds for the game to end; its exit code goes to GAME_EXIT ("running" if it
# did not end). Must run in the script's own shell, which is the game's parent.
# shellcheck disable=SC2034  # read by the scripts
GAME_EXIT=
wait_game_exit() {
    GAME_EXIT=running
    local tries=$(($1 * 10))
    for _ in $(seq "$tries"); do
        if ! kill -0 "$GAME_PID" 2>/dev/null; then
            GAME_EXIT=0
            # shellcheck disable=SC2034  # read by the scripts
            wait "$GAME_PID" || GAME_EXIT=$?
            GAME_PID=
            return 0
        fi
        sleep 0.1
    done
}

# The countdown is black text on a white box whose top-left corner is at (395, 20).
countdown_shown() {
    [ "$(pixel "$1" 395 20)" = "#FFFFFF" ] && [ "$(pixel "$1" 396 21)" = "#FFFFFF" ]
}
