#!/usr/bin/env python3
"""The benchmarks of the code itself, each run from a build folder and summed up:

  frames    Google Benchmark: frames and blits, the median CPU time of 5 runs as a ratio to the
            floor (one memcpy of a frame), and each blit per megapixel against a memcpy
  memory    the resident set over 100,000 menu frames and over 100 rooms played by script, with
            glibc's malloc as is and with its mmap threshold held still
  valgrind  memcheck on the scripted whole game (Soak.ScriptedWholeGame of the tests)

    python3 bench/benchmarks.py frames|memory|valgrind [--build build-bench]
"""

import argparse
import json
import os
import re
import subprocess
import sys

from desktop import BENCH, BUILD, verdict, work_dir

UNIT_US = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}


def run_benchmarks(build, name, *options, env=None):
    """Runs flurber_bench with the options; its results from JSON. Stops with its errors if it fails."""
    out = os.path.join(work_dir(), name + ".json")
    result = subprocess.run(
        [
            os.path.join(build, "flurber_bench"),
            *options,
            "--benchmark_out=" + out,
            "--benchmark_out_format=json",
        ],
        stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE,
        text=True,
        env={**os.environ, **(env or {})},
    )
    if result.returncode != 0:
        sys.exit(result.stderr)
    with open(out) as f:
        return json.load(f)["benchmarks"]


def frames(build):
    runs = run_benchmarks(
        build,
        "frames",
        "--benchmark_filter=^BM_(Floor|Memcpy|PlainBlit|KeyedBlit|Stretched|Clear|"
        "PlayFrame|MenuFrame|PresentFrame|LoadCredits)",
        "--benchmark_repetitions=5",
        "--benchmark_report_aggregates_only=true",
        "--benchmark_min_time=0.3",
    )
    median = {b["run_name"]: b for b in runs if b.get("aggregate_name") == "median"}

    def cpu_us(name):
        return median[name]["cpu_time"] * UNIT_US[median[name]["time_unit"]]

    floor = cpu_us("BM_Floor_MemcpyFrame")
    targets = {"BM_PlayFrame/composed": 2.0, "BM_MenuFrame/composed": 4.0}
    print(f"{'benchmark':40} {'CPU us':>9} {'x floor':>8}  target")
    for name in median:
        if name.startswith("BM_") and "Megapixel" not in name:
            ratio = cpu_us(name) / floor
            goal = targets.get(name)
            text = "" if goal is None else f"<= {goal:g}x: {verdict(ratio <= goal)}"
            print(f"{name:40} {cpu_us(name):9.1f} {ratio:8.2f}  {text}")
    print()
    print("per megapixel, against a memcpy of the same bytes (BM_Memcpy_Megapixel)")
    reference = median["BM_Memcpy_Megapixel"]["items_per_second"]
    for name, b in median.items():
        if "Megapixel" in name:
            us_per_mp = 1e6 / b["items_per_second"] * 1e6
            print(f"{name:40} {us_per_mp:9.1f} us/MP {reference / b['items_per_second']:6.2f} x memcpy")


def memory(build):
    # The rooms again with glibc's mmap threshold held still, to tell allocator drift from leaks.
    for note, runs in (
        ("glibc malloc as is", run_benchmarks(build, "memory", "--benchmark_filter=^BM_Memory")),
        (
            "MALLOC_MMAP_THRESHOLD_=131072",
            run_benchmarks(
                build,
                "memory_fixed",
                "--benchmark_filter=^BM_Memory_Rooms",
                env={"MALLOC_MMAP_THRESHOLD_": "131072"},
            ),
        ),
    ):
        for b in runs:
            name = b["name"].split("/")[0]
            growth, span = b["rss_growth_kB"] / 1024, b["rss_span_kB"] / 1024
            flat = abs(growth) <= 1 and span <= 2
            extra = (
                f"{int(b['frames'])} frames"
                if "frames" in b
                else f"{int(b['rooms'])} rooms, {b['game_minutes']:.1f} game minutes"
            )
            print(
                f"{name:22} {note:30} warm {b['rss_warm_kB'] / 1024:7.1f} MB  end {b['rss_end_kB'] / 1024:7.1f} MB  "
                f"growth {growth:+5.1f} MB  span {span:4.1f} MB  ({extra})  {'flat' if flat else 'NOT flat'}"
            )


def valgrind(build):
    # valgrind.supp: GObject's type registrations, made once by libinstpatch when FluidSynth
    # starts, live as long as the process: not ours, and not a leak.
    env = {**os.environ, "SDL_AUDIODRIVER": "dummy", "SDL_VIDEODRIVER": "dummy", "FLURBER_SOAK_SCALE": "0.25"}
    result = subprocess.run(
        [
            "valgrind",
            "--error-exitcode=99",
            "--leak-check=full",
            "--errors-for-leak-kinds=definite",
            "--suppressions=" + os.path.join(BENCH, "valgrind.supp"),
            "--show-leak-kinds=definite",
            "./flurber_tests",
            "--gtest_filter=Soak.ScriptedWholeGame*",
        ],
        cwd=build,
        env=env,
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT,
        text=True,
    )
    for line in result.stdout.splitlines():
        if re.search("ERROR SUMMARY|definitely lost|indirectly lost|PASSED|FAILED", line):
            print(re.sub(r"^==[0-9]*== ", "", line))
    print(f"valgrind: {'clean' if result.returncode == 0 else f'NOT clean (exit {result.returncode})'}")


def main():
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter
    )
    parser.add_argument("what", choices=("frames", "memory", "valgrind"))
    parser.add_argument("--build", default=BUILD, help="the build folder (default: %(default)s)")
    options = parser.parse_args()
    {"frames": frames, "memory": memory, "valgrind": valgrind}[options.what](options.build)


if __name__ == "__main__":
    main()
