#!/usr/bin/env bash
# Builds The Flurber with its asset pack in build-bench/ and measures it with the modules of bench/,
# each of which also runs alone (python3 bench/NAME.py --help):
#   frames and blits  benchmarks.py frames: Google Benchmark, every time as a ratio to the floor
#                     (one memcpy of a frame)
#   memory            benchmarks.py memory: resident set over 100,000 menu frames and 100 rooms
#   the real binary   under Xvfb with openbox and Mesa's software OpenGL, as most virtual machines
#                     run it: cpu.py (CPU on the menu and in play at 800x600, and full screen at
#                     1280x720 and 1600x1200, beside a minimal SDL2 loop, the floor; CPU while
#                     minimised), input_lag.py (input to screen), frame_intervals.py (10 s of play),
#                     startup.py (to the first menu frame and to the menu song, with TimGM6mb and
#                     with FluidR3_GM as the default soundfont), frame_rate.py (frames a second at
#                     800x600 and 3840x2160 beside busy loops on the game's core and with
#                     --renderer=accelerated; CPU of the software path up to 3840x2160)
#   the sound         sound_server.py: the real binary playing into a PulseAudio daemon of its own,
#                     its sink recorded: the menu song after the window with either soundfont,
#                     gaps under load, the return after a server restart, CPU, the server's latency
#   valgrind          benchmarks.py valgrind: memcheck on the scripted whole game
#   the browser       web.js: the page (scripts/web.sh, into build-web/) in headless Chromium:
#                     the size of its files, click to the menu's first frame and song, frames a
#                     second and frame intervals on the menu and in play, the main thread's time
#                     per frame, gaps in 60 s of the menu song and when a room starts
#   fuzz              only with --fuzz RUNS: fuzz.py, each libFuzzer target for RUNS executions
# Usage: bash scripts/bench.sh [--quick] [--fuzz RUNS] [--real] [--before RUN_DIR] [--soak] [--web]
#   --quick leaves out memory and valgrind (the slow parts); --real measures the real binary only;
#   --web the browser's page only.
#   --before measures the real binary of another build (its run folder) in the same run, for
#   figures before and after a change. Run it as root (the soundfont is swapped in a mount
#   namespace of the game's own) on an otherwise idle machine; the figures of a busy one say little.
#   --soak runs nothing but the soak of the real binary (soak.py): 10 minutes of random keys,
#   clicks and Alt+Return under Xvfb, then Quit; FLURBER_SOAK_SECONDS shortens it for a trial.
# All in braces, so that bash reads the whole script before it runs a line: an edit of the script
# during a long run does not break that run.
{
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
flurber_install xvfb openbox xdotool wmctrl x11-utils valgrind time python3 libxtst-dev imagemagick \
    pulseaudio pulseaudio-utils

quick=0
soak=0
web_only=0
real_only=0
fuzz_runs=0
before=()
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1 ;;
        --soak) soak=1 ;;
        --web) web_only=1 ;;
        --real) quick=1; real_only=1 ;;
        --fuzz) fuzz_runs=$2; shift ;;
        --before) before=(--before "$(readlink -f "$2")"); shift ;;
        *) echo "usage: $0 [--quick] [--fuzz RUNS] [--real] [--before RUN_DIR] [--soak] [--web]" >&2; exit 2 ;;
    esac
    shift
done

BUILD=${FLURBER_BENCH_BUILD:-$FLURBER_ROOT/build-bench}
export FLURBER_BENCH_BUILD=$BUILD PYTHONDONTWRITEBYTECODE=1
bench() { python3 "$FLURBER_ROOT/bench/$1.py" "${@:2}"; }

echo "== build ($BUILD)"
cmake -S "$FLURBER_ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target flurber flurber_bench flurber_tests flurber_assets >/dev/null

# The page of this tree, with the asset pack of the build above, and the browser driver.
bench_web() {
    echo
    echo "== the browser's page in headless Chromium"
    flurber_install chromium
    FLURBER_WEB_ASSETS="$BUILD/run" bash "$FLURBER_ROOT/scripts/web.sh" >/dev/null
    (cd "$FLURBER_ROOT/tests/e2e/web" && npm ci --silent)
    node "$FLURBER_ROOT/bench/web.js" "${FLURBER_WEB_BUILD:-$FLURBER_ROOT/build-web}/page"
}

if [ "$web_only" -eq 1 ]; then
    bench_web
    exit
fi

if [ "$soak" -eq 1 ]; then
    echo
    echo "== soak: the real binary under Xvfb, ${FLURBER_SOAK_SECONDS:-600} s of random input, then Quit"
    bench soak
    exit
fi

if [ "$real_only" -eq 0 ]; then
    echo
    echo "== frames and blits (median CPU time of 5 runs; ratio = time / floor)"
    bench benchmarks frames
fi

if [ "$quick" -eq 0 ]; then
    echo
    echo "== memory (resident set; flat means growth and span within +-1 MB)"
    bench benchmarks memory
fi

echo
echo "== the real binary under Xvfb with openbox (SDL's dummy audio driver)"
for measurement in cpu input_lag frame_intervals startup frame_rate; do
    bench "$measurement" "${before[@]}"
done

echo
echo "== the real binary natively on Wayland (weston) beside X11"
bench wayland "${before[@]}"

echo
echo "== the real binary playing into a PulseAudio daemon of its own"
bench sound_server "${before[@]}"

[ "$real_only" -eq 1 ] || bench_web

if [ "$quick" -eq 0 ]; then
    echo
    echo "== valgrind memcheck on the scripted whole game (short form: rooms 1 to 5 and the victory)"
    bench benchmarks valgrind
fi

if [ "$fuzz_runs" -gt 0 ]; then
    echo
    echo "== fuzzing, $fuzz_runs executions per target (clang, ASan + UBSan)"
    FUZZ_BUILD=$FLURBER_ROOT/build-fuzz
    CXX=clang++ CC=clang cmake -S "$FLURBER_ROOT" -B "$FUZZ_BUILD" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLURBER_FUZZ=ON -DFLURBER_ASSETS=OFF >/dev/null
    cmake --build "$FUZZ_BUILD" --target fuzz_all >/dev/null
    bench fuzz --build "$FUZZ_BUILD" --runs "$fuzz_runs"
fi
exit
}
