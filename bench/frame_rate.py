#!/usr/bin/env python3
"""Frames a second of the real game where the player meets them, and its CPU with the software path.

The game moves a fixed step per frame, so frames a second is its speed. It runs full screen under
Xvfb with openbox, pinned to one core with taskset; frames are counted at each present (the
present probe) over 10 s on the menu, then 10 s of play while xdotool walks the cleaner:
  - at 800x600 and 3840x2160, alone on its core, and with one and with two busy loops on the same
    core: at least 59.5 each;
  - with --renderer=accelerated (SDL's OpenGL renderer on Mesa's llvmpipe, whose swap under Xvfb
    waits for no screen though the display reports 60 Hz) at 800x600, not pinned (llvmpipe draws
    on threads of its own): 60.0 +- 0.5.
CPU, in percent of a core over 10 s on the menu and in play, with --renderer=software at
800x600, 1920x1080 and 3840x2160, beside the floor loop (floor_loop.c) showing a picture of the
screen's size: at most twice the floor. The floor synthesises no music, so the game's sound
thread is also shown apart. A game that does not know --renderer (an older build,
--before) runs without it, on its own choice, which under Xvfb is the software path too.

    python3 bench/frame_rate.py [--run-dir build-bench/run] [--before OLDER_RUN_DIR] [--part rate|cpu]
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
    cpu_split,
    frame_rate,
    now_ns,
    pkg_config,
    spawn,
    stop,
    verdict,
    walk,
)

SECONDS = 10
CORE = "0"
RATE_SIZES = ("800x600", "3840x2160")
CPU_SIZES = ("800x600", "1920x1080", "3840x2160")


def knows_renderer(run_dir):
    with open(f"{run_dir}/flurber", "rb") as binary:
        return b"--renderer=" in binary.read()


def busy_loops(count):
    return [spawn(["taskset", "-c", CORE, "sh", "-c", "while :; do :; done"]) for _ in range(count)]


def menu_then_play(desktop, game, during_menu, during_play):
    """Runs the game to its menu and into play, calling each measure while it is there."""
    game.start(wait_for_frame=30)
    desktop.move(400, 300)
    time.sleep(2)
    menu = during_menu()
    desktop.click(100, 150)
    time.sleep(3)  # the 200 ms switch and the intro's 100 frames
    walking = threading.Thread(target=walk)
    walking.start()
    play = during_play()
    walking.join()
    return menu, play


def rates(run_dir, size, loops, args=(), pinned=True):
    """(menu, play) frames a second of the game, pinned to CORE beside that many busy loops."""
    hogs = busy_loops(loops)
    prefix = ["taskset", "-c", CORE] if pinned else []
    try:
        with Desktop(size) as desktop, Game(run_dir, args=args, prefix=prefix) as game:

            def count():
                start = now_ns()
                time.sleep(SECONDS)
                return frame_rate(game.frames(), start, start + SECONDS * 10**9)

            return menu_then_play(desktop, game, count, count)
    finally:
        for hog in hogs:
            stop(hog)


def cpu(run_dir, size, args=()):
    """(menu, play) CPU of the game in percent of a core, each as (whole, the sound thread)."""
    with Desktop(size) as desktop, Game(run_dir, args=args) as game:
        return menu_then_play(
            desktop, game, lambda: cpu_split(game.pid, SECONDS), lambda: cpu_split(game.pid, SECONDS)
        )


def floor_cpu(size):
    loop = build_c("floor_loop.c", *pkg_config("--cflags", "--libs", "sdl2"))
    width, height = size.split("x")
    with Desktop(size):
        process = spawn([loop, str(SECONDS + 4), width, height])
        time.sleep(2)
        figure = cpu_percent(process.pid, SECONDS)
        process.wait()
    return figure


def row(name, values, goal=""):
    print(f"{name:44}" + "".join(f"{v:>10.1f}" if v is not None else f"{'-':>10}" for v in values) + goal)


def main():
    parser = arguments(__doc__)
    parser.add_argument("--part", choices=("rate", "cpu"), help="only frames a second, or only CPU")
    options = parser.parse_args()
    games = binaries(options)
    labels = [label for label, _ in games]
    header = "".join(f"{label:>10}" for label in labels)
    if options.part != "cpu":
        figures = {}
        for label, run_dir in games:
            for size in RATE_SIZES:
                for loops in (0, 1, 2):
                    print(f"   measuring {label}: frames a second at {size}, {loops} busy loops", flush=True)
                    figures[label, size, loops] = rates(run_dir, size, loops)
            if knows_renderer(run_dir):
                print(f"   measuring {label}: frames a second with --renderer=accelerated", flush=True)
                # Not pinned: llvmpipe draws on threads of its own.
                figures[label, "accelerated"] = rates(
                    run_dir, "800x600", 0, ["--renderer=accelerated"], pinned=False
                )
        print()
        print(f"{'frames a second (menu / play)':44}{header}  target")
        for size in RATE_SIZES:
            for loops in (0, 1, 2):
                for part, name in ((0, "menu"), (1, "play")):
                    values = [figures[label, size, loops][part] for label in labels]
                    now = values[-1]
                    row(f"{name} at {size}, {loops} busy loops", values, f"  >= 59.5: {verdict(now >= 59.5)}")
        for part, name in ((0, "menu"), (1, "play")):
            values = [figures.get((label, "accelerated"), (None, None))[part] for label in labels]
            now = values[-1]
            ok = now is not None and abs(now - 60) <= 0.5
            row(f"{name}, --renderer=accelerated, 800x600", values, f"  60.0 +- 0.5: {verdict(ok)}")
    if options.part != "rate":
        figures = {}
        floors = {}
        for size in CPU_SIZES:
            print(f"   measuring the floor at {size}", flush=True)
            floors[size] = floor_cpu(size)
        for label, run_dir in games:
            args = ["--renderer=software"] if knows_renderer(run_dir) else []
            for size in CPU_SIZES:
                print(f"   measuring {label}: CPU at {size}", flush=True)
                figures[label, size] = cpu(run_dir, size, args)
        print()
        print(f"{'CPU, % of a core, --renderer=software':44}{header}   floor  target")
        for size in CPU_SIZES:
            for part, name in ((0, "menu"), (1, "play")):
                values = [figures[label, size][part][0] for label in labels]
                ok = values[-1] <= 2 * floors[size]
                row(f"{name} at {size}", values, f"{floors[size]:>8.1f}  <= 2x floor: {verdict(ok)}")
                # The floor synthesises no music: what the game's sound thread takes, for reading
                # the figure above.
                row("  of which the sound thread", [figures[label, size][part][1] for label in labels])


if __name__ == "__main__":
    main()
