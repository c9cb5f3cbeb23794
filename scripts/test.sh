#!/usr/bin/env bash
# Builds The Flurber and runs every test: the suite and the real game in a virtual display, then the
# suite again under AddressSanitizer and UndefinedBehaviorSanitizer, the tests with a real audio
# thread under ThreadSanitizer, then the fuzzers for a short while.
# The end-to-end tests include the Debian package, built, unpacked and checked without installing it.
#   bash scripts/test.sh [--repeat N [--busy]]
# --repeat N builds, then runs the first stage (the suite and the real game) N times in a row and
# stops there, with the count of the runs that passed; --busy keeps one busy loop pinned to each core
# meanwhile.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
repeat=0
busy=0
while [ $# -gt 0 ]; do
    case $1 in
    --repeat) repeat=${2:?--repeat needs a count} && shift ;;
    --busy) busy=1 ;;
    *) echo "usage: $0 [--repeat N [--busy]]" >&2 && exit 2 ;;
    esac
    shift
done
flurber_install xvfb openbox xdotool wmctrl x11-utils imagemagick clang libclang-rt-dev \
    dpkg-dev file lintian desktop-file-utils appstream ffmpeg fluid-soundfont-gm
jobs=$(nproc)

echo "== build"
cmake -S "$FLURBER_ROOT" -B "$FLURBER_ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$FLURBER_ROOT/build" -j "$jobs"
if [ "$repeat" -gt 0 ]; then
    loops=()
    stop_loops() { [ ${#loops[@]} -eq 0 ] || kill "${loops[@]}" 2>/dev/null || true; }
    trap stop_loops EXIT
    if [ "$busy" = 1 ]; then
        for core in $(seq 0 $((jobs - 1))); do
            taskset -c "$core" sh -c 'while :; do :; done' &
            loops+=($!)
        done
        echo "== a busy loop on each of the $jobs cores"
    fi
    passed=0
    for run in $(seq "$repeat"); do
        echo "== tests, run $run of $repeat"
        if (cd "$FLURBER_ROOT/build" && ctest --output-on-failure); then
            passed=$((passed + 1))
        fi
    done
    echo "== the first stage passed $passed of $repeat runs"
    echo "$passed passed, $((repeat - passed)) failed"
    [ "$passed" -eq "$repeat" ]
    exit
fi
echo "== tests"
(cd "$FLURBER_ROOT/build" && ctest --output-on-failure)

echo "== build with sanitizers"
cmake -S "$FLURBER_ROOT" -B "$FLURBER_ROOT/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFLURBER_SANITIZE=ON -DFLURBER_ASSETS=OFF -DFLURBER_RUN_DIR="$FLURBER_ROOT/build/run" >/dev/null
cmake --build "$FLURBER_ROOT/build-asan" -j "$jobs" --target flurber_tests
echo "== tests with sanitizers"
(cd "$FLURBER_ROOT/build-asan" && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$FLURBER_ROOT/tests/lsan.supp" ctest --output-on-failure -R '^unit$')

echo "== build with ThreadSanitizer"
cmake -S "$FLURBER_ROOT" -B "$FLURBER_ROOT/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFLURBER_TSAN=ON -DFLURBER_ASSETS=OFF -DFLURBER_RUN_DIR="$FLURBER_ROOT/build/run" >/dev/null
cmake --build "$FLURBER_ROOT/build-tsan" -j "$jobs" --target flurber_tests
echo "== tests with ThreadSanitizer (the mixer and the music on SDL's audio thread)"
(cd "$FLURBER_ROOT/build-tsan" && ctest --output-on-failure -L tsan)

if [ -f "$FLURBER_ROOT/fuzz/CMakeLists.txt" ]; then
    echo "== fuzzers"
    CXX=clang++ CC=clang cmake -S "$FLURBER_ROOT" -B "$FLURBER_ROOT/build-fuzz" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLURBER_FUZZ=ON -DFLURBER_ASSETS=OFF >/dev/null
    cmake --build "$FLURBER_ROOT/build-fuzz" -j "$jobs" --target fuzz_all
    (cd "$FLURBER_ROOT/build-fuzz" && ctest --output-on-failure -L fuzz)
fi
