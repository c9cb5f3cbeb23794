#!/usr/bin/env python3
"""Fuzzing: each libFuzzer target of a fuzz build (clang, ASan + UBSan) for a number of executions,
from the corpus and regressions under fuzz/. Prints the executions each ran and whether it found
anything; findings go to FUZZ_BUILD/fuzz/TARGET/artifacts. scripts/bench.sh --fuzz RUNS makes the
build (-DFLURBER_FUZZ=ON) and runs this.

    python3 bench/fuzz.py --build build-fuzz --runs 1000000
"""

import argparse
import os
import re
import subprocess

from desktop import ROOT

TARGETS = ("wave_loader", "bitmap_loader", "music_loader")


def fuzz(build, target, runs):
    folder = os.path.join(build, "fuzz", target)
    corpus, artifacts = os.path.join(folder, "corpus"), os.path.join(folder, "artifacts")
    os.makedirs(corpus, exist_ok=True)
    os.makedirs(artifacts, exist_ok=True)
    inputs = [os.path.join(ROOT, "fuzz", kind, target) for kind in ("corpus", "regressions")]
    dictionary = os.path.join(ROOT, "fuzz", target + ".dict")
    options = ["-dict=" + dictionary] if os.path.isfile(dictionary) else []
    # FluidSynth takes and frees a large block on every render that loads a file; ASan's quarantine
    # of such blocks costs the music target nine tenths of its speed.
    asan = "quarantine_size_mb=0:thread_local_quarantine_size_kb=0" if target == "music_loader" else ""
    result = subprocess.run(
        [
            f"./fuzz/fuzz_{target}",
            f"-runs={runs}",
            "-max_len=2048",
            "-print_final_stats=1",
            f"-artifact_prefix={artifacts}/",
            *options,
            corpus,
            *filter(os.path.isdir, inputs),
        ],
        cwd=build,
        env={**os.environ, "ASAN_OPTIONS": asan},
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT,
        text=True,
    )
    executed = re.search(r"stat::number_of_executed_units:\s*(\d+)", result.stdout)
    found = "no finding" if result.returncode == 0 else f"FINDING (see {artifacts})"
    print(f"{target}: {executed.group(1) if executed else '?'} executions, {found}", flush=True)


def main():
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter
    )
    parser.add_argument(
        "--build", default=os.path.join(ROOT, "build-fuzz"), help="the fuzz build (default: %(default)s)"
    )
    parser.add_argument("--runs", type=int, required=True, help="executions per target")
    options = parser.parse_args()
    for target in TARGETS:
        fuzz(os.path.abspath(options.build), target, options.runs)


if __name__ == "__main__":
    main()
