#!/usr/bin/env python3
"""Frame intervals over 10 s of play: the gaps between presented frames, in ms.

The game runs full screen on an 800 x 600 Xvfb with openbox under the present probe; Start is
clicked, and while xdotool walks the cleaner right and left for 10 s the gaps are taken twice: as
each frame is handed to the display (the game's own pacing) and as the display call returns (with
what the X server takes). Prints the median, p99 and longest of each.

    python3 bench/frame_intervals.py [--run-dir build-bench/run] [--before OLDER_RUN_DIR]
"""

import statistics
import threading
import time

from desktop import Desktop, Game, arguments, binaries, measure_each, now_ns, percentile, verdict, walk

SECONDS = 10


def gaps_ms(times):
    return sorted((b - a) / 1e6 for a, b in zip(times, times[1:]))


def measure(run_dir):
    """(handed, returned): the sorted gaps of the frames presented in SECONDS of play."""
    with Desktop("800x600") as desktop, Game(run_dir) as game:
        game.start()
        desktop.move(400, 300)
        time.sleep(2)
        desktop.click(100, 150)
        time.sleep(3)  # the 200 ms switch and the intro's 100 frames
        start = now_ns()
        walking = threading.Thread(target=walk)
        walking.start()
        time.sleep(SECONDS)
        walking.join()
        played = [f for f in game.frames() if start <= f.handed <= start + SECONDS * 10**9]
    return gaps_ms([f.handed for f in played]), gaps_ms([f.returned for f in played])


def main():
    results = measure_each(binaries(arguments(__doc__).parse_args()), f"{SECONDS} s of play", measure)
    print()
    print("frame intervals over 10 s of play, ms (median, p99, max)")
    for label, (handed, returned) in results:
        if min(len(handed), len(returned)) < 10:
            print(f"  {label:8} too few frames")
            continue
        figures = [
            [round(ms, 3) for ms in (statistics.median(gaps), percentile(gaps, 99), gaps[-1])]
            for gaps in (handed, returned)
        ]
        text = ["{:.3f}, {:.3f}, {:.3f}".format(*f) for f in figures]
        on_time = all(abs(1000 / ms - 60) <= 1.2 for ms in figures[0][:2])
        goal = (
            f"   60 Hz +-2 %: {verdict(on_time)}, returned p99 <= 17.0: {verdict(figures[1][1] <= 17.0)}"
            if label == "now"
            else ""
        )
        print(f"  {label:8} handed to the display {text[0]};  display call returned {text[1]}{goal}")


if __name__ == "__main__":
    main()
