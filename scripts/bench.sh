#!/usr/bin/env bash
# Builds The Flurber with its asset pack in build-bench/ and measures it:
#   frames and blits  Google Benchmark, every time as a ratio to the floor (one memcpy of a frame)
#   memory            resident set over 100,000 menu frames and over 100 rooms played by script
#   the real binary  under Xvfb with Mesa's software OpenGL, as most virtual machines run it:
#                     CPU on the menu and in play at 800x600, and full screen at 1280x720 and
#                     1600x1200, beside a minimal SDL2 loop (the floor); input to screen; frame
#                     intervals over 10 s of play; CPU while minimised; start-up to the first menu
#                     frame and to the menu song, with TimGM6mb and with FluidR3_GM as the default
#                     soundfont
#   valgrind          memcheck on the scripted whole game (tests: Soak.ScriptedWholeGame...)
#   fuzz              only with --fuzz RUNS: each libFuzzer target for RUNS executions
# Usage: bash scripts/bench.sh [--quick] [--fuzz RUNS] [--real] [--before RUN_DIR]
#   --quick leaves out memory and valgrind (the slow parts); --real measures the real binary only.
#   --before measures the real binary of
#   another build (its run folder) in the same run, for figures before and after a change. Run it
#   as root (the soundfont is swapped in a mount namespace of the game's own) on an otherwise idle
#   machine; the figures of a busy one say little.
#   --soak runs nothing but the soak of the real binary (bench/soak.sh): 10 minutes of random
#   keys, clicks and Alt+Return under Xvfb, then Quit; FLURBER_SOAK_SECONDS shortens it for a trial.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
flurber_install xvfb openbox xdotool wmctrl x11-utils valgrind time python3 libxtst-dev imagemagick

quick=0
soak=0
real_only=0
fuzz_runs=0
BEFORE_RUN_DIR=
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1 ;;
        --soak) soak=1 ;;
        --real) quick=1; real_only=1 ;;
        --fuzz) fuzz_runs=$2; shift ;;
        --before) BEFORE_RUN_DIR=$(readlink -f "$2"); shift ;;
        *) echo "usage: $0 [--quick] [--fuzz RUNS] [--real] [--before RUN_DIR]" >&2; exit 2 ;;
    esac
    shift
done

BUILD=${FLURBER_BENCH_BUILD:-$FLURBER_ROOT/build-bench}
RUN_DIR=$BUILD/run
OUT=$(mktemp -d "${TMPDIR:-/tmp}/flurber-bench.XXXXXX")
XVFB_PID=
OPENBOX_PID=
GAME_PID=
stop_pid() {
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null || return 0
    for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    kill -9 "$1" 2>/dev/null || true
}
cleanup() {
    stop_pid "$GAME_PID"
    stop_pid "$OPENBOX_PID"
    stop_pid "$XVFB_PID"
    rm -rf "$OUT"
}
trap cleanup EXIT

echo "== build ($BUILD)"
cmake -S "$FLURBER_ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target flurber flurber_bench flurber_tests flurber_assets >/dev/null

if [ "$soak" -eq 1 ]; then
    echo
    echo "== soak: the real binary under Xvfb, ${FLURBER_SOAK_SECONDS:-600} s of random input, then Quit"
    bash "$FLURBER_ROOT/bench/soak.sh" "$BUILD/run/flurber" "$RUN_DIR"
    exit
fi

if [ "$real_only" -eq 0 ]; then
echo
echo "== frames and blits (median CPU time of 5 runs; ratio = time / floor)"
"$BUILD/flurber_bench" --benchmark_filter='^BM_(Floor|Memcpy|PlainBlit|KeyedBlit|Stretched|Clear|PlayFrame|MenuFrame|PresentFrame|LoadCredits)' \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_min_time=0.3 \
    --benchmark_out="$OUT/frames.json" --benchmark_out_format=json >/dev/null 2>"$OUT/bench.err" ||
    { cat "$OUT/bench.err" >&2; exit 1; }
python3 - "$OUT/frames.json" <<'EOF'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
median = {b["run_name"]: b for b in runs if b.get("aggregate_name") == "median"}
def cpu_us(name):
    b = median[name]
    return b["cpu_time"] * {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
floor = cpu_us("BM_Floor_MemcpyFrame")
print(f"{'benchmark':40} {'CPU us':>9} {'x floor':>8}  target")
targets = {"BM_PlayFrame/composed": 2.0, "BM_MenuFrame/composed": 4.0}
for name, b in median.items():
    if name.startswith("BM_") and "Megapixel" not in name:
        ratio = cpu_us(name) / floor
        goal = targets.get(name)
        verdict = "" if goal is None else f"<= {goal:g}x: {'met' if ratio <= goal else 'MISSED'}"
        print(f"{name:40} {cpu_us(name):9.1f} {ratio:8.2f}  {verdict}")
print()
print("per megapixel, against a memcpy of the same bytes (BM_Memcpy_Megapixel)")
reference = median["BM_Memcpy_Megapixel"]["items_per_second"]
for name, b in median.items():
    if "Megapixel" in name:
        us_per_mp = 1e6 / b["items_per_second"] * 1e6
        print(f"{name:40} {us_per_mp:9.1f} us/MP {reference / b['items_per_second']:6.2f} x memcpy")
EOF
fi

if [ "$quick" -eq 0 ]; then
    echo
    echo "== memory (resident set; flat means growth and span within +-1 MB)"
    "$BUILD/flurber_bench" --benchmark_filter='^BM_Memory' \
        --benchmark_out="$OUT/memory.json" --benchmark_out_format=json >/dev/null 2>"$OUT/bench.err" ||
        { cat "$OUT/bench.err" >&2; exit 1; }
    # The same rooms with glibc's mmap threshold held still, to tell allocator drift from leaks.
    MALLOC_MMAP_THRESHOLD_=131072 "$BUILD/flurber_bench" --benchmark_filter='^BM_Memory_Rooms' \
        --benchmark_out="$OUT/memory_fixed.json" --benchmark_out_format=json >/dev/null 2>"$OUT/bench.err" ||
        { cat "$OUT/bench.err" >&2; exit 1; }
    python3 - "$OUT/memory.json" "$OUT/memory_fixed.json" <<'EOF'
import json, sys
for path, note in ((sys.argv[1], "glibc malloc as is"), (sys.argv[2], "MALLOC_MMAP_THRESHOLD_=131072")):
    for b in json.load(open(path))["benchmarks"]:
        name = b["name"].split("/")[0]
        growth, span = b["rss_growth_kB"] / 1024, b["rss_span_kB"] / 1024
        ok = abs(growth) <= 1 and span <= 2
        extra = f"{int(b['frames'])} frames" if "frames" in b else f"{int(b['rooms'])} rooms, {b['game_minutes']:.1f} game minutes"
        print(f"{name:22} {note:30} warm {b['rss_warm_kB']/1024:7.1f} MB  end {b['rss_end_kB']/1024:7.1f} MB  "
              f"growth {growth:+5.1f} MB  span {span:4.1f} MB  ({extra})  {'flat' if ok else 'NOT flat'}")
EOF
fi

# The real binary, as a player meets it: Xvfb with openbox and Mesa's software OpenGL, SDL's dummy
# audio driver (the mixer and the music run in real time with no device). Three small programs are
# built for it:
#   present_probe.so  (bench/present_probe.c) preloaded into the game: notes when every presented
#                     frame is handed to the display and when the display call returns, a hash of
#                     its picture when asked, and when the music's first song starts
#   floor_loop        the floor: a minimal SDL2 loop showing a changing 800 x 600 picture 60 times
#                     a second through the native X11 framebuffer
#   pointer_moves     moves the pointer with XTest and stamps the moment each move has reached the
#                     X server, whose event is then on its way to the game
cat >"$OUT/floor_loop.c" <<'EOF'
#include <SDL.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? atoi(argv[1]) : 10;
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window *window = SDL_CreateWindow("floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          800, 600, 0);
    if (!window) return 1;
    const Uint64 frequency = SDL_GetPerformanceFrequency();
    Uint64 due = SDL_GetPerformanceCounter();
    for (int frame = 0; frame < seconds * 60; ++frame) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
        SDL_Surface *surface = SDL_GetWindowSurface(window);
        SDL_FillRect(surface, NULL, SDL_MapRGB(surface->format, frame * 3, 128, 255 - frame * 3));
        SDL_UpdateWindowSurface(window);
        due += frequency / 60;
        const Uint64 now = SDL_GetPerformanceCounter();
        if (due > now) SDL_Delay((Uint32)((due - now) * 1000 / frequency));
    }
    SDL_Quit();
    return 0;
}
EOF
cat >"$OUT/pointer_moves.c" <<'EOF'
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

/* pointer_moves COUNT SEED FROM_X FROM_Y TO_X TO_Y: COUNT times from one spot to the other, each
   move at a random phase of the frame; prints the moment each move onto TO has reached the server. */
int main(int argc, char **argv) {
    if (argc != 7) return 2;
    Display *display = XOpenDisplay(NULL);
    if (!display) return 1;
    const int count = atoi(argv[1]);
    srand((unsigned)atoi(argv[2]));
    for (int i = 0; i < count; ++i) {
        XTestFakeMotionEvent(display, -1, atoi(argv[3]), atoi(argv[4]), CurrentTime);
        XSync(display, False);
        usleep(300000 + rand() % 100000);
        XTestFakeMotionEvent(display, -1, atoi(argv[5]), atoi(argv[6]), CurrentTime);
        XSync(display, False);
        struct timespec t;
        clock_gettime(CLOCK_REALTIME, &t);
        printf("%lld\n", (long long)t.tv_sec * 1000000000LL + t.tv_nsec);
        fflush(stdout);
        usleep(300000);
    }
    XCloseDisplay(display);
    return 0;
}
EOF
sdl_flags=$(pkg-config --cflags --libs sdl2)
cc -O2 -shared -fPIC -o "$OUT/present_probe.so" "$FLURBER_ROOT/bench/present_probe.c" \
    $(pkg-config --cflags sdl2) -ldl
cc -O2 -o "$OUT/floor_loop" "$OUT/floor_loop.c" $sdl_flags
cc -O2 -o "$OUT/pointer_moves" "$OUT/pointer_moves.c" -lX11 -lXtst

start_display() {
    local display
    for display in $(seq 90 120); do
        [ -e "/tmp/.X${display}-lock" ] || break
    done
    export DISPLAY=:$display
    Xvfb "$DISPLAY" -screen 0 "$1x24" -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    openbox >/dev/null 2>&1 &
    OPENBOX_PID=$!
    sleep 1
}
stop_display() {
    stop_pid "$OPENBOX_PID"
    stop_pid "$XVFB_PID"
    OPENBOX_PID=
    XVFB_PID=
}
# The dummy audio driver runs the mixer in real time with no device, so the soundfont is loaded and
# the music synthesised as with a sound card.
export SDL_AUDIODRIVER=dummy

ticks() { awk '{print $14 + $15}' "$1"; }
HZ=$(getconf CLK_TCK)
# CPU of a process over the given seconds, in percent of a core.
cpu_of() {
    local pid=$1 seconds=$2 before after
    before=$(ticks "/proc/$pid/stat")
    sleep "$seconds"
    after=$(ticks "/proc/$pid/stat")
    awk -v t=$((after - before)) -v hz="$HZ" -v s="$seconds" 'BEGIN { printf "%.1f", t / hz / s * 100 }'
}

# Starts the game in RUN_DIR under the probe, logging to $1; waits for its first frame.
start_game() {
    local log=$1
    shift
    rm -f "$log"
    (cd "$RUN_DIR" && exec env PRESENT_PROBE_LOG="$log" LD_PRELOAD="$OUT/present_probe.so" "$@" \
        ./flurber >/dev/null 2>&1) &
    GAME_PID=$!
    for _ in $(seq 100); do grep -q '^frame' "$log" 2>/dev/null && break; sleep 0.1; done
}
stop_game() {
    stop_pid "$GAME_PID"
    GAME_PID=
}

# Screen coordinates of a point of the 800 x 600 picture, letterboxed full screen on $1 (WxH).
to_screen() {
    awk -v size="$1" -v x="$2" -v y="$3" 'BEGIN {
        split(size, s, "x"); k = s[1] / 800 < s[2] / 600 ? s[1] / 800 : s[2] / 600
        printf "%d %d\n", int((s[1] - int(800 * k)) / 2 + (x + 0.5) * k), int((s[2] - int(600 * k)) / 2 + (y + 0.5) * k) }'
}

# One binary on one screen size: CPU on the menu and in play; at 800 x 600 also the input lag, the
# frame intervals in play, the CPU while minimised and the start-up with each soundfont. Figures go
# to $RESULTS as "label size figure value" lines.
measure() {
    local label=$1 size=$2 log="$OUT/$1-$2.log" empty start
    start_display "$size"
    if [ "$label" = now ] && [ "$size" = 800x600 ]; then
        "$OUT/floor_loop" 14 &
        local floor_pid=$!
        sleep 2
        echo "$label $size floor_cpu $(cpu_of "$floor_pid" 10)" >>"$RESULTS"
        wait "$floor_pid" || true
    fi
    if [ "$size" = 800x600 ]; then
        measure_startup "$label"
    fi
    start_game "$log"
    read -r empty_x empty_y < <(to_screen "$size" 400 300)
    read -r start_x start_y < <(to_screen "$size" 100 150)
    xdotool mousemove "$empty_x" "$empty_y"
    sleep 2
    echo "$label $size menu_cpu $(cpu_of "$GAME_PID" 10)" >>"$RESULTS"
    if [ "$size" = 800x600 ]; then
        # The input lag, on its own run of the game with the picture hashed on every present.
        stop_game
        start_game "$OUT/$label-lag.log" PRESENT_PROBE_HASH=1
        sleep 2
        "$OUT/pointer_moves" 60 7 "$empty_x" "$empty_y" "$start_x" "$start_y" >"$OUT/$label-moves.txt"
        echo "$label $size lag $(python3 "$OUT/lag.py" "$OUT/$label-lag.log" "$OUT/$label-moves.txt")" >>"$RESULTS"
        stop_game
        start_game "$log"
    fi
    xdotool mousemove "$start_x" "$start_y" click 1
    sleep 3 # the 200 ms switch and the intro's 100 frames
    start=$(date +%s%N)
    local cpu_file="$OUT/$label-$size-play-cpu"
    (cpu_of "$GAME_PID" 10 >"$cpu_file") &
    local cpu_pid=$!
    for _ in 1 2; do
        xdotool keydown Right; sleep 2.4; xdotool keyup Right
        xdotool keydown Left; sleep 2.4; xdotool keyup Left
    done
    wait "$cpu_pid"
    echo "$label $size play_cpu $(cat "$cpu_file")" >>"$RESULTS"
    if [ "$size" = 800x600 ]; then
        echo "$label $size pacing $(python3 "$OUT/pacing.py" "$log" "$start" $((start + 10000000000)))" >>"$RESULTS"
        # Minimised: no frames run.
        xdotool windowminimize "$(xdotool search --pid "$GAME_PID" 2>/dev/null | head -1)"
        sleep 2
        echo "$label $size idle_cpu $(cpu_of "$GAME_PID" 10)" >>"$RESULTS"
    fi
    stop_game
    stop_display
}

# Start-up to the first presented menu frame, and to the start of the menu song, five times with
# each soundfont as the system's default (bound over it in a mount namespace of the game's own).
measure_startup() {
    local label=$1 font name run log
    for font in /usr/share/sounds/sf2/TimGM6mb.sf2 "$FLUIDR3"; do
        name=$(basename "$font" .sf2)
        if [ ! -f "$font" ] || ! unshare --mount true 2>/dev/null; then
            echo "$label 800x600 startup_$name skipped" >>"$RESULTS"
            continue
        fi
        cat "$font" >/dev/null # from the page cache, as on any start after the first
        for run in 1 2 3 4 5 6; do
            log="$OUT/$label-startup-$name-$run.log"
            rm -f "$log"
            (cd "$RUN_DIR" && exec unshare --mount sh -c '
                mount --bind "$1" /usr/share/sounds/sf2/default-GM.sf2 || exit 1
                date +%s%N >"$2.start"
                exec env PRESENT_PROBE_LOG="$2" PRESENT_PROBE_HASH=1 LD_PRELOAD="$3" ./flurber' sh "$font" "$log" \
                "$OUT/present_probe.so" >/dev/null 2>&1) &
            GAME_PID=$!
            for _ in $(seq 50); do grep -q '^music' "$log" 2>/dev/null && break; sleep 0.1; done
            sleep 0.3
            stop_game
            # The first run warms what the later ones find in memory.
            # The first frame with a picture: the window may be cleared to black before it.
            [ "$run" -gt 1 ] && echo "$(cat "$log.start") $(awk '$1 == "frame" && $4 != 0 { print $2; exit }' "$log") $(awk '$1 == "music" { print $2; exit }' "$log")" >>"$OUT/$label-startup-$name"
        done
        echo "$label 800x600 startup_$name $(python3 "$OUT/startup.py" "$OUT/$label-startup-$name")" >>"$RESULTS"
    done
}

cat >"$OUT/lag.py" <<'EOF'
# From each move onto Start to the first presented frame whose picture differs from the one on
# show when the move reached the server.
import statistics, sys
frames = [(int(f[1]), f[3]) for f in (l.split() for l in open(sys.argv[1])) if f[0] == "frame"]
lags = []
for stamp in (int(l) for l in open(sys.argv[2])):
    before = [h for t, h in frames if t < stamp]
    after = [(t, h) for t, h in frames if t >= stamp]
    if not before:
        continue
    changed = next((t for t, h in after if h != before[-1]), None)
    if changed is not None:
        lags.append((changed - stamp) / 1e6)
lags.sort()
if len(lags) < 10:
    print("too_few_moves_seen"); sys.exit()
p90 = lags[min(len(lags) - 1, round(0.9 * (len(lags) - 1)))]
print(f"{len(lags)} {statistics.median(lags):.1f} {p90:.1f} {lags[0]:.1f} {lags[-1]:.1f}")
EOF
cat >"$OUT/pacing.py" <<'EOF'
# Intervals between presented frames in a window of play: as handed to the display (the game's own
# pacing) and as the display call returns (with what the X server takes).
import statistics, sys
rows = [l.split() for l in open(sys.argv[1]) if l.startswith("frame")]
start, end = int(sys.argv[2]), int(sys.argv[3])
out = []
for column in (1, 2):
    times = [int(r[column]) for r in rows if start <= int(r[1]) <= end]
    gaps = sorted((b - a) / 1e6 for a, b in zip(times, times[1:]))
    if len(gaps) < 10:
        print("too_few_frames"); sys.exit()
    pct = lambda p: gaps[min(len(gaps) - 1, round(p / 100 * (len(gaps) - 1)))]
    out += [f"{statistics.median(gaps):.3f}", f"{pct(99):.3f}", f"{gaps[-1]:.3f}"]
print(len(rows), *out)
EOF
cat >"$OUT/startup.py" <<'EOF'
import statistics, sys
rows = [[int(x) for x in l.split()] for l in open(sys.argv[1]) if len(l.split()) == 3]
frame = sorted((f - s) / 1e6 for s, f, m in rows)
music = sorted((m - s) / 1e6 for s, f, m in rows)
print(f"{statistics.median(frame):.0f} {max(frame):.0f} {statistics.median(music):.0f} {max(music):.0f}")
EOF

# The 148 MB FluidR3_GM soundfont, unpacked from its Debian package beside the build rather than
# installed: installing it would make it the default of every program on the machine.
FLUIDR3=$BUILD/soundfonts/usr/share/sounds/sf2/FluidR3_GM.sf2
if [ ! -f "$FLUIDR3" ]; then
    (mkdir -p "$BUILD/soundfonts" && cd "$BUILD/soundfonts" && apt-get download -qq fluid-soundfont-gm &&
        dpkg-deb -x fluid-soundfont-gm_*.deb .) >/dev/null 2>&1 || echo "FluidR3_GM not to be had; its start-up is skipped"
fi

RESULTS="$OUT/results"
: >"$RESULTS"
for binary in ${BEFORE_RUN_DIR:+before} now; do
    [ "$binary" = before ] && RUN_DIR=$BEFORE_RUN_DIR || RUN_DIR=$BUILD/run
    for size in 800x600 1280x720 1600x1200; do
        echo "   measuring $binary at $size"
        measure "$binary" "$size"
    done
done
RUN_DIR=$BUILD/run

python3 - "$RESULTS" <<'EOF'
import sys
figures = {}
for line in open(sys.argv[1]):
    label, size, name, *value = line.split()
    figures[(label, size, name)] = value
labels = [l for l in ("before", "now") if any(k[0] == l for k in figures)]
def get(label, size, name):
    return figures.get((label, size, name))
def verdict(ok):
    return "met" if ok else "MISSED"
print()
floor = get("now", "800x600", "floor_cpu")
print(f"floor (minimal SDL2 loop, 800x600 changing picture at 60 Hz, native framebuffer): {floor[0] if floor else '?'} % of a core")
print()
print(f"{'CPU, % of a core':34}" + "".join(f"{l:>10}" for l in labels) + "  target")
for size, name, target in (("800x600", "menu_cpu", 6), ("800x600", "play_cpu", 8),
                           ("1280x720", "menu_cpu", 12), ("1280x720", "play_cpu", 12),
                           ("1600x1200", "menu_cpu", 15), ("1600x1200", "play_cpu", 15),
                           ("800x600", "idle_cpu", 5)):
    values = [get(l, size, name) for l in labels]
    text = "".join(f"{v[0] if v else '?':>10}" for v in values)
    now = get("now", size, name)
    print(f"{name.split('_')[0] + ' at ' + size:34}{text}  <= {target}: {verdict(now and float(now[0]) <= target)}")
print()
print("input to screen (pointer onto Start, first frame that shows it), ms")
for l in labels:
    v = get(l, "800x600", "lag")
    if v and len(v) == 5:
        print(f"  {l:8} {v[0]} moves: median {v[1]}, p90 {v[2]}, min {v[3]}, max {v[4]}"
              + (f"   median <= 12: {verdict(float(v[1]) <= 12)}, p90 <= 20: {verdict(float(v[2]) <= 20)}" if l == "now" else ""))
print()
print("frame intervals over 10 s of play, ms (median, p99, max)")
for l in labels:
    v = get(l, "800x600", "pacing")
    if v and len(v) == 7:
        ok = lambda ms: abs(1000 / float(ms) - 60) <= 1.2
        print(f"  {l:8} handed to the display {v[1]}, {v[2]}, {v[3]};  display call returned {v[4]}, {v[5]}, {v[6]}"
              + (f"   60 Hz +-2 %: {verdict(ok(v[1]) and ok(v[2]))}, returned p99 <= 17.0: {verdict(float(v[5]) <= 17.0)}" if l == "now" else ""))
print()
print("start-up, ms from exec (median and worst of 5): first presented menu frame; menu song starts")
for l in labels:
    for font in ("TimGM6mb", "FluidR3_GM"):
        v = get(l, "800x600", "startup_" + font)
        if not v or len(v) != 4:
            print(f"  {l:8} {font:11} {'skipped' if v else '?'}")
            continue
        print(f"  {l:8} {font:11} frame {v[0]} (worst {v[1]});  song {v[2]} (worst {v[3]})"
              + (f"   frame <= 200: {verdict(float(v[0]) <= 200)}, song <= 400: {verdict(float(v[2]) <= 400)}" if l == "now" else ""))
EOF

if [ "$quick" -eq 0 ]; then
    echo
    echo "== valgrind memcheck on the scripted whole game (short form: rooms 1 to 5 and the victory)"
    # GObject's type registrations, made once by libinstpatch when FluidSynth starts, live as long
    # as the process: not ours, and not a leak.
    cat >"$OUT/valgrind.supp" <<'EOF'
{
   libinstpatch registers its GObject types once per process
   Memcheck:Leak
   match-leak-kinds: definite
   ...
   fun:ipatch_init
}
EOF
    (cd "$BUILD" && SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy FLURBER_SOAK_SCALE=0.25 \
        valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
        --suppressions="$OUT/valgrind.supp" \
        --show-leak-kinds=definite ./flurber_tests --gtest_filter='Soak.ScriptedWholeGame*' \
        >"$OUT/valgrind.txt" 2>&1) && status=0 || status=$?
    grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|PASSED|FAILED' "$OUT/valgrind.txt" | sed 's/^==[0-9]*== //'
    echo "valgrind: $([ "$status" -eq 0 ] && echo clean || echo "NOT clean (exit $status)")"
fi

if [ "$fuzz_runs" -gt 0 ]; then
    echo
    echo "== fuzzing, $fuzz_runs executions per target (clang, ASan + UBSan)"
    FUZZ_BUILD=$FLURBER_ROOT/build-fuzz
    CXX=clang++ CC=clang cmake -S "$FLURBER_ROOT" -B "$FUZZ_BUILD" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLURBER_FUZZ=ON -DFLURBER_ASSETS=OFF >/dev/null
    cmake --build "$FUZZ_BUILD" --target fuzz_all >/dev/null
    for target in wave_loader bitmap_loader music_loader; do
        mkdir -p "$FUZZ_BUILD/fuzz/$target/corpus" "$FUZZ_BUILD/fuzz/$target/artifacts"
        inputs=("$FLURBER_ROOT/fuzz/corpus/$target")
        [ -d "$FLURBER_ROOT/fuzz/regressions/$target" ] && inputs+=("$FLURBER_ROOT/fuzz/regressions/$target")
        dict=()
        [ -f "$FLURBER_ROOT/fuzz/$target.dict" ] && dict=(-dict="$FLURBER_ROOT/fuzz/$target.dict")
        # FluidSynth takes and frees a large block on every render that loads a file; ASan's
        # quarantine of such blocks costs the music target nine tenths of its speed.
        asan=""
        [ "$target" = music_loader ] && asan="quarantine_size_mb=0:thread_local_quarantine_size_kb=0"
        (cd "$FUZZ_BUILD" && ASAN_OPTIONS=$asan "./fuzz/fuzz_$target" -runs="$fuzz_runs" -max_len=2048 -print_final_stats=1 \
            -artifact_prefix="$FUZZ_BUILD/fuzz/$target/artifacts/" "${dict[@]}" \
            "$FUZZ_BUILD/fuzz/$target/corpus" "${inputs[@]}" >"$OUT/fuzz_$target.txt" 2>&1) &&
            verdict="no finding" || verdict="FINDING (see $FUZZ_BUILD/fuzz/$target/artifacts)"
        runs=$(grep -E 'stat::number_of_executed_units' "$OUT/fuzz_$target.txt" | awk '{print $2}')
        echo "$target: ${runs:-?} executions, $verdict"
    done
fi
