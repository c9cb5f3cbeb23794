#!/usr/bin/env bash
# The real game under Xvfb with openbox for 10 minutes of random keys, clicks and Alt+Return from a
# fixed seed, then Quit. It reports whether the game lived through it and ended with code 0 on
# Quit, whether frames kept coming, and its resident set, sampled every second, after the first
# minute. scripts/bench.sh --soak builds the game and runs this.
# Usage: bash bench/soak.sh <path-to-flurber> <run-dir>
#   FLURBER_SOAK_SECONDS (default 600) and FLURBER_SOAK_SEED (default 16) change the run.
#
# The input never asks the menu to quit before the end: no click lands on the Quit item; Up and
# Down, which can light Quit for the keyboard, are each followed by a move of the pointer, which
# hands the menu back to the pointer; Escape goes only to a game seen in play (frames coming and
# the countdown shown), where it means "to the menu". Space wins rooms, so whole games end in the
# victory sequence too.
#
# Frames: a small library preloaded into the game notes every picture it hands to the display, and
# how often the game's main thread read its millisecond clock since the picture before. The timed
# sequences (the room's outcome, the victory, the pauses when switching screens) are busy waits on
# that clock and show nothing new for up to 2.3 s; a gap in which the clock was read many times is
# one of them. Any other gap is frames that failed to come.
#
# Resident set: what the game holds depends on what it shows (the window's own picture is larger in
# full screen; the credits page is a picture of its own), and the pictures of a new game are read
# inside a timed sequence, which needs a few MB more for a moment. So the spread is given over
# every sample and over those outside the timed sequences, beside the change from first to last
# and the drift of the lowest sample, which a leak would raise.
set -euo pipefail
E2E_SCREEN=${E2E_SCREEN:-1024x768}
# shellcheck source=../tests/e2e/common.bash
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/common.bash" "$@"
for tool in python3 cc xwininfo; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool" >&2; exit 1; }
done

SECONDS_TO_RUN=${FLURBER_SOAK_SECONDS:-600}
SEED=${FLURBER_SOAK_SEED:-16}
# A gap with at least this many clock reads is a busy wait: it reads the clock about every 0.5 ms,
# a frame a few times.
PAUSE_CLOCK_READS=20

cc -O2 -shared -fPIC -o "$WORK/present_probe.so" "$(dirname "${BASH_SOURCE[0]}")/present_probe.c" \
    $(pkg-config --cflags sdl2) -ldl

# --- the window, in the game's own 800 x 600 coordinates, in full screen or in a window ---

WINDOW_WIDTH=800
WINDOW_HEIGHT=600
read_window_size() {
    read -r WINDOW_WIDTH WINDOW_HEIGHT < <(xwininfo -id "$WINDOW" 2>/dev/null |
        awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w, h }')
}

# Window coordinates of the centre of the game's pixel (x, y): the picture is scaled evenly and
# centred in the window.
window_point() {
    awk -v w="$WINDOW_WIDTH" -v h="$WINDOW_HEIGHT" -v x="$1" -v y="$2" 'BEGIN {
        s = w / 800; if (h / 600 < s) s = h / 600
        printf "%d %d\n", int((w - 800 * s) / 2) + int((x + 0.5) * s),
                          int((h - 600 * s) / 2) + int((y + 0.5) * s) }'
}

click_game() {
    local wx wy
    read_window_size
    read -r wx wy < <(window_point "$1" "$2")
    xdotool mousemove --window "$WINDOW" "$wx" "$wy" click 1 2>/dev/null || true
}

move_game() {
    local wx wy
    read_window_size
    read -r wx wy < <(window_point "$1" "$2")
    xdotool mousemove --window "$WINDOW" "$wx" "$wy" 2>/dev/null || true
}

hold_key() {
    xdotool keydown "$1" 2>/dev/null || true
    sleep "$2"
    xdotool keyup "$1" 2>/dev/null || true
}

# At least 10 frames in the last 300 ms: the game is drawing frames, not inside a timed sequence.
frames_coming() {
    local now
    now=$(date +%s%N)
    tail -n 20 "$WORK/frames.log" 2>/dev/null | awk -v since=$((now - 300000000)) \
        '$1 == "frame" && $3 >= since { n++ } END { exit !(n >= 10) }'
}

# The game's pixel (x, y) of a screenshot of the window, as #RRGGBB.
window_pixel() {
    local wx wy
    read -r wx wy < <(window_point "$2" "$3")
    convert "$WORK/$1.ppm[1x1+$wx+$wy]" -format '%[hex:p{0,0}]' info: 2>/dev/null | cut -c1-6 |
        sed 's/^/#/'
}

# In play: frames coming, and the countdown's white box at (395, 20) on the screen.
in_play() {
    frames_coming || return 1
    read_window_size
    import -window "$WINDOW" "$WORK/now.ppm" 2>/dev/null || return 1
    [ "$(window_pixel now 395 20)" = "#FFFFFF" ] && [ "$(window_pixel now 396 21)" = "#FFFFFF" ] &&
        frames_coming
}

# A point of the picture well away from the Quit item, which answers to clicks from y 290 to 400 on
# x 0 to 200: even measured against the window's other size it would not land there.
random_click() {
    local x y
    while :; do
        x=$((RANDOM % 800))
        y=$((RANDOM % 600))
        { [ "$x" -le 260 ] && [ "$y" -ge 220 ] && [ "$y" -le 520 ]; } || break
    done
    act "click $x $y"
    click_game "$x" "$y"
}

# Alt+Return, then nothing until the window has its new size: the game switches when it next reads
# its events, which a timed sequence holds back for up to 3 s, and a click measured against the old
# size could land on Quit.
toggle_window_mode() {
    local before
    read_window_size
    before="$WINDOW_WIDTH $WINDOW_HEIGHT"
    act "alt+Return from $before"
    xdotool key alt+Return 2>/dev/null || true
    for _ in $(seq 60); do
        sleep 0.1
        read_window_size
        if [ "$WINDOW_WIDTH $WINDOW_HEIGHT" != "$before" ]; then
            sleep 0.3
            return 0
        fi
    done
    act "the window kept its size"
}

# Notes what the script does, for a run that goes wrong.
act() { echo "$(date +%s%N) $*" >>"$WORK/actions.log"; }

game_running() { kill -0 "$GAME_PID" 2>/dev/null; }

# --- the run ---

start_display
(cd "$RUN_DIR" && exec env SDL_AUDIODRIVER=dummy PRESENT_PROBE_LOG="$WORK/frames.log" \
    LD_PRELOAD="$WORK/present_probe.so" "$FLURBER") >"$WORK/flurber.log" 2>&1 &
GAME_PID=$!
start=$(date +%s%N)
(
    while kill -0 "$GAME_PID" 2>/dev/null; do
        rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$GAME_PID/status" 2>/dev/null) || break
        [ -n "$rss" ] && echo "$(date +%s%N) $rss"
        sleep 1
    done
) >"$WORK/rss.log" &
SAMPLER_PID=$!
WINDOW=
for _ in $(seq 200); do
    WINDOW=$(full_screen_window) && break
    game_running || fail "the game ended at start-up"
    sleep 0.1
done
[ -n "$WINDOW" ] || fail "no full-screen game window"
sleep 1
xdotool windowactivate --sync "$WINDOW" >/dev/null 2>&1 || xdotool windowfocus "$WINDOW" 2>/dev/null || true
note "game $GAME_PID in window $WINDOW; $SECONDS_TO_RUN s of random input, seed $SEED"

RANDOM=$SEED
declare -A done_count=()
deadline=$((SECONDS + SECONDS_TO_RUN))
while [ "$SECONDS" -lt "$deadline" ]; do
    game_running || break
    roll=$((RANDOM % 100))
    if [ "$roll" -lt 30 ]; then
        keys=(Left Right Left Right S S S Return)
        key=${keys[RANDOM % ${#keys[@]}]}
        hold=$((RANDOM % 5 + 1))
        act "$key for 0.$hold s"
        hold_key "$key" "0.$hold"
        done_count[key]=$((${done_count[key]:-0} + 1))
    elif [ "$roll" -lt 37 ]; then
        act "space"
        hold_key space 0.1
        done_count[space]=$((${done_count[space]:-0} + 1))
    elif [ "$roll" -lt 42 ]; then
        # Up or Down lights an item for the keyboard; the pointer's move hands the menu back to
        # the pointer before any key could act on it.
        key=$([ $((RANDOM % 2)) -eq 0 ] && echo Up || echo Down)
        x=$((300 + RANDOM % 400))
        y=$((RANDOM % 500))
        act "$key, then the pointer to $x $y"
        hold_key "$key" 0.1
        move_game "$x" "$y"
        sleep 0.1
        move_game $((x + 37)) $((y + 37))
        sleep 0.1
        done_count[updown]=$((${done_count[updown]:-0} + 1))
    elif [ "$roll" -lt 72 ]; then
        random_click
        done_count[click]=$((${done_count[click]:-0} + 1))
    elif [ "$roll" -lt 80 ]; then
        # Start, Configuration and Credits more often than anywhere else.
        targets=("100 150" "100 150" "100 250" "750 575")
        read -r x y <<<"${targets[RANDOM % ${#targets[@]}]}"
        act "item $x $y"
        click_game "$x" "$y"
        done_count[item]=$((${done_count[item]:-0} + 1))
    elif [ "$roll" -lt 86 ]; then
        toggle_window_mode
        done_count[altreturn]=$((${done_count[altreturn]:-0} + 1))
    elif [ "$roll" -lt 94 ]; then
        sleep 0.1
        if in_play; then
            act "escape"
            hold_key Escape 0.1
            done_count[escape]=$((${done_count[escape]:-0} + 1))
        fi
    else
        sleep "0.$((RANDOM % 9 + 1))"
    fi
    sleep "0.0$((RANDOM % 9 + 1))"
done
if ! game_running; then
    wait "$GAME_PID" && code=0 || code=$?
    GAME_PID=
    echo "the last things done (ns since the epoch):" >&2
    tail -n 8 "$WORK/actions.log" >&2
    fail "the game ended early (exit $code), its last frame at $(awk '$1 == "frame" { t = $3 } END { print t }' "$WORK/frames.log")"
fi
summary=
for action in "${!done_count[@]}"; do summary+=" $action ${done_count[$action]}"; done
note "input done:$summary"

# Quit: from a game in play Escape leads to the menu; a click off the items closes the credits page
# if it shows; then Quit. Repeated while the game is inside a timed sequence.
GAME_EXIT=running
for _ in $(seq 20); do
    game_running || break
    if in_play; then
        hold_key Escape 0.1
        sleep 0.5
        continue
    fi
    frames_coming || { sleep 0.5; continue; }
    click_game 500 500
    sleep 0.5
    in_play && continue
    click_game 100 350
    wait_game_exit 5
    [ "$GAME_EXIT" = running ] || break
done
if [ "$GAME_EXIT" = running ]; then fail "the game did not quit"; fi
end=$(date +%s%N)
kill "$SAMPLER_PID" 2>/dev/null || true
wait "$SAMPLER_PID" 2>/dev/null || true

if [ -s "$WORK/flurber.log" ]; then
    note "the game said:"
    head -n 5 "$WORK/flurber.log"
fi
python3 - "$WORK/frames.log" "$WORK/rss.log" "$start" "$end" "$PAUSE_CLOCK_READS" "$GAME_EXIT" <<'PY'
import bisect, sys
frames_path, rss_path, start, end, pause_reads, exit_code = sys.argv[1:7]
start, end, pause_reads = int(start), int(end), int(pause_reads)
# Each frame as the display call returned it, and the clock reads since the frame before.
frames = [(int(f[2]), int(f[4])) for f in (line.split() for line in open(frames_path)) if f[:1] == ["frame"]]
print(f"run: {(end - start) / 60e9:.1f} minutes; exit code on Quit: {exit_code} "
      f"({'met' if exit_code == '0' else 'MISSED'}: no crash, exit 0)")
gaps = [((b - a) / 1e6, reads, (a - start) / 1e9) for (a, _), (b, reads) in zip(frames, frames[1:])]
paused = [g for g in gaps if g[1] >= pause_reads]
other = [g for g in gaps if g[1] < pause_reads]
outside_seconds = sum(g[0] for g in other) / 1e3
print(f"frames: {len(frames)} presented; {len(other) / outside_seconds:.1f} a second outside the "
      f"timed sequences")
print(f"  longest gap of all: {max(gaps)[0]:.0f} ms")
print(f"  in timed sequences: {len(paused)} gaps, longest {max(paused)[0] if paused else 0:.0f} ms")
worst = sorted(other, reverse=True)[:5]
print(f"  outside them: longest {worst[0][0]:.1f} ms ({'met' if worst[0][0] <= 100 else 'MISSED'}: "
      f"none over 100 ms); over 50 ms: {sum(1 for g in other if g[0] > 50)}; the five longest "
      f"(ms at s): " + ", ".join(f"{g[0]:.0f} at {g[2]:.0f}" for g in worst))
# Each sample of the resident set, and whether it was taken inside a timed sequence: a new game's
# and a new room's pictures are read there, and reading a large one needs a few MB for a moment.
rss = [tuple(map(int, line.split())) for line in open(rss_path) if line.strip()]
times = [t for t, _ in frames]
def in_sequence(t):
    i = bisect.bisect_right(times, t)
    return 0 < i < len(frames) and frames[i][1] >= pause_reads
settle = start + min(60e9, (end - start) / 2)
after = [(t, kb, in_sequence(t)) for t, kb in rss if t >= settle]
if after:
    def lowest_between(first, last):
        values = [kb for t, kb, _ in after if first <= t < last]
        return min(values) if values else after[0][1]
    every = [kb for _, kb, _ in after]
    between = [kb for _, kb, inside in after if not inside]
    growth = every[-1] - every[0]
    # A leak raises the floor: the lowest sample of the last minute against that of the second.
    floor_drift = lowest_between(after[-1][0] - 60e9, end) - lowest_between(settle, settle + 60e9)
    def spread(samples):
        width = max(samples) - min(samples)
        return (f"{min(samples) / 1024:.1f} to {max(samples) / 1024:.1f} MB, a spread of "
                f"{width / 1024:.2f} MB (inside one band of +-2 MB: "
                f"{'met' if width <= 4096 else 'MISSED'})")
    print(f"resident set after the first {(settle - start) / 1e9:.0f} s ({len(after)} samples):")
    print(f"  last less first: {growth / 1024:+.2f} MB (within +-2 MB: "
          f"{'met' if abs(growth) <= 2048 else 'MISSED'}); lowest of the last minute less lowest "
          f"of the second: {floor_drift / 1024:+.2f} MB")
    print(f"  every sample: {spread(every)}")
    print(f"  outside the timed sequences ({len(between)} samples): {spread(between)}")
PY
