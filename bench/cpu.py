#!/usr/bin/env python3
"""CPU of the real game, in percent of a core, beside the floor.

The floor is a minimal SDL2 loop (floor_loop.c) showing a changing 800 x 600 picture 60 times a
second through the native X11 framebuffer. The game runs full screen under Xvfb with openbox at
each screen size; its CPU is read from /proc/<pid>/stat over 10 s on the menu with the pointer on
an empty spot, then in play while xdotool walks the cleaner right and left; at 800 x 600 also over
10 s with the window minimised (no frames run, the music plays on).

    python3 bench/cpu.py [--run-dir build-bench/run] [--before OLDER_RUN_DIR] [--sizes 800x600 ...]
"""

import threading
import time

from desktop import (
    Desktop,
    Game,
    arguments,
    binaries,
    build_c,
    cpu_percent,
    pkg_config,
    spawn,
    verdict,
    walk,
    xdotool,
)

SIZES = ("800x600", "1280x720", "1600x1200")
# (size, figure, at most % of a core), in the order they are printed.
TARGETS = (
    ("800x600", "menu", 6),
    ("800x600", "play", 8),
    ("1280x720", "menu", 12),
    ("1280x720", "play", 12),
    ("1600x1200", "menu", 15),
    ("1600x1200", "play", 15),
    ("800x600", "idle", 5),
)


def floor_cpu():
    loop = build_c("floor_loop.c", *pkg_config("--cflags", "--libs", "sdl2"))
    with Desktop("800x600"):
        process = spawn([loop, "14"])
        time.sleep(2)
        figure = cpu_percent(process.pid, 10)
        process.wait()
    return figure


def measure(run_dir, size):
    """{"menu": %, "play": %, and at 800 x 600 "idle": %} of one game at one screen size."""
    figures = {}
    with Desktop(size) as desktop, Game(run_dir) as game:
        game.start()
        desktop.move(400, 300)
        time.sleep(2)
        figures["menu"] = cpu_percent(game.pid, 10)
        desktop.click(100, 150)
        time.sleep(3)  # the 200 ms switch and the intro's 100 frames
        walking = threading.Thread(target=walk)
        walking.start()
        figures["play"] = cpu_percent(game.pid, 10)
        walking.join()
        if size == "800x600":
            xdotool("windowminimize", game.window())
            time.sleep(2)
            figures["idle"] = cpu_percent(game.pid, 10)
    return figures


def main():
    parser = arguments(__doc__)
    parser.add_argument(
        "--sizes",
        nargs="+",
        default=list(SIZES),
        metavar="WxH",
        help="screen sizes (default: " + " ".join(SIZES) + ")",
    )
    options = parser.parse_args()
    games = binaries(options)
    floor = floor_cpu()
    figures = {}
    for label, run_dir in games:
        for size in options.sizes:
            print(f"   measuring {label} at {size}", flush=True)
            for name, value in measure(run_dir, size).items():
                figures[label, size, name] = round(value, 1)
    labels = [label for label, _ in games]
    print()
    print(
        f"floor (minimal SDL2 loop, 800x600 changing picture at 60 Hz, native framebuffer): {floor:.1f} % of a core"
    )
    print()
    print(f"{'CPU, % of a core':34}" + "".join(f"{label:>10}" for label in labels) + "  target")
    targets = {(size, name): target for size, name, target in TARGETS}
    rows = [(size, name) for size, name, _ in TARGETS if size in options.sizes]
    rows += [
        (size, name) for size in options.sizes for name in ("menu", "play") if (size, name) not in targets
    ]
    for size, name in rows:
        values = "".join(
            f"{figures[label, size, name]:>10.1f}" if (label, size, name) in figures else f"{'?':>10}"
            for label in labels
        )
        now = figures.get(("now", size, name))
        target = targets.get((size, name))
        goal = "" if target is None else f"  <= {target}: {verdict(now is not None and now <= target)}"
        print(f"{name + ' at ' + size:34}{values}{goal}")


if __name__ == "__main__":
    main()
