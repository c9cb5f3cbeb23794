#!/usr/bin/env python3
"""The soak: the real game under Xvfb (1024 x 768) with openbox for 10 minutes of random keys,
clicks and Alt+Return from a fixed seed, then Quit. It reports whether the game lived through it and
ended with code 0 on Quit, whether frames kept coming, and its resident set, sampled every second,
after the first minute.

    python3 bench/soak.py [--run-dir build-bench/run] [--seconds 600] [--seed 16]
FLURBER_SOAK_SECONDS and FLURBER_SOAK_SEED give the defaults of --seconds and --seed.

The input never asks the menu to quit before the end: no click lands on the Quit item; Up and Down,
which can light Quit for the keyboard, are each followed by a move of the pointer, which hands the
menu back to the pointer; Escape goes only to a game seen in play (frames coming and the countdown
shown), where it means "to the menu". Space wins rooms, so whole games end in the victory sequence
too.

Frames: the present probe notes every picture the game hands to the display, and how often the
game's main thread read its millisecond clock since the picture before. The timed sequences (the
room's outcome, the victory, the pauses when switching screens) are busy waits on that clock and
show nothing new for up to 2.3 s; a gap in which the clock was read many times is one of them. Any
other gap is frames that failed to come.

Resident set: what the game holds depends on what it shows (the window's own picture is larger in
full screen; the credits page is a picture of its own), and the pictures of a new game are read
inside a timed sequence, which needs a few MB more for a moment. So the spread is given over every
sample and over those outside the timed sequences, beside the change from first to last and the
drift of the lowest sample, which a leak would raise.
"""

import bisect
import collections
import os
import random
import subprocess
import sys
import threading
import time

import desktop
from desktop import (
    Desktop,
    Game,
    arguments,
    binaries,
    hold_key,
    now_ns,
    picture_point,
    read_probe_log,
    wait_until,
    window_size,
    xdotool,
)

SCREEN = "1024x768"
# A gap with at least this many clock reads is a busy wait: it reads the clock about every 0.5 ms,
# a frame a few times.
PAUSE_CLOCK_READS = 20


class Soak:
    def __init__(self, game, seed):
        self.game = game
        self.random = random.Random(seed)
        self.window = ""
        self.actions = open(os.path.join(desktop.work_dir(), "actions.log"), "w")
        self.done = collections.Counter()

    def act(self, what):
        """Notes what the run does, for a run that goes wrong."""
        print(now_ns(), what, file=self.actions, flush=True)

    def point(self, x, y):
        """Window coordinates of the game's pixel (x, y) at the window's present size."""
        return picture_point(*window_size(self.window), x, y)

    def click(self, x, y):
        xdotool("mousemove", "--window", self.window, *self.point(x, y), "click", "1")

    def move(self, x, y):
        xdotool("mousemove", "--window", self.window, *self.point(x, y))

    def frames_coming(self):
        """At least 10 frames in the last 300 ms: the game is drawing, not inside a timed sequence."""
        since = now_ns() - 300_000_000
        try:
            with open(self.game.log, "rb") as log:
                log.seek(max(0, os.path.getsize(self.game.log) - 2000))
                rows = [line.split() for line in log.read().decode(errors="replace").splitlines()[1:]]
        except FileNotFoundError:
            return False
        return sum(1 for f in rows if len(f) == 5 and f[0] == "frame" and int(f[2]) >= since) >= 10

    def in_play(self):
        """Frames coming, and the countdown's white box at (395, 20) on the screen."""
        if not self.frames_coming():
            return False
        shot = os.path.join(desktop.work_dir(), "now.ppm")
        if subprocess.run(["import", "-window", self.window, shot], capture_output=True).returncode != 0:
            return False
        white = all(ppm_pixel(shot, *self.point(x, y)) == "#FFFFFF" for x, y in ((395, 20), (396, 21)))
        return white and self.frames_coming()

    def random_click(self):
        """A point of the picture well away from the Quit item, which answers to clicks from y 290
        to 400 on x 0 to 200: even measured against the window's other size it would not land there."""
        while True:
            x, y = self.random.randrange(800), self.random.randrange(600)
            if not (x <= 260 and 220 <= y <= 520):
                break
        self.act(f"click {x} {y}")
        self.click(x, y)

    def toggle_window_mode(self):
        """Alt+Return, then nothing until the window has its new size: the game switches when it
        next reads its events, which a timed sequence holds back for up to 3 s, and a click measured
        against the old size could land on Quit."""
        before = window_size(self.window)
        self.act(f"alt+Return from {before[0]} {before[1]}")
        xdotool("key", "alt+Return")
        if wait_until(lambda: window_size(self.window) != before, 6):
            time.sleep(0.3)
        else:
            self.act("the window kept its size")

    def step(self):
        """One random action."""
        pick = self.random.randrange
        roll = pick(100)
        if roll < 30:
            key, hold = (
                self.random.choice(("Left", "Right", "Left", "Right", "S", "S", "S", "Return")),
                pick(1, 6) / 10,
            )
            self.act(f"{key} for {hold} s")
            hold_key(key, hold)
            self.done["key"] += 1
        elif roll < 37:
            self.act("space")
            hold_key("space", 0.1)
            self.done["space"] += 1
        elif roll < 42:
            # Up or Down lights an item for the keyboard; the pointer's move hands the menu back to
            # the pointer before any key could act on it.
            key, x, y = self.random.choice(("Up", "Down")), 300 + pick(400), pick(500)
            self.act(f"{key}, then the pointer to {x} {y}")
            hold_key(key, 0.1)
            self.move(x, y)
            time.sleep(0.1)
            self.move(x + 37, y + 37)
            time.sleep(0.1)
            self.done["updown"] += 1
        elif roll < 72:
            self.random_click()
            self.done["click"] += 1
        elif roll < 80:
            # Start, Configuration and Credits more often than anywhere else.
            x, y = self.random.choice(((100, 150), (100, 150), (100, 250), (750, 575)))
            self.act(f"item {x} {y}")
            self.click(x, y)
            self.done["item"] += 1
        elif roll < 86:
            self.toggle_window_mode()
            self.done["altreturn"] += 1
        elif roll < 94:
            time.sleep(0.1)
            if self.in_play():
                self.act("escape")
                hold_key("Escape", 0.1)
                self.done["escape"] += 1
        else:
            time.sleep(pick(1, 10) / 10)
        time.sleep(pick(1, 10) / 100)

    def quit(self):
        """Quit: from a game in play Escape leads to the menu; a click off the items closes the
        credits page if it shows; then Quit. Repeated while the game is inside a timed sequence.
        The game's exit code, or None if it did not end."""
        for _ in range(20):
            if not self.game.running():
                break
            if self.in_play():
                hold_key("Escape", 0.1)
                time.sleep(0.5)
                continue
            if not self.frames_coming():
                time.sleep(0.5)
                continue
            self.click(500, 500)
            time.sleep(0.5)
            if self.in_play():
                continue
            self.click(100, 350)
            if wait_until(lambda: not self.game.running(), 5):
                break
        code = self.game.process.poll()
        return 128 - code if code is not None and code < 0 else code  # a signal, as a shell tells it


def ppm_pixel(path, x, y):
    """The colour (#RRGGBB) of pixel (x, y) of a binary PPM."""
    with open(path, "rb") as f:
        data = f.read()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at : at + 1].isspace():
            at += 1
        if data[at : at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end : end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    width, maxval = int(fields[1]), int(fields[3])
    size = 2 if maxval > 255 else 1
    start = at + 1 + (y * width + x) * 3 * size
    channels = [
        int.from_bytes(data[start + i * size : start + (i + 1) * size], "big") * 255 // maxval
        for i in range(3)
    ]
    return "#" + "".join(f"{c:02X}" for c in channels)


def sample_rss(game, samples):
    """The game's resident set (kB) every second while it runs, as (ns, kB)."""
    while game.running():
        try:
            with open(f"/proc/{game.pid}/status") as status:
                kb = next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))
        except (OSError, StopIteration):
            break
        samples.append((now_ns(), kb))
        time.sleep(1)


def full_screen_window():
    """The game's window once it covers the screen, or ''. SDL may replace its window while it sets
    up, so every look starts from a fresh search."""
    for window in xdotool("search", "--name", "^The Flurber$").split():
        width, height = window_size(window)
        if width >= 1000 and height >= 700:
            return window
    return ""


def fail(what, soak=None):
    desktop.keep_work = True
    if soak:
        print("the last things done (ns since the epoch):", file=sys.stderr)
        with open(soak.actions.name) as actions:
            sys.stderr.writelines(actions.readlines()[-8:])
    with open(os.path.join(desktop.work_dir(), "flurber.log")) as said:
        sys.stderr.writelines("flurber: " + line for line in said)
    print(f"FAIL: {what}", file=sys.stderr)
    print(f"logs kept in {desktop.work_dir()}", file=sys.stderr)
    sys.exit(1)


def report(frames, rss, start, end, exit_code):
    print(
        f"run: {(end - start) / 60e9:.1f} minutes; exit code on Quit: {exit_code} "
        f"({'met' if exit_code == 0 else 'MISSED'}: no crash, exit 0)"
    )
    # Each frame as the display call returned it, and the clock reads since the frame before.
    frames = [(f.returned, f.clock_reads) for f in frames]
    gaps = [((b - a) / 1e6, reads, (a - start) / 1e9) for (a, _), (b, reads) in zip(frames, frames[1:])]
    paused = [g for g in gaps if g[1] >= PAUSE_CLOCK_READS]
    other = [g for g in gaps if g[1] < PAUSE_CLOCK_READS]
    outside_seconds = sum(g[0] for g in other) / 1e3
    print(
        f"frames: {len(frames)} presented; {len(other) / outside_seconds:.1f} a second outside the "
        f"timed sequences"
    )
    print(f"  longest gap of all: {max(gaps)[0]:.0f} ms")
    print(f"  in timed sequences: {len(paused)} gaps, longest {max(paused)[0] if paused else 0:.0f} ms")
    worst = sorted(other, reverse=True)[:5]
    print(
        f"  outside them: longest {worst[0][0]:.1f} ms ({'met' if worst[0][0] <= 100 else 'MISSED'}: "
        f"none over 100 ms); over 50 ms: {sum(1 for g in other if g[0] > 50)}; the five longest "
        f"(ms at s): " + ", ".join(f"{g[0]:.0f} at {g[2]:.0f}" for g in worst)
    )
    # Each sample of the resident set, and whether it was taken inside a timed sequence: a new game's
    # and a new room's pictures are read there, and reading a large one needs a few MB for a moment.
    times = [t for t, _ in frames]

    def in_sequence(t):
        i = bisect.bisect_right(times, t)
        return 0 < i < len(frames) and frames[i][1] >= PAUSE_CLOCK_READS

    settle = start + min(60e9, (end - start) / 2)
    after = [(t, kb, in_sequence(t)) for t, kb in rss if t >= settle]
    if not after:
        return

    def lowest_between(first, last):
        values = [kb for t, kb, _ in after if first <= t < last]
        return min(values) if values else after[0][1]

    every = [kb for _, kb, _ in after]
    between = [kb for _, kb, inside in after if not inside]
    growth = every[-1] - every[0]
    # A leak raises the floor: the lowest sample of the last minute against that of the second.
    floor_drift = lowest_between(after[-1][0] - 60e9, end) - lowest_between(settle, settle + 60e9)

    def spread(samples):
        width = max(samples) - min(samples)
        return (
            f"{min(samples) / 1024:.1f} to {max(samples) / 1024:.1f} MB, a spread of "
            f"{width / 1024:.2f} MB (inside one band of +-2 MB: {'met' if width <= 4096 else 'MISSED'})"
        )

    print(f"resident set after the first {(settle - start) / 1e9:.0f} s ({len(after)} samples):")
    print(
        f"  last less first: {growth / 1024:+.2f} MB (within +-2 MB: "
        f"{'met' if abs(growth) <= 2048 else 'MISSED'}); lowest of the last minute less lowest "
        f"of the second: {floor_drift / 1024:+.2f} MB"
    )
    print(f"  every sample: {spread(every)}")
    if between:
        print(f"  outside the timed sequences ({len(between)} samples): {spread(between)}")


def main():
    parser = arguments(__doc__, before=False)
    parser.add_argument("--seconds", type=int, default=int(os.environ.get("FLURBER_SOAK_SECONDS", 600)))
    parser.add_argument("--seed", type=int, default=int(os.environ.get("FLURBER_SOAK_SEED", 16)))
    options = parser.parse_args()
    [(_, run_dir)] = binaries(options)
    output = os.path.join(desktop.work_dir(), "flurber.log")
    with Desktop(SCREEN), Game(run_dir, output=output) as game:
        game.start(wait_for_frame=0)
        start = now_ns()
        rss = []
        sampler = threading.Thread(target=sample_rss, args=(game, rss), daemon=True)
        sampler.start()
        soak = Soak(game, options.seed)
        if not wait_until(lambda: full_screen_window() or not game.running(), 20):
            fail("no full-screen game window")
        if not game.running():
            fail("the game ended at start-up")
        time.sleep(1)
        soak.window = full_screen_window()
        xdotool("windowactivate", "--sync", soak.window)
        xdotool("windowfocus", soak.window)
        print(
            f"-- game {game.pid} in window {soak.window}; {options.seconds} s of random input, seed {options.seed}",
            flush=True,
        )
        deadline = time.monotonic() + options.seconds
        while time.monotonic() < deadline and game.running():
            soak.step()
        if not game.running():
            last = read_probe_log(game.log)[0]
            fail(
                f"the game ended early (exit {game.process.returncode}), its last frame at "
                f"{last[-1].returned if last else '?'}",
                soak,
            )
        print(
            "-- input done: " + " ".join(f"{action} {count}" for action, count in soak.done.items()),
            flush=True,
        )
        exit_code = soak.quit()
        if exit_code is None:
            fail("the game did not quit", soak)
        end = now_ns()
        sampler.join()
    with open(output) as said:
        lines = said.readlines()[:5]
    if lines:
        print("-- the game said:")
        sys.stdout.writelines(lines)
    report(read_probe_log(game.log)[0], rss, start, end, exit_code)


if __name__ == "__main__":
    main()
