#!/usr/bin/env python3
"""The mix of the asset pack, as the game plays it, with both General MIDI soundfonts.

usage: mixcheck.py MIXRENDER RUN_DIR [--keep DIR]

flurber_mixrender renders through the game's own mixer and synthesizer settings; ffmpeg's ebur128
filter measures loudness (LUFS, LU) and true peak (dBTP). Fails when a figure is out of bounds.
"""
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile

SOUNDFONTS = [("TimGM6mb", "/usr/share/sounds/sf2/TimGM6mb.sf2"),
              ("FluidR3", "/usr/share/sounds/sf2/FluidR3_GM.sf2")]
# Screen, song, the tempo it forces, the MIDI channels of its melody, and the sounds that follow
# its song when the room ends.
SCREENS = [("menu", "groove", 95, "1", []),
           ("room 1", "carribean", 110, "1", ["room_clean", "you_lose"]),
           ("room 2", "stepitup", 100, "1", ["room_clean", "you_lose"]),
           ("room 3", "hectic", 120, "1", ["room_clean", "you_lose"]),
           ("room 4", "snazzyjazzy", 120, "1", ["room_clean", "you_lose"]),
           ("room 5", "doublebass", 120, "1,2", ["victory", "you_lose"])]
# How each sound plays in the game: its cues (file, seconds) and how long to render.
SOUNDS = {"banner": ([("flurb!_high", 0)], 1.6),
          "room_clean": ([("room_clean", 0)], 2.3),
          "you_lose": ([("you_lose", 0)], 2.3),
          "victory": ([("gun_shot", t) for t in (0, 0.6, 1.2, 1.8)], 2.6)}

LOUDNESS = (-19.5, -16.5)  # LUFS, integrated, each song
MELODY_SHARE = 60.0  # % of the time the melody is louder than the rest, 500 Hz to 6 kHz
ABOVE_SONG = 4.0  # LU, a sound's loudest momentary loudness over the song's integrated
TRUE_PEAK = -1.0  # dBTP, the song with the banner over its start
BAND = "highpass=f=500,highpass=f=500,lowpass=f=6000,lowpass=f=6000"
WINDOW = 0.1  # s, of the melody comparison
SILENCE = -70.0  # dBFS: a window below it in both parts is not counted
RATE = 48000


def ebur128(path):
    """Integrated loudness, loudest momentary loudness and true peak of a wave file."""
    err = subprocess.run(["ffmpeg", "-nostats", "-hide_banner", "-i", path, "-af",
                          "ebur128=peak=true:framelog=info", "-f", "null", "-"],
                         capture_output=True, text=True, check=True).stderr
    momentary = [float(m) for m in re.findall(r"\bM:\s*(-?[\d.]+)", err)]
    summary = err[err.rindex("Summary:"):]
    integrated = float(re.search(r"I:\s*(-?[\d.]+) LUFS", summary).group(1))
    peak = float(re.search(r"Peak:\s*(-?[\d.inf]+)", summary).group(1))
    return integrated, max(momentary), peak


def band_levels(path):
    """Level (dBFS) of each window of the file, band-passed to 500 Hz - 6 kHz."""
    stats = (f"{BAND},asetnsamples=n={int(WINDOW * RATE)},astats=metadata=1:reset=1:"
             "measure_perchannel=none:measure_overall=RMS_level,"
             "ametadata=print:key=lavfi.astats.Overall.RMS_level:file=-")
    out = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-af", stats, "-f", "null", "-"],
                         capture_output=True, text=True, check=True).stdout
    return [float(line.split("=")[1]) for line in out.splitlines() if line.startswith("lavfi")]


def melody_share(melody_path, rest_path):
    """Percentage of the windows in which anything sounds where the melody is the louder."""
    heard = [(m, r) for m, r in zip(band_levels(melody_path), band_levels(rest_path))
             if max(m, r) > SILENCE]
    return 100.0 * sum(m > r for m, r in heard) / max(len(heard), 1)


def jobs(out):
    """The renders of one soundfont, and what each file is."""
    lines, files = [], {}
    for _, song, bpm, melody, _ in SCREENS:
        base = f"song Music\\{song}.mid {bpm}"
        for part, notes in (("whole", ""), ("melody", f" only {melody}"),
                            ("accompaniment", f" without {melody}")):
            path = os.path.join(out, f"{song}-{part}.wav")
            lines.append(f"render {path} {base}{notes}")
            files[song, part] = path
        path = os.path.join(out, f"{song}-banner.wav")
        lines.append(f"render {path} {base} sound Sounds\\flurb!_high.wav 0 seconds 3")
        files[song, "banner"] = path
    for name, (cues, seconds) in SOUNDS.items():
        path = os.path.join(out, f"{name}.wav")
        cue = " ".join(f"sound Sounds\\{f}.wav {t}" for f, t in cues)
        lines.append(f"render {path} {cue} seconds {seconds}")
        files[name] = path
    return lines, files


def render(mixrender, run_dir, folder):
    """Every render with each soundfont, both soundfonts at once; the files by soundfont."""
    renders, files = [], {}
    for name, font in SOUNDFONTS:
        out = os.path.join(folder, name)
        os.makedirs(out, exist_ok=True)
        lines, files[name] = jobs(out)
        process = subprocess.Popen([mixrender, run_dir, font], stdin=subprocess.PIPE, text=True)
        process.stdin.write("\n".join(lines) + "\n")
        process.stdin.close()
        renders.append(process)
    if any(process.wait() != 0 for process in renders):
        sys.exit("mix check: rendering failed")
    return files


def measure(files):
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        loud = {(n, k): pool.submit(ebur128, p) for n, fs in files.items() for k, p in fs.items()
                if k[-1] not in ("melody", "accompaniment")}
        share = {(n, s): pool.submit(melody_share, fs[s, "melody"], fs[s, "accompaniment"])
                 for n, fs in files.items() for _, s, _, _, _ in SCREENS}
        return ({k: f.result() for k, f in loud.items()},
                {k: f.result() for k, f in share.items()})


def report(loud, share):
    """Prints the table; the figures out of bounds."""
    failures = []

    def cell(value, ok, what):
        if not ok:
            failures.append(what)
        return f"{value:6.1f}{' ' if ok else '!'}"

    print("Mix of the asset pack, as the game plays it (LUFS, LU, dBTP; ! out of bounds)")
    print(f"  song loudness {LOUDNESS[0]} to {LOUDNESS[1]} LUFS; melody louder than the rest in "
          f"500 Hz-6 kHz >= {MELODY_SHARE:.0f} % of {WINDOW * 1000:.0f} ms windows; sounds' "
          f"loudest momentary <= song + {ABOVE_SONG:.0f} LU; true peak (rooms: with the banner) "
          f"<= {TRUE_PEAK} dBTP")
    sounds = ["banner", "room_clean", "you_lose", "victory"]
    for name, _ in SOUNDFONTS:
        print(f"\n{name}")
        print(f"{'screen':8} {'song':12} {'LUFS':>7} {'melody%':>7} {'dBTP':>7} "
              + " ".join(f"{s:>10}" for s in sounds))
        for screen, song, _, _, after in SCREENS:
            integrated, _, peak = loud[name, (song, "whole")]
            followed = after + (["banner"] if screen != "menu" else [])
            if "banner" in followed:
                peak = max(peak, loud[name, (song, "banner")][2])
            what = f"{name} {song}"
            row = f"{screen:8} {song:12} "
            row += cell(integrated, LOUDNESS[0] <= integrated <= LOUDNESS[1], f"{what} loudness")
            row += cell(share[name, song], share[name, song] >= MELODY_SHARE, f"{what} melody")
            row += cell(peak, peak <= TRUE_PEAK, f"{what} true peak")
            for sound in sounds:
                if sound not in followed:
                    row += f"{'':>10} "
                    continue
                above = loud[name, sound][1] - integrated
                row += "    " + cell(above, above <= ABOVE_SONG, f"{what} {sound} above the song")
            print(row)
    print("\nSounds' loudest momentary loudness (LUFS): " + ", ".join(
        f"{s} {loud[SOUNDFONTS[0][0], s][1]:.1f}" for s in sounds))
    return failures


def main():
    args = sys.argv[1:]
    keep = None
    if len(args) == 4 and args[2] == "--keep":
        keep = args[3]
        args = args[:2]
    if len(args) != 2:
        sys.exit(__doc__)
    mixrender, run_dir = args
    for _, font in SOUNDFONTS:
        if not os.path.isfile(font):
            sys.exit(f"mix check: {font} is missing (packages timgm6mb-soundfont, fluid-soundfont-gm)")
    if shutil.which("ffmpeg") is None:
        sys.exit("mix check: ffmpeg is missing (package ffmpeg)")
    folder = os.path.abspath(keep) if keep else tempfile.mkdtemp(prefix="flurber-mix-")
    try:
        failures = report(*measure(render(mixrender, run_dir, folder)))
    finally:
        if keep is None:
            shutil.rmtree(folder)
    if failures:
        print("\nmix check FAILED: " + "; ".join(failures))
        return 1
    print("\nmix check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
