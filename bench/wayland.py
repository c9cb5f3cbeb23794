#!/usr/bin/env python3
"""The game natively on Wayland beside X11, in one run.

CPU, in percent of a core over 10 s on the menu (the pointer on an empty spot) and then in play
while xdotool walks the cleaner, full screen at 1920 x 1080, with --renderer=software and with the
default (auto), on X11 (Xvfb with openbox, the window's framebuffer) and natively on Wayland
(weston's x11 backend in an Xvfb, the game with no DISPLAY; weston's own CPU beside it): Wayland
within 1.5 times X11. Then frames a second on Wayland in play, counted as the buffers the game
attaches to its surface (WAYLAND_DEBUG), beside a minimal SDL2 loop presenting with vsync through
SDL's renderer on the same compositor (vsync_loop.c): the compositor sets that loop's pace. The
game's frames are the pictures its Wayland present is given (the present probe), over 10 s of play
while xdotool walks the cleaner; beside them, the buffers it attached to its surface
(WAYLAND_DEBUG): only a picture that changed is sent.

    python3 bench/wayland.py [--run-dir build-bench/run] [--before OLDER_RUN_DIR] [--size 1920x1080]
                             [--part cpu|rate]
"""

import os
import threading
import time

from desktop import (
    Desktop,
    Game,
    WestonDesktop,
    arguments,
    binaries,
    build_c,
    frame_rate,
    now_ns,
    cpu_ticks,
    CLOCK_TICKS,
    pkg_config,
    spawn,
    verdict,
    walk,
    work_dir,
)

SECONDS = 10
RENDERERS = ("software", "auto")
LIMIT = 1.5


def cpu_of(pids, seconds):
    """The CPU of each process over the next seconds, in percent of a core."""
    before = [cpu_ticks(pid) for pid in pids]
    time.sleep(seconds)
    return [(cpu_ticks(pid) - b) / CLOCK_TICKS / seconds * 100 for pid, b in zip(pids, before)]


def session_desktop(session, size):
    return WestonDesktop(size) if session == "wayland" else Desktop(size)


def measure(run_dir, session, renderer, size):
    """{"menu": %, "play": %, and on Wayland "weston menu", "weston play"} of one game."""
    figures = {}
    with session_desktop(session, size) as desktop:
        env = desktop.game_env() if session == "wayland" else {}
        with Game(run_dir, env=env, args=[f"--renderer={renderer}"]) as game:
            game.start()
            pids = [game.pid] + ([desktop.weston.pid] if session == "wayland" else [])
            desktop.move(400, 300)
            time.sleep(2)
            values = cpu_of(pids, SECONDS)
            figures["menu"] = values[0]
            if len(values) > 1:
                figures["weston menu"] = values[1]
            desktop.click(100, 150)
            time.sleep(3)  # the 200 ms switch and the intro's 100 frames
            walking = threading.Thread(target=walk)
            walking.start()
            values = cpu_of(pids, SECONDS)
            walking.join()
            figures["play"] = values[0]
            if len(values) > 1:
                figures["weston play"] = values[1]
    return figures


def count_attaches(path, start, end):
    """Buffers attached to a surface in the part of a WAYLAND_DEBUG log between two offsets."""
    with open(path, "rb") as log:
        log.seek(start)
        part = log.read(end - start)
    return sum(1 for line in part.split(b"\n") if b"-> wl_surface@" in line and b".attach(wl_buffer" in line)


def wayland_frame_rates(run_dir, size):
    """(the game's frames a second in play, the buffers it attached a second, the vsync loop's
    frames a second) on one weston."""
    loop = build_c("vsync_loop.c", *pkg_config("--cflags", "--libs", "sdl2"))
    with WestonDesktop(size) as desktop:
        env = {**os.environ, **desktop.game_env()}
        env = {name: value for name, value in env.items() if value is not None}
        output = os.path.join(work_dir(), "vsync-loop.txt")
        with open(output, "w") as out:
            spawn([loop, str(SECONDS + 1)], env=env, stdout=out).wait()
        with open(output) as out:
            fields = out.read().split()
        loop_rate = int(fields[1]) / float(fields[3]) if len(fields) == 4 else float("nan")

        log = os.path.join(work_dir(), "wayland-debug.log")
        with Game(run_dir, env={**desktop.game_env(), "WAYLAND_DEBUG": "client"}, output=log) as game:
            game.start()
            desktop.move(400, 300)
            time.sleep(2)
            desktop.click(100, 150)
            time.sleep(3)
            walking = threading.Thread(target=walk)
            walking.start()
            time.sleep(0.5)
            start, began, first = os.path.getsize(log), time.monotonic(), now_ns()
            time.sleep(SECONDS - 1)
            end, ended, last = os.path.getsize(log), time.monotonic(), now_ns()
            walking.join()
            game_rate = frame_rate(game.frames(), first, last)
        attach_rate = count_attaches(log, start, end) / (ended - began)
    return game_rate, attach_rate, loop_rate


def main():
    parser = arguments(__doc__)
    parser.add_argument("--size", default="1920x1080", help="the screen (default: %(default)s)")
    parser.add_argument("--part", choices=("cpu", "rate"), help="only the CPU, or only frames a second")
    options = parser.parse_args()
    games = binaries(options)
    figures = {}
    if options.part != "cpu":
        print("   measuring frames a second on Wayland", flush=True)
        game_rate, attach_rate, loop_rate = wayland_frame_rates(games[-1][1], options.size)
        print(
            f"on Wayland in play: {game_rate:.1f} frames a second, {attach_rate:.1f} buffers attached a second;"
            f" a minimal SDL2 vsync loop on the same weston: {loop_rate:.1f} frames a second"
        )
    if options.part == "rate":
        return
    for label, run_dir in games:
        for session in ("x11", "wayland"):
            for renderer in RENDERERS:
                print(f"   measuring {label}: {session}, --renderer={renderer}", flush=True)
                for name, value in measure(run_dir, session, renderer, options.size).items():
                    figures[label, session, renderer, name] = value

    print()
    print(f"CPU, % of a core, full screen at {options.size}")
    header = f"{'':28}" + "".join(f"{label + ' X11':>12}{label + ' Wayland':>16}{'weston':>9}" for label, _ in games)
    print(header + "  Wayland <= 1.5 x X11")
    for renderer in RENDERERS:
        for name in ("menu", "play"):
            row = f"{name + ' --renderer=' + renderer:28}"
            for label, _ in games:
                x11 = figures.get((label, "x11", renderer, name), float("nan"))
                wayland = figures.get((label, "wayland", renderer, name), float("nan"))
                weston = figures.get((label, "wayland", renderer, "weston " + name), float("nan"))
                row += f"{x11:>12.1f}{wayland:>16.1f}{weston:>9.1f}"
            x11 = figures.get(("now", "x11", renderer, name))
            wayland = figures.get(("now", "wayland", renderer, name))
            ok = x11 is not None and wayland is not None and wayland <= LIMIT * max(x11, 0.1)
            ratio = wayland / x11 if x11 else float("nan")
            print(row + f"  {ratio:.2f} x: {verdict(ok)}")


if __name__ == "__main__":
    main()
