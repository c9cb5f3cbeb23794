#!/usr/bin/env python3
"""What a sound server's sink played, recorded and told apart (standard library only).

  sound_check.py record SOURCE OUT   records SOURCE with parec into OUT.raw (48 kHz s16le stereo)
                                     and notes in OUT.times when each block arrived (Unix time),
                                     until it is terminated or the server goes away
  sound_check.py check WORK SOUNDS   checks the recordings WORK/rec-*.raw against the moments in
                                     WORK/events ("name unix-time" lines) and the wave files in
                                     SOUNDS; prints what it finds, exits 1 on a failed check
  sound_check.py page WORK SOUNDS    the same for the browser's page, whose recording is one run
                                     with no server going away: room 2's song lasts until Escape

Songs are told apart by their average spectrum in third-octave bands, sounds by the match of
their loudness envelope (10 ms steps) with the recording's.
"""
import array
import cmath
import glob
import math
import os
import signal
import subprocess
import sys
import time
import wave

RATE = 48000
STEP = RATE // 100  # 10 ms of frames
BLOCK = 2048  # frames a spectrum is taken over
SILENCE_DB = -60.0


def record(source, out):
    parec = subprocess.Popen(
        ["parec", "-d", source, "--raw", "--format=s16le", "--rate=48000", "--channels=2",
         "--latency-msec=20"], stdout=subprocess.PIPE)
    signal.signal(signal.SIGTERM, lambda *_: parec.terminate())
    with open(out + ".raw", "wb") as raw, open(out + ".times", "w") as times:
        written = 0
        while True:
            try:
                data = parec.stdout.read1(9600)
            except InterruptedError:
                continue
            if not data:
                break
            written += len(data)
            raw.write(data)
            times.write(f"{written // 4} {time.time():.4f}\n")
            times.flush()
    parec.wait()


class Recording:
    """One parec run: mono samples and the Unix time at which each frame arrived."""

    def __init__(self, path):
        stereo = array.array("h")
        with open(path + ".raw", "rb") as f:
            stereo.frombytes(f.read())
        self.mono = [(stereo[i] + stereo[i + 1]) / 2 for i in range(0, len(stereo) - 1, 2)]
        self.marks = []  # (frames so far, arrival time)
        with open(path + ".times") as f:
            for line in f:
                frames, at = line.split()
                self.marks.append((int(frames), float(at)))
        self.name = os.path.basename(path)

    def time_of(self, frame):
        for frames, at in self.marks:
            if frames >= frame:
                return at - (frames - frame) / RATE
        return self.marks[-1][1] if self.marks else 0.0

    def frame_at(self, when):
        for frames, at in self.marks:
            if at >= when:
                return max(0, frames - int((at - when) * RATE))
        return len(self.mono)

    def span(self, start, end):
        return self.mono[self.frame_at(start):self.frame_at(end)]


def envelope(samples):
    """Loudness in dB per 10 ms."""
    out = []
    for i in range(0, len(samples) - STEP + 1, STEP):
        power = sum(s * s for s in samples[i:i + STEP]) / STEP
        out.append(10 * math.log10(power / 32768.0 ** 2 + 1e-12))
    return out


def fft(values):
    n = len(values)
    if n == 1:
        return list(values)
    even, odd = fft(values[0::2]), fft(values[1::2])
    twiddled = [cmath.exp(-2j * math.pi * k / n) * odd[k] for k in range(n // 2)]
    return [even[k] + twiddled[k] for k in range(n // 2)] + \
        [even[k] - twiddled[k] for k in range(n // 2)]


BANDS = [int(BLOCK * 60 * 2 ** (i / 3) / RATE) for i in range(23)]  # 60 Hz to about 10 kHz


def spectrum(samples):
    """Average power in third-octave bands, in dB relative to the loudest band."""
    window = [0.5 - 0.5 * math.cos(2 * math.pi * i / BLOCK) for i in range(BLOCK)]
    totals = [0.0] * (len(BANDS) - 1)
    blocks = 0
    for start in range(0, len(samples) - BLOCK + 1, BLOCK * 2):
        bins = fft([s * w for s, w in zip(samples[start:start + BLOCK], window)])
        power = [abs(b) ** 2 for b in bins[:BLOCK // 2]]
        for i in range(len(totals)):
            totals[i] += sum(power[BANDS[i]:max(BANDS[i + 1], BANDS[i] + 1)])
        blocks += 1
    if blocks == 0:
        return None
    db = [10 * math.log10(t / blocks + 1e-9) for t in totals]
    top = max(db)
    return [max(d - top, -50.0) for d in db]


def distance(a, b):
    return math.sqrt(sum((x - y) ** 2 for x, y in zip(a, b)) / len(a))


def wave_mono(path):
    with wave.open(path) as w:
        channels, width, rate = w.getnchannels(), w.getsampwidth(), w.getframerate()
        data = w.readframes(w.getnframes())
    if width == 1:
        values = [(b - 128) * 256 for b in data]
    else:
        values = array.array("h")
        values.frombytes(data)
    mono = [sum(values[i:i + channels]) / channels for i in range(0, len(values), channels)]
    # Nearest-sample resampling is enough for a loudness envelope.
    return [mono[int(i * rate / RATE)] for i in range(int(len(mono) * RATE / rate))]


GRAIN = 1024  # frames a short spectrum is taken over, one every 10 ms
OCTAVES = [int(GRAIN * f / RATE) for f in (94, 188, 375, 750, 1500, 3000, 6000, 12000)]
GRAIN_WINDOW = [0.5 - 0.5 * math.cos(2 * math.pi * i / GRAIN) for i in range(GRAIN)]
FULL_SCALE = (32768.0 * GRAIN / 4) ** 2  # a full-scale sine's power in its bin, Hann window


def octave_frames(samples):
    """Loudness in octave bands (94 Hz to 12 kHz) every 10 ms, in dB floored at -60 dBFS."""
    frames = []
    for i in range(0, len(samples) - GRAIN + 1, STEP):
        bins = fft([s * w for s, w in zip(samples[i:i + GRAIN], GRAIN_WINDOW)])
        power = [abs(b) ** 2 for b in bins[:GRAIN // 2]]
        frames.append([max(10 * math.log10(sum(power[lo:hi]) / FULL_SCALE + 1e-12), -60.0)
                       for lo, hi in zip(OCTAVES, OCTAVES[1:])])
    return frames


def find_sound(recording, sound, start, end):
    """Where the sound's course in each octave band best matches the recording's between two
    moments: (correlation, Unix time of its start). Each band is taken about its own mean, so that
    what any two sounds share (more low than high, say) counts for nothing, and a sound heard over
    music at its own loudness still stands out where it is the louder."""
    audible = [i for i, v in enumerate(envelope(sound)) if v > SILENCE_DB]
    target = octave_frames(sound[:(audible[-1] + 1) * STEP + GRAIN])
    bands = len(OCTAVES) - 1
    n = len(target)
    means = [sum(f[b] for f in target) / n for b in range(bands)]
    target = [[f[b] - means[b] for b in range(bands)] for f in target]
    spread_t = math.sqrt(sum(v * v for f in target for v in f))
    first = recording.frame_at(start)
    heard = octave_frames(recording.mono[first:recording.frame_at(end)])
    best = (-1.0, 0.0)
    for offset in range(0, len(heard) - n + 1):
        part = heard[offset:offset + n]
        sums = [0.0] * bands
        for f in part:
            for b in range(bands):
                sums[b] += f[b]
        mean_p = [v / n for v in sums]
        centred = [[f[b] - mean_p[b] for b in range(bands)] for f in part]
        spread_p = math.sqrt(sum(v * v for f in centred for v in f))
        if spread_p == 0:
            continue
        r = sum(t * p for ft, fp in zip(target, centred) for t, p in zip(ft, fp)) / (spread_t * spread_p)
        if r > best[0]:
            best = (r, recording.time_of(first + offset * STEP))
    return best


def first_sound(recording, start, end, level=-45.0):
    """Unix time of the first 10 ms louder than level dBFS between two moments, or None."""
    first = recording.frame_at(start)
    for i, db in enumerate(envelope(recording.mono[first:recording.frame_at(end)])):
        if db > level:
            return recording.time_of(first + i * STEP)
    return None


def check(work, sounds, servers=True):
    events = {}
    with open(os.path.join(work, "events")) as f:
        for line in f:
            name, at = line.split()
            events[name] = float(at)
    recordings = [Recording(p[:-4]) for p in sorted(glob.glob(os.path.join(work, "rec-*.raw")))]
    failures = []

    def expect(ok, text):
        print(("ok   " if ok else "FAIL ") + text)
        if not ok:
            failures.append(text)

    def covering(when):
        for r in recordings:
            if r.marks and r.marks[0][1] <= when <= r.marks[-1][1]:
                return r
        raise SystemExit(f"no recording covers {when:.2f}")

    def song(name, start, end):
        r = covering(start)
        part = r.span(start, end)
        level = max(envelope(part) or [SILENCE_DB])
        s = spectrum(part)
        expect(level > -40 and s is not None, f"{name}: music heard (loudest 10 ms {level:.1f} dBFS)")
        return s

    def sound(name, file, start, end, rivals=(), control=None):
        """The sound must match its moment's recording well, better than the rival sounds there,
        and clearly better than it matches music alone (control: a span with no sound)."""
        r = covering(start)
        wave_of = lambda f: wave_mono(os.path.join(sounds, f))
        mine = find_sound(r, wave_of(file), start, end)
        others = [find_sound(r, wave_of(o), start, end)[0] for o in rivals]
        music = find_sound(covering(control[0]), wave_of(file), *control)[0] if control else -1.0
        expect(mine[0] > 0.4 and all(mine[0] > x + 0.2 for x in others) and mine[0] > music + 0.2,
               f"{name}: {file} heard at +{mine[1] - start:.2f} s (match {mine[0]:.2f}; "
               f"{', '.join(f'{o} {x:.2f}' for o, x in zip(rivals, others)) or 'no rival'}"
               + (f"; music alone {music:.2f})" if control else ")"))

    e = events
    menu = song("menu", e["menu"], e["start"])
    sound("Start", "flurb!_high.wav", e["start"], e["start"] + 4, control=(e["menu"], e["start"]))
    room1 = song("room 1", e["start"] + 3, e["space"])
    # The other outcome of a room would sound "you lose".
    sound("Space", "room_clean.wav", e["space"], e["space"] + 3, rivals=["you_lose.wav"])
    room2 = song("room 2", e["space"] + 3.5, e["kill"] if servers else e["escape"])
    menu_again = song("menu after Escape", e["escape"] + 0.8, e["quit"])
    if None not in (menu, room1, room2, menu_again):
        again = {"menu": distance(menu_again, menu), "room 1": distance(menu_again, room1),
                 "room 2": distance(menu_again, room2)}
        print(f"     spectrum distances: menu/room 1 {distance(menu, room1):.1f} dB, "
              f"menu/room 2 {distance(menu, room2):.1f}, room 1/room 2 {distance(room1, room2):.1f}; "
              f"after Escape to the menu {again['menu']:.1f}, room 1 {again['room 1']:.1f}, "
              f"room 2 {again['room 2']:.1f}")
        expect(min(distance(menu, room1), distance(menu, room2), distance(room1, room2)) > again["menu"]
               and min(again, key=again.get) == "menu",
               "the menu song, room 1's and room 2's are told apart, and the menu's is back")
    # A new null sink serves only a second or two after it is made, whoever plays to it: the game
    # has to be back by then (its stream on the server), and heard as soon as the sink serves.
    for what, ready, stream in (("a new server", "server-ready", "server-stream"),
                                ("a new sink", "sink-ready", "sink-stream")) if servers else ():
        expect(e[stream] - e[ready] <= 2.0,
               f"{what}: the game's stream there {e[stream] - e[ready]:.2f} s after it was ready")
        r = next(r for r in recordings if r.marks and r.marks[0][1] > e[ready])
        serving = r.marks[0][1]
        back = first_sound(r, serving - 1, serving + 5)
        delay = None if back is None else max(back, serving) - serving
        expect(delay is not None and delay <= 0.5,
               f"{what}: the song {'never heard' if delay is None else f'heard {delay:.2f} s'} "
               f"after the sink served (it served {serving - e[ready]:.2f} s after it was ready)")
        if back is not None:
            after = spectrum(r.span(back + 0.2, back + 2.2))
            if after is not None and room2 is not None:
                expect(distance(after, room2) < distance(after, menu),
                       f"{what}: it is room 2's song ({distance(after, room2):.1f} dB from it, "
                       f"{distance(after, menu):.1f} from the menu's)")
    # Quitting fades the music out over 20 ms: the last 2.5 ms heard are far quieter than the
    # music 40 ms before. A game started again after the quit ("again") is not listened to.
    r = covering(e["quit"])
    quit_at = r.frame_at(e["quit"])
    until = r.frame_at(e["again"]) if "again" in e else len(r.mono)
    heard = [i for i in range(quit_at, until) if r.mono[i] != 0]
    if heard:
        end = heard[-1] + 1
        tail = max(abs(v) for v in r.mono[end - 120:end])
        music = max(abs(v) for v in r.mono[end - 2400:end - 1920])
        expect(tail < music / 4, f"quit: the music fades out (last 2.5 ms peak {tail:.0f}, "
               f"{music:.0f} 40 ms before)")
    else:
        expect(False, "quit: no music heard before the end")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "record":
        record(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 4 and sys.argv[1] in ("check", "page"):
        sys.exit(check(sys.argv[2], sys.argv[3], servers=sys.argv[1] == "check"))
    else:
        sys.exit(__doc__)
