"""The real game on a virtual desktop, shared by the measurements of the real binary.

A desktop is Xvfb at a chosen screen size with openbox; the game runs in it under the present
probe (present_probe.c, preloaded), which logs every presented frame. Here too: the CPU a process
used, read from /proc; xdotool; the small C programs the measurements build; the options every
measurement takes (--run-dir, --before). Not run by itself: import it, as cpu.py does:

    with Desktop("1280x720"), Game(run_dir, env={"PRESENT_PROBE_HASH": "1"}) as game:
        game.start()
        print(cpu_percent(game.pid, 10), len(game.frames()))
"""

import argparse
import atexit
import collections
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BENCH = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH)
BUILD = os.environ.get("FLURBER_BENCH_BUILD", os.path.join(ROOT, "build-bench"))
PICTURE_WIDTH, PICTURE_HEIGHT = 800, 600

# --- processes and the work folder ---

_children = []
_work = None
keep_work = False


def stop(process):
    """Ends a process started here: politely, then after 5 s for good."""
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def spawn(command, **options):
    """Popen that is stopped when this program ends, however it ends."""
    options.setdefault("stdout", subprocess.DEVNULL)
    options.setdefault("stderr", subprocess.DEVNULL)
    process = subprocess.Popen(command, **options)
    _children.append(process)
    return process


def work_dir():
    """A temporary folder for this run's logs and programs, removed at the end unless keep_work."""
    global _work
    if _work is None:
        _work = tempfile.mkdtemp(prefix="flurber-bench.", dir=os.environ.get("TMPDIR"))
    return _work


def _cleanup():
    for process in reversed(_children):
        stop(process)
    if _work and not keep_work:
        shutil.rmtree(_work, ignore_errors=True)


atexit.register(_cleanup)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))


def wait_until(check, seconds, step=0.1):
    """True as soon as check() is, False after the given seconds."""
    deadline = time.monotonic() + seconds
    while True:
        if check():
            return True
        if time.monotonic() >= deadline:
            return False
        time.sleep(step)


def now_ns():
    """The realtime clock in ns, as the probe stamps its frames."""
    return time.time_ns()


# --- programs built for the run ---


def pkg_config(*flags):
    return subprocess.run(["pkg-config", *flags], check=True, capture_output=True, text=True).stdout.split()


def build_c(source, *flags, shared=False):
    """Compiles bench/SOURCE (a .c file) into the work folder; returns the program's path."""
    name = os.path.splitext(source)[0] + (".so" if shared else "")
    output = os.path.join(work_dir(), name)
    if not os.path.exists(output):
        kind = ["-shared", "-fPIC"] if shared else []
        subprocess.run(["cc", "-O2", *kind, "-o", output, os.path.join(BENCH, source), *flags], check=True)
    return output


def present_probe():
    """The present probe, built once per run."""
    return build_c("present_probe.c", *pkg_config("--cflags", "sdl2"), "-ldl", shared=True)


# --- the desktop ---


def xdotool(*args):
    """Runs xdotool on the current display; its output, or '' when it fails."""
    result = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True)
    return result.stdout.strip() if result.returncode == 0 else ""


def hold_key(key, seconds):
    xdotool("keydown", key)
    time.sleep(seconds)
    xdotool("keyup", key)


def window_size(window):
    """(width, height) of an X window; (0, 0) when it is gone."""
    geometry = dict(line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell", window).split())
    return int(geometry.get("WIDTH", 0)), int(geometry.get("HEIGHT", 0))


def picture_point(width, height, x, y):
    """Where the centre of the game's pixel (x, y) falls in a width x height window or screen: the
    picture is scaled evenly and centred, as the game shows it full screen."""
    scale = min(width / PICTURE_WIDTH, height / PICTURE_HEIGHT)
    return (
        int((width - int(PICTURE_WIDTH * scale)) / 2 + (x + 0.5) * scale),
        int((height - int(PICTURE_HEIGHT * scale)) / 2 + (y + 0.5) * scale),
    )


class Desktop:
    """Xvfb at WIDTHxHEIGHT with openbox (without a window manager a full-screen SDL window keeps
    its first size). While it runs, DISPLAY names it for everything started from here."""

    def __init__(self, size="800x600"):
        self.size = size
        self.width, self.height = map(int, size.split("x"))
        self.xvfb = self.openbox = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *_):
        self.stop()

    def start(self):
        self.start_xvfb()
        for _ in range(3):
            self.openbox = spawn(["openbox", "--sm-disable"])
            if wait_until(lambda: subprocess.run(["wmctrl", "-m"], capture_output=True).returncode == 0, 10):
                time.sleep(0.5)
                return
            stop(self.openbox)
        raise RuntimeError("openbox did not start")

    def start_xvfb(self):
        reader, writer = os.pipe()
        self.xvfb = spawn(
            ["Xvfb", "-displayfd", str(writer), "-screen", "0", f"{self.size}x24", "-nolisten", "tcp"],
            pass_fds=(writer,),
        )
        os.close(writer)
        # Xvfb writes the display's number and a newline, not always at once: closing the pipe
        # before the newline would end it.
        number = b""
        while not number.endswith(b"\n") and select.select([reader], [], [], 15)[0]:
            part = os.read(reader, 64)
            if not part:
                break
            number += part
        os.close(reader)
        number = number.decode().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        os.environ["DISPLAY"] = ":" + number

    def stop(self):
        stop(self.openbox)
        stop(self.xvfb)

    def to_screen(self, x, y):
        """Screen point of the game's pixel (x, y), the game full screen on this desktop."""
        return picture_point(self.width, self.height, x, y)

    def move(self, x, y):
        xdotool("mousemove", *self.to_screen(x, y))

    def click(self, x, y):
        xdotool("mousemove", *self.to_screen(x, y), "click", "1")


class WestonDesktop(Desktop):
    """Weston as the desktop, natively on Wayland: its x11 backend in an Xvfb of the same size, in
    one window that covers it (xdotool's keys and pointer reach weston's seat through it), with no
    panel and no lock. Programs started from here with game_env() talk to weston alone, with no
    DISPLAY. scale: weston's output scale (the screen is WIDTHxHEIGHT pixels, its desktop
    1/scale of that)."""

    def __init__(self, size="800x600", scale=1):
        super().__init__(size)
        self.scale = scale
        self.weston = None
        self.runtime = os.path.join(work_dir(), f"runtime-{now_ns()}")
        self.socket = "flurber-bench"

    def start(self):
        self.start_xvfb()
        os.makedirs(self.runtime, mode=0o700)
        config = os.path.join(self.runtime, "weston.ini")
        with open(config, "w") as ini:
            ini.write("[core]\nidle-time=0\n[shell]\npanel-position=none\nlocking=false\n")
            ini.write("animation=none\nstartup-animation=none\nfocus-animation=none\n")
        self.weston = spawn(
            [
                "weston",
                f"--config={config}",
                "--backend=x11-backend.so",
                "--use-pixman",
                f"--width={self.width // self.scale}",
                f"--height={self.height // self.scale}",
                f"--scale={self.scale}",
                f"--socket={self.socket}",
                "--idle-time=0",
            ],
            env={**os.environ, "XDG_RUNTIME_DIR": self.runtime},
        )
        if not wait_until(lambda: os.path.exists(os.path.join(self.runtime, self.socket)), 15):
            raise RuntimeError("weston did not start")
        time.sleep(1)  # its shell's first frame; a figure, not a test

    def stop(self):
        stop(self.weston)
        stop(self.xvfb)

    def game_env(self):
        """What a program needs in its environment to run natively on this desktop."""
        return {
            "DISPLAY": None,
            "SDL_VIDEODRIVER": "wayland",
            "XDG_RUNTIME_DIR": self.runtime,
            "WAYLAND_DISPLAY": self.socket,
        }


# --- the game ---

Frame = collections.namedtuple("Frame", "handed returned hash clock_reads")


def read_probe_log(path):
    """The frames (Frame, times in ns) and the moments songs started, from a present probe's log."""
    frames, music = [], []
    try:
        with open(path) as log:
            for line in log:
                fields = line.split()
                if fields[:1] == ["frame"] and len(fields) == 5:
                    frames.append(Frame(*map(int, fields[1:])))
                elif fields[:1] == ["music"] and len(fields) == 2:
                    music.append(int(fields[1]))
    except FileNotFoundError:
        pass
    return frames, music


class Game:
    """The game in a run folder under the present probe, its frames logged to self.log.
    env adds to the environment, a value of None takes a variable out (SDL_AUDIODRIVER is dummy
    unless given: the mixer and the music run in real time with no device); args go to the game;
    prefix runs it through another program (taskset, unshare...); output names a file for what the
    game prints."""

    def __init__(self, run_dir, log=None, env=None, args=(), prefix=(), output=None):
        self.run_dir = run_dir
        self.log = log or os.path.join(work_dir(), f"frames-{now_ns()}.log")
        self.env = {"SDL_AUDIODRIVER": "dummy", **(env or {})}
        self.args, self.prefix, self.output = list(args), list(prefix), output
        self.process = None

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()

    @property
    def pid(self):
        return self.process.pid

    def start(self, wait_for_frame=10):
        """Starts the game; waits up to wait_for_frame seconds for its first presented frame."""
        if os.path.exists(self.log):
            os.remove(self.log)
        env = {**os.environ, **self.env, "PRESENT_PROBE_LOG": self.log, "LD_PRELOAD": present_probe()}
        env = {name: value for name, value in env.items() if value is not None}
        output = open(self.output, "w") if self.output else subprocess.DEVNULL
        self.process = spawn(
            [*self.prefix, "./flurber", *self.args],
            cwd=self.run_dir,
            env=env,
            stdout=output,
            stderr=subprocess.STDOUT,
        )
        if wait_for_frame:
            wait_until(lambda: self.frames() or not self.running(), wait_for_frame)
        return self

    def stop(self):
        stop(self.process)

    def running(self):
        return self.process is not None and self.process.poll() is None

    def frames(self):
        return read_probe_log(self.log)[0]

    def window(self):
        """The game's first X window, or ''."""
        return xdotool("search", "--pid", self.pid).split("\n")[0]


def walk(times=2, seconds=2.4):
    """The cleaner walks right, then left, the given number of times."""
    for _ in range(times):
        hold_key("Right", seconds)
        hold_key("Left", seconds)


# --- figures ---

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def cpu_ticks(pid):
    """User and system clock ticks a process has used."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def cpu_percent(pid, seconds):
    """The CPU a process uses over the next seconds, in percent of a core."""
    before = cpu_ticks(pid)
    time.sleep(seconds)
    return (cpu_ticks(pid) - before) / CLOCK_TICKS / seconds * 100


def sound_thread_ticks(pid):
    """Clock ticks of the process's SDL audio threads (the mixer and the music synthesis)."""
    ticks = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/comm") as comm:
                if not comm.read().startswith("SDLAudio"):
                    continue
            ticks += cpu_ticks(f"{pid}/task/{task}")
        except OSError:
            pass  # a thread that ended meanwhile
    return ticks


def cpu_split(pid, seconds):
    """(the whole process, its sound thread): CPU over the next seconds, in percent of a core."""
    whole, sound = cpu_ticks(pid), sound_thread_ticks(pid)
    time.sleep(seconds)
    scale = 100 / CLOCK_TICKS / seconds
    return (cpu_ticks(pid) - whole) * scale, (sound_thread_ticks(pid) - sound) * scale


def frame_rate(frames, start, end):
    """Frames handed to the display a second between two moments (ns)."""
    return sum(1 for f in frames if start <= f.handed < end) / ((end - start) / 1e9)


def percentile(ordered, p):
    """The p-th percentile of a sorted list, by nearest rank."""
    return ordered[min(len(ordered) - 1, round(p / 100 * (len(ordered) - 1)))]


def verdict(ok):
    return "met" if ok else "MISSED"


# --- options ---


def arguments(doc, before=True):
    """An argument parser with --run-dir, and --before unless before is False; doc is the module's
    docstring, shown by --help."""
    parser = argparse.ArgumentParser(description=doc, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument(
        "--run-dir",
        default=os.path.join(BUILD, "run"),
        help="the run folder of the game to measure (default: %(default)s)",
    )
    if before:
        parser.add_argument(
            "--before",
            metavar="RUN_DIR",
            help="also measure the game of another build's run folder, for figures before and after",
        )
    return parser


def measure_each(games, what, measure):
    """[(label, measure(run_dir))] of each game of binaries(), saying what it measures as it goes."""
    results = []
    for label, run_dir in games:
        print(f"   measuring {label}: {what}", flush=True)
        results.append((label, measure(run_dir)))
    return results


def binaries(options):
    """(label, run folder) of each game to measure: "before" if asked, then "now"."""
    found = [("before", os.path.abspath(options.before))] if getattr(options, "before", None) else []
    found.append(("now", os.path.abspath(options.run_dir)))
    for _, run_dir in found:
        if not os.access(os.path.join(run_dir, "flurber"), os.X_OK):
            sys.exit(f"no game binary in {run_dir}")
    return found
