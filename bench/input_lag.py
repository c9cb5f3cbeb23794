#!/usr/bin/env python3
"""Input to screen: from the pointer's move onto Start to the first presented frame that shows it.

The game runs full screen on an 800 x 600 Xvfb with openbox, the present probe hashing the picture
of every present. pointer_moves.c moves the pointer 60 times from an empty spot onto Start with
XTest, each move at a random phase of the frame, and stamps the moment each move has reached the X
server; the lag runs from that stamp to the first presented frame whose picture differs from the
one on show at the stamp. Prints the median, p90, least and most, in ms.

    python3 bench/input_lag.py [--run-dir build-bench/run] [--before OLDER_RUN_DIR]
"""

import statistics
import subprocess
import time

from desktop import Desktop, Game, arguments, binaries, build_c, measure_each, percentile, verdict

MOVES = 60
EMPTY, START = (400, 300), (100, 150)


def lags_ms(frames, stamps):
    """For each stamp, ms to the first frame whose picture differs from the one on show at it."""
    lags = []
    for stamp in stamps:
        before = [frame.hash for frame in frames if frame.handed < stamp]
        if not before:
            continue
        changed = next((f.handed for f in frames if f.handed >= stamp and f.hash != before[-1]), None)
        if changed is not None:
            lags.append((changed - stamp) / 1e6)
    return sorted(lags)


def measure(run_dir):
    moves = build_c("pointer_moves.c", "-lX11", "-lXtst")
    with Desktop("800x600") as desktop, Game(run_dir, env={"PRESENT_PROBE_HASH": "1"}) as game:
        game.start()
        desktop.move(*EMPTY)
        time.sleep(2)
        points = [str(v) for v in (*desktop.to_screen(*EMPTY), *desktop.to_screen(*START))]
        out = subprocess.run(
            [moves, str(MOVES), "7", *points], check=True, capture_output=True, text=True
        ).stdout
        return lags_ms(game.frames(), [int(line) for line in out.split()])


def main():
    results = measure_each(binaries(arguments(__doc__).parse_args()), f"{MOVES} moves onto Start", measure)
    print()
    print("input to screen (pointer onto Start, first frame that shows it), ms")
    for label, lags in results:
        if len(lags) < 10:
            print(f"  {label:8} too few moves seen ({len(lags)})")
            continue
        median, p90 = round(statistics.median(lags), 1), round(percentile(lags, 90), 1)
        goal = (
            f"   median <= 12: {verdict(median <= 12)}, p90 <= 20: {verdict(p90 <= 20)}"
            if label == "now"
            else ""
        )
        print(
            f"  {label:8} {len(lags)} moves: median {median:.1f}, p90 {p90:.1f}, min {lags[0]:.1f}, "
            f"max {lags[-1]:.1f}{goal}"
        )


if __name__ == "__main__":
    main()
