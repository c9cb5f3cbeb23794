#!/usr/bin/env python3
"""Start-up: from exec to the first presented menu frame with a picture, and to the menu song.

The game runs six times with each soundfont as the system's default, TimGM6mb and FluidR3_GM (148
MB): the file is bound over /usr/share/sounds/sf2/default-GM.sf2 in a mount namespace of the game's
own, and read once beforehand so that it comes from the page cache, as on any start after the
first. The first run warms what the later ones find in memory and is not counted. The present probe
stamps the first frame whose picture is not all black (the window may be cleared before it) and the
start of the first song. FluidR3_GM is unpacked from its Debian package into the build folder, not
installed: installing it would make it the default of every program on the machine. Run as root.

    python3 bench/startup.py [--run-dir build-bench/run] [--before OLDER_RUN_DIR] [--soundfonts DIR]
"""

import glob
import os
import statistics
import subprocess
import time

from desktop import BUILD, Desktop, Game, arguments, binaries, read_probe_log, verdict, wait_until, work_dir

DEFAULT_FONT = "/usr/share/sounds/sf2/default-GM.sf2"
RUNS = 6
# Binds the soundfont ($1) over the default, stamps the moment (ns) into $2, then runs the game.
BIND_AND_RUN = 'mount --bind "$1" "$2" || exit 1; date +%s%N >"$3"; shift 3; exec "$@"'


def fluidr3(folder):
    """FluidR3_GM.sf2 unpacked into folder, fetched with apt-get the first time; None if not to be had."""
    font = os.path.join(folder, "usr/share/sounds/sf2/FluidR3_GM.sf2")
    if not os.path.isfile(font):
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["apt-get", "download", "-qq", "fluid-soundfont-gm"], cwd=folder, capture_output=True)
        for package in glob.glob(os.path.join(folder, "fluid-soundfont-gm_*.deb")):
            subprocess.run(["dpkg-deb", "-x", package, folder], capture_output=True)
    return font if os.path.isfile(font) else None


def can_bind():
    return subprocess.run(["unshare", "--mount", "true"], capture_output=True).returncode == 0


def measure(run_dir, font):
    """(frame ms, song ms) of each counted run; a run that did not get that far is left out."""
    with open(font, "rb") as f:
        while f.read(1 << 20):
            pass
    rows = []
    for run in range(RUNS):
        stamp = os.path.join(work_dir(), "startup.start")
        if os.path.exists(stamp):
            os.remove(stamp)
        game = Game(
            run_dir,
            env={"PRESENT_PROBE_HASH": "1"},
            prefix=["unshare", "--mount", "sh", "-c", BIND_AND_RUN, "sh", font, DEFAULT_FONT, stamp],
        )
        with game:
            game.start(wait_for_frame=0)
            wait_until(lambda: read_probe_log(game.log)[1] or not game.running(), 5)
            time.sleep(0.3)
        frames, music = read_probe_log(game.log)
        pictures = [f.handed for f in frames if f.hash != 0]
        if run > 0 and pictures and music and os.path.exists(stamp):
            start = int(open(stamp).read())
            rows.append(((pictures[0] - start) / 1e6, (music[0] - start) / 1e6))
    return rows


def main():
    parser = arguments(__doc__)
    parser.add_argument(
        "--soundfonts",
        default=os.path.join(BUILD, "soundfonts"),
        help="where FluidR3_GM is unpacked (default: %(default)s)",
    )
    options = parser.parse_args()
    games = binaries(options)
    fonts = [("TimGM6mb", "/usr/share/sounds/sf2/TimGM6mb.sf2"), ("FluidR3_GM", fluidr3(options.soundfonts))]
    if not fonts[1][1]:
        print("FluidR3_GM not to be had; its start-up is skipped")
    bindable = can_bind()
    results = []
    with Desktop("800x600"):
        for label, run_dir in games:
            for name, font in fonts:
                print(f"   measuring {label}: start-up with {name}", flush=True)
                usable = bindable and font and os.path.isfile(font)
                results.append((label, name, measure(run_dir, font) if usable else None))
    print()
    print("start-up, ms from exec (median and worst of 5): first presented menu frame; menu song starts")
    for label, name, rows in results:
        if not rows:
            print(f"  {label:8} {name:11} {'skipped' if rows is None else '?'}")
            continue
        # Whole ms, as printed and judged.
        frame = round(statistics.median(r[0] for r in rows)), round(max(r[0] for r in rows))
        song = round(statistics.median(r[1] for r in rows)), round(max(r[1] for r in rows))
        goal = (
            f"   frame <= 200: {verdict(frame[0] <= 200)}, song <= 400: {verdict(song[0] <= 400)}"
            if label == "now"
            else ""
        )
        print(
            f"  {label:8} {name:11} frame {frame[0]} (worst {frame[1]});  song {song[0]} (worst {song[1]}){goal}"
        )


if __name__ == "__main__":
    main()
