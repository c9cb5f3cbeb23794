#!/usr/bin/env bash
# Builds The Flurber with its asset pack in build-bench/ and measures it:
#   frames and blits  Google Benchmark, every time as a ratio to the floor (one memcpy of a frame)
#   memory            resident set over 100,000 menu frames and over 100 rooms played by script
#   start-up          the real binary under Xvfb, from exec to its first presented menu frame
#   frame pacing      the real binary under Xvfb: intervals between presented frames over 10 s of play
#   idle              CPU use of the real binary while its window is minimised
#   valgrind          memcheck on the scripted whole game (tests: Soak.ScriptedWholeGame...)
#   fuzz              only with --fuzz RUNS: each libFuzzer target for RUNS executions
# Usage: bash scripts/bench.sh [--quick] [--fuzz RUNS]
#   --quick leaves out memory and valgrind (the slow parts). Run it on an otherwise idle machine;
#   the figures of a busy one say little.
#   --soak runs nothing but the soak of the real binary (bench/soak.sh): 10 minutes of random
#   keys, clicks and Alt+Return under Xvfb, then Quit; FLURBER_SOAK_SECONDS shortens it for a trial.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
flurber_install xvfb openbox xdotool wmctrl x11-utils valgrind time python3 imagemagick

quick=0
soak=0
fuzz_runs=0
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1 ;;
        --soak) soak=1 ;;
        --fuzz) fuzz_runs=$2; shift ;;
        *) echo "usage: $0 [--quick] [--fuzz RUNS]" >&2; exit 2 ;;
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

# A small library preloaded into the real binary: it notes the moments of every presented frame (an
# SDL_RenderPresent after the frame's texture was updated), when the game hands it to the display
# and when the display call returns, and can end the process at the first.
cat >"$OUT/present_probe.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static int updated;
static FILE *log_file;

static long long now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

int SDL_UpdateTexture(void *texture, const void *rect, const void *pixels, int pitch) {
    static int (*real)(void *, const void *, const void *, int);
    if (!real) real = (int (*)(void *, const void *, const void *, int))dlsym(RTLD_NEXT, "SDL_UpdateTexture");
    updated = 1;
    return real(texture, rect, pixels, pitch);
}

void SDL_RenderPresent(void *renderer) {
    static void (*real)(void *);
    if (!real) real = (void (*)(void *))dlsym(RTLD_NEXT, "SDL_RenderPresent");
    const long long handed = now_ns();
    real(renderer);
    if (!updated) return;
    updated = 0;
    if (!log_file) {
        const char *path = getenv("PRESENT_PROBE_LOG");
        log_file = path ? fopen(path, "a") : stderr;
        if (!log_file) log_file = stderr;
    }
    fprintf(log_file, "%lld %lld\n", handed, now_ns());
    fflush(log_file);
    if (getenv("PRESENT_PROBE_EXIT")) _exit(0);
}
EOF
cc -O2 -shared -fPIC -o "$OUT/present_probe.so" "$OUT/present_probe.c" -ldl

start_display() {
    local display
    for display in $(seq 90 120); do
        [ -e "/tmp/.X${display}-lock" ] || break
    done
    export DISPLAY=:$display
    Xvfb "$DISPLAY" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    openbox >/dev/null 2>&1 &
    OPENBOX_PID=$!
    sleep 1
}
start_display
# The dummy audio driver runs the mixer in real time with no device, so the soundfont is loaded and
# the music synthesised as with a sound card.
export SDL_AUDIODRIVER=dummy

echo
echo "== start-up to the first presented menu frame (real binary, Xvfb 800x600, soundfont loaded)"
for i in 1 2 3 4 5; do
    rm -f "$OUT/startup.log"
    start=$(date +%s%N)
    (cd "$RUN_DIR" && PRESENT_PROBE_LOG="$OUT/startup.log" PRESENT_PROBE_EXIT=1 \
        LD_PRELOAD="$OUT/present_probe.so" /usr/bin/time -v -o "$OUT/time$i.txt" ./flurber \
        >/dev/null 2>"$OUT/startup_stderr.txt")
    first=$(head -1 "$OUT/startup.log" | awk '{print $2}')
    echo $(((first - start) / 1000000)) >>"$OUT/startup_ms"
    grep 'Maximum resident' "$OUT/time$i.txt" | awk '{print $6}' >>"$OUT/startup_rss"
done
python3 - "$OUT/startup_ms" "$OUT/startup_rss" <<'EOF'
import statistics, sys
ms = [int(x) for x in open(sys.argv[1])]
rss = [int(x) for x in open(sys.argv[2])]
m = statistics.median(ms)
print(f"runs (ms): {ms}  median {m:.0f} ms  (target <= 300 ms: {'met' if m <= 300 else 'MISSED'})")
print(f"maximum resident set at the first frame: median {statistics.median(rss)/1024:.1f} MB")
EOF

echo
echo "== frame pacing over 10 s of play (real binary, Xvfb)"
rm -f "$OUT/frames.log"
(cd "$RUN_DIR" && exec env PRESENT_PROBE_LOG="$OUT/frames.log" LD_PRELOAD="$OUT/present_probe.so" \
    ./flurber >/dev/null 2>&1) &
GAME_PID=$!
for _ in $(seq 100); do [ -s "$OUT/frames.log" ] && break; sleep 0.1; done
sleep 1
xdotool mousemove 100 150 click 1  # Start
sleep 2.5                            # the 200 ms switch and the intro's 100 frames
play_start=$(date +%s%N)
for round in 1 2 3; do
    xdotool keydown Right; sleep 1.2; xdotool keyup Right
    for _ in 1 2 3 4; do xdotool key s; sleep 0.2; done
    xdotool keydown Left; sleep 1.2; xdotool keyup Left
done
play_end=$(date +%s%N)
python3 - "$OUT/frames.log" "$play_start" "$play_end" <<'EOF'
import statistics, sys
rows = [line.split() for line in open(sys.argv[1])]
start, end = int(sys.argv[2]), int(sys.argv[3])
ok = lambda ms: abs(1000 / ms - 60) <= 1.2
def report(label, column):
    times = [int(row[column]) for row in rows]
    window = [t for t in times if start <= t <= start + 10_000_000_000 and t <= end]
    gaps = sorted((b - a) / 1e6 for a, b in zip(window, window[1:]))
    if len(gaps) < 10:
        print("too few frames seen"); return
    def pct(p): return gaps[min(len(gaps) - 1, int(round(p / 100 * (len(gaps) - 1))))]
    median = statistics.median(gaps)
    print(f"{label}: {len(window)} frames in {(window[-1]-window[0])/1e9:.2f} s, "
          f"interval median {median:.3f} ms ({1000/median:.2f} Hz), p1 {pct(1):.3f} ms, "
          f"p99 {pct(99):.3f} ms ({1000/pct(99):.2f} Hz), max {gaps[-1]:.3f} ms; 60 Hz +- 2 %: "
          f"median {'met' if ok(median) else 'MISSED'}, p99 {'met' if ok(pct(99)) else 'MISSED'}")
# Handed: when the game gives the finished frame to the display (its own pacing). Shown: when the
# display call returns, which adds whatever the X server and its GL take that frame.
report("handed to the display", 0)
report("display call returned", 1)
EOF
stop_pid "$GAME_PID"
GAME_PID=

echo
echo "== CPU use while the window is inactive (minimised), 10 s"
rm -f "$OUT/idle.log"
(cd "$RUN_DIR" && exec env PRESENT_PROBE_LOG="$OUT/idle.log" LD_PRELOAD="$OUT/present_probe.so" \
    ./flurber >/dev/null 2>&1) &
GAME_PID=$!
for _ in $(seq 100); do [ -s "$OUT/idle.log" ] && break; sleep 0.1; done
sleep 1
ticks() { awk '{print $14 + $15}' "$1"; }
hz=$(getconf CLK_TCK)
active0=$(ticks /proc/$GAME_PID/stat); sleep 5; active1=$(ticks /proc/$GAME_PID/stat)
window=$(xdotool search --pid "$GAME_PID" 2>/dev/null | head -1)
xdotool windowminimize "$window"
sleep 2
frames0=$(wc -l <"$OUT/idle.log")
total0=$(ticks /proc/$GAME_PID/stat); main0=$(ticks /proc/$GAME_PID/task/$GAME_PID/stat)
sleep 10
total1=$(ticks /proc/$GAME_PID/stat); main1=$(ticks /proc/$GAME_PID/task/$GAME_PID/stat)
frames1=$(wc -l <"$OUT/idle.log")
python3 - <<EOF
hz = $hz
active = ($active1 - $active0) / hz / 5 * 100
total = ($total1 - $total0) / hz / 10 * 100
main = ($main1 - $main0) / hz / 10 * 100
print(f"active on the menu: {active:.1f} % of a core (for comparison)")
print(f"inactive: whole process {total:.1f} % of a core (main thread {main:.1f} %, the rest is the music synthesised by the audio thread)")
print(f"frames presented while inactive: {$frames1 - $frames0}")
print(f"target <= 5 %: {'met' if total <= 5 else 'MISSED'}")
EOF
stop_pid "$GAME_PID"
GAME_PID=

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
