#!/usr/bin/env python3
"""What a sound server's sink played, recorded and told apart (numpy where it is there; the
reading of a song against its render needs it).

  sound_check.py record SOURCE OUT   records SOURCE with parec into OUT.raw (48 kHz s16le stereo)
                                     and notes in OUT.times when each block arrived (Unix time),
                                     until it is terminated or the server goes away
  sound_check.py heard OUT SINCE SECONDS [WHOLE_FROM]
                                     exits 0 once the recording OUT has held sound for SECONDS
                                     from the first sound it got after the Unix time SINCE (and,
                                     with WHOLE_FROM, 1.5 s without a dropout from WHOLE_FROM s
                                     after SINCE on)
  sound_check.py heard-again OUT    exits 0 once the recording OUT, made after a restart, holds
                                     all that the check reads of the song heard again there
  sound_check.py check WORK SOUNDS MIXRENDER RUN_DIR SOUNDFONT
                                     checks the recordings WORK/rec-*.raw against the moments in
                                     WORK/events ("name unix-time" lines), the wave files in
                                     SOUNDS and the songs as MIXRENDER renders them offline from
                                     RUN_DIR with SOUNDFONT; prints what it finds, exits 1 on a
                                     failed check
  sound_check.py page WORK SOUNDS MIXRENDER RUN_DIR SOUNDFONT
                                     the same for the browser's page, whose recording is one run
                                     with no server going away: room 2's song lasts until Escape

A song is told by where its course in octave bands (10 ms steps) best matches an offline render of
each song the game may be playing, over the whole of each song: a section of one song that sounds
like another song on average still follows only its own notes. Sounds are told by the same match
against their wave files. Every span that a check reads must end before the next moment of the
script: one that does not is a fault of the test, and fails as such.
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


def numpy_or_none():
    """numpy, for speed: the script asks for a recording's reading while the game plays."""
    try:
        import numpy
        return numpy
    except ImportError:
        return None


class Recording:
    """One parec run: mono samples and the Unix time at which each frame arrived."""

    def __init__(self, path):
        with open(path + ".raw", "rb") as f:
            raw = f.read()
        raw = raw[:len(raw) // 4 * 4]
        np = numpy_or_none()
        if np:
            self.mono = np.frombuffer(raw, dtype="<i2").reshape(-1, 2).astype(np.float64).mean(axis=1).tolist()
        else:
            stereo = array.array("h")
            stereo.frombytes(raw)
            self.mono = [(left + right) / 2 for left, right in zip(stereo[0::2], stereo[1::2])]
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
    np = numpy_or_none()
    if np:
        blocks = np.asarray(samples[:len(samples) // STEP * STEP], dtype=np.float64).reshape(-1, STEP)
        return (10 * np.log10((blocks * blocks).sum(axis=1) / STEP / 32768.0 ** 2 + 1e-12)).tolist()
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
    kept, origin = without_dropouts(recording.mono[first:recording.frame_at(end)])
    heard = octave_frames(kept)
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
            best = (r, recording.time_of(first + origin[offset * STEP]))
    return best


DROPOUT_FRAMES = 96  # 2 ms of digital silence in the middle of sound: the stream ran dry


def dropout_runs(samples):
    """(first frame, frames) of each run of digital silence of DROPOUT_FRAMES or more."""
    runs, run = [], 0
    for i, value in enumerate(list(samples) + [1]):  # 1 ends a last run
        if value == 0:
            run += 1
            continue
        if run >= DROPOUT_FRAMES:
            runs.append((i - run, run))
        run = 0
    return runs


def without_dropouts(samples):
    """The samples without their dropouts, and where each kept one was. Music plays under every
    sound the checks look for, so a dropout is a stream that ran dry, and after it the sound goes
    on from where it stopped: cut out, the sound is whole again."""
    kept, origin, at = [], [], 0
    for first, frames in dropout_runs(samples) + [(len(samples), 0)]:
        kept.extend(samples[at:first])
        origin.extend(range(at, first))
        at = first + frames
    return kept, origin


def first_sound(recording, start, end, level=-45.0):
    """Unix time of the first 10 ms louder than level dBFS between two moments, or None."""
    first = recording.frame_at(start)
    for i, db in enumerate(envelope(recording.mono[first:recording.frame_at(end)])):
        if db > level:
            return recording.time_of(first + i * STEP)
    return None


def heard(out, since, seconds, whole_from=None, level=-45.0):
    """Whether the recording has held sound for the given seconds from its first 10 ms louder than
    level dBFS after the Unix time since, and, with whole_from, a stretch without a dropout long
    enough to tell a song by from whole_from s after since: on a busy machine the script waits for
    one. Reads only what came after since: it is asked often while the game plays."""
    marks = []
    with open(out + ".times") as f:
        for line in f:
            frames, at = line.split()
            marks.append((int(frames), float(at)))
    if not marks or marks[-1][1] < since:
        return False
    first = next((max(0, frames - int((at - since) * RATE)) for frames, at in marks if at >= since), 0)
    stereo = array.array("h")
    with open(out + ".raw", "rb") as f:
        f.seek(first * 4)
        stereo.frombytes(f.read(marks[-1][0] * 4 - first * 4))
    for i in range(0, len(stereo) // 2 - STEP + 1, STEP):
        block = stereo[2 * i:2 * (i + STEP)]
        power = sum(v * v for v in block) / len(block)
        if 10 * math.log10(power / 32768.0 ** 2 + 1e-12) > level:
            if marks[-1][1] - (marks[-1][0] - first - i) / RATE + seconds > marks[-1][1]:
                return False
            if whole_from is None:
                return True
            skip = int(whole_from * RATE)
            mono = [(a + b) / 2 for a, b in zip(stereo[2 * skip::2], stereo[2 * skip + 1::2])]
            run = longest_run(db > DROPOUT_DB for db in envelope(mono))
            return run[1] - run[0] >= SHORTEST_COMPARED
    return False


# The songs the script's game plays: (screen, file, the tempo the screen forces), from the table the
# mix check renders by.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "assets",
                                "audio", "tools"))
from mixcheck import SCREENS  # noqa: E402

SONGS = [(screen, song, bpm) for screen, song, bpm, _, _ in SCREENS if screen in ("menu", "room 1", "room 2")]
RENDERED = 100  # s of each song rendered: more than one play, so that the loop's join is there too


def band_course(samples):
    """octave_frames with numpy: loudness in octave bands every 10 ms, as a frames x bands array."""
    import numpy as np
    x = np.asarray(samples, dtype=np.float64)
    count = (len(x) - GRAIN) // STEP + 1
    bands = len(OCTAVES) - 1
    if count <= 0:
        return np.zeros((0, bands))
    window = np.array(GRAIN_WINDOW)
    course = np.empty((count, bands))
    for first in range(0, count, 2000):  # in pieces, to keep the frames' memory small
        rows = np.arange(first, min(count, first + 2000))
        frames = x[rows[:, None] * STEP + np.arange(GRAIN)[None, :]] * window
        power = np.abs(np.fft.rfft(frames, axis=1)[:, :GRAIN // 2]) ** 2
        for b, (lo, hi) in enumerate(zip(OCTAVES, OCTAVES[1:])):
            course[rows, b] = np.maximum(10 * np.log10(power[:, lo:hi].sum(axis=1) / FULL_SCALE + 1e-12),
                                         -60.0)
    return course


def best_place(heard_course, song_course):
    """Where a heard course best matches a song's: (correlation, seconds into the song). As in
    find_sound, each band is taken about its own mean over the span compared."""
    import numpy as np
    n = len(heard_course)
    if n == 0 or len(song_course) < n:
        return -1.0, 0.0
    t = heard_course - heard_course.mean(axis=0)
    spread_t = math.sqrt(float((t * t).sum()))
    if spread_t == 0:
        return -1.0, 0.0
    products = sum(np.correlate(song_course[:, b], t[:, b], mode="valid") for b in range(t.shape[1]))
    sums = np.vstack([np.zeros((1, t.shape[1])), np.cumsum(song_course, axis=0)])
    squares = np.vstack([np.zeros((1, t.shape[1])), np.cumsum(song_course ** 2, axis=0)])
    window_sums = sums[n:] - sums[:-n]
    spread_s = np.sqrt(np.maximum((squares[n:] - squares[:-n] - window_sums ** 2 / n).sum(axis=1), 0))
    r = np.where(spread_s > 0, products / (spread_t * np.maximum(spread_s, 1e-9)), -1.0)
    best = int(np.argmax(r))
    return float(r[best]), best * STEP / RATE


DROPOUT_DB = -80.0  # 10 ms quieter than this in the middle of a song is a gap in the sound
SHORTEST_COMPARED = 150  # 10 ms steps of song the least that tells it


def longest_run(flags):
    """The longest run of true flags: (first, last + 1)."""
    best, start = (0, 0), None
    for i, flag in enumerate(list(flags) + [False]):
        if flag and start is None:
            start = i
        elif not flag and start is not None:
            best = max(best, (start, i), key=lambda run: run[1] - run[0])
            start = None
    return best


def render_songs(mixrender, run_dir, soundfont, folder):
    """Each song as the game plays it, rendered offline by the game's own sound code."""
    jobs = [f"render {os.path.join(folder, f'render-{song}.wav')} song Music\\{song}.mid {bpm} "
            f"seconds {RENDERED}" for _, song, bpm in SONGS]
    subprocess.run([mixrender, run_dir, soundfont], input="\n".join(jobs) + "\n", text=True, check=True)
    return {screen: band_course(wave_mono(os.path.join(folder, f"render-{song}.wav")))
            for screen, song, _ in SONGS}


def check(work, sounds, mixrender, run_dir, soundfont, servers=True):
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

    def within_script(name, start, end):
        """A span must end before the script's next moment after its start: reaching past it would
        judge what that moment set off (a key, a restart) as if it belonged here."""
        later = [(at, event) for event, at in events.items()
                 if at > start + 1e-3 and not event.endswith("-stream")]  # those only note a sight
        if later and end > min(later)[0] + 1e-3:
            at, event = min(later)
            raise SystemExit(f"FAULT OF THE TEST: {name} reads {start - events['menu']:.2f} to "
                             f"{end - events['menu']:.2f} s, past '{event}' at {at - events['menu']:.2f} s: "
                             "the script went on before what it checks was recorded")

    def covering(when):
        for r in recordings:
            if r.marks and r.marks[0][1] <= when <= r.marks[-1][1]:
                return r
        raise SystemExit(f"no recording covers {when:.2f}")

    songs = render_songs(mixrender, run_dir, soundfont, work)

    def song(name, expected, start, end, r=None):
        """Music must be heard, and it must be the expected song: its course matches the render of
        that song somewhere clearly better than it matches any other song anywhere."""
        within_script(name, start, end)
        r = r or covering(start)
        part = r.span(start, end)
        loudness = envelope(part)
        level = max(loudness or [SILENCE_DB])
        expect(level > -40, f"{name}: music heard (loudest 10 ms {level:.1f} dBFS)")
        # A dropout (the machine too busy to feed the server) is silence in the recording, and the
        # song goes on after it later than the render: the longest stretch without one is compared.
        first, last = longest_run([db > DROPOUT_DB for db in loudness])
        if last - first < SHORTEST_COMPARED:
            expect(False, f"{name}: no {SHORTEST_COMPARED / 100:.1f} s without a dropout to tell the "
                          f"song by (the longest {(last - first) / 100:.2f} s)")
            return
        course = band_course(part[first * STEP:last * STEP])
        places = {screen: best_place(course, c) for screen, c in songs.items()}
        right, at = places[expected]
        rival = max((s for s in places if s != expected), key=lambda s: places[s][0])
        compared = "" if last - first == len(loudness) else \
            f", over {(last - first) / 100:.2f} s of {len(loudness) / 100:.2f} without a dropout"
        expect(right > 0.7 and right > places[rival][0] + 0.25,
               f"{name}: {expected}'s song, at its {at:.2f} s (match {right:.2f}; nearest other: "
               f"{rival}'s at its {places[rival][1]:.2f} s, {places[rival][0]:.2f}; margin "
               f"{right - places[rival][0]:.2f}{compared})")

    def sound(name, file, start, end, rivals=(), control=None):
        """The sound must match its moment's recording well, better than the rival sounds there,
        and clearly better than it matches music alone (control: a span with no sound)."""
        within_script(name, start, end)
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
    song("menu", "menu", e["menu"], e["start"])
    sound("Start", "flurb!_high.wav", e["start"], e["start"] + 4, control=(e["menu"], e["start"]))
    song("room 1", "room 1", e["start"] + 3, e["space"])
    # The other outcome of a room would sound "you lose".
    sound("Space", "room_clean.wav", e["space"], e["space"] + 3, rivals=["you_lose.wav"])
    song("room 2", "room 2", e["space"] + 3.5, e["kill"] if servers else e["escape"])
    song("menu after Escape", "menu", e["escape"] + 0.8, e["quit"])
    # A new null sink of PulseAudio's serves only a second or two after it is made, whoever plays
    # to it, one of PipeWire's at once: the game has to be there within 2 s (its stream on the
    # server), and heard as soon as both its stream is there and the sink serves, with the song it
    # was playing meanwhile.
    for what, ready, stream, playing in (
            ("a server that came after the game", "late-ready", "late-stream", "menu"),
            ("a new server", "server-ready", "server-stream", "room 2"),
            ("a new sink", "sink-ready", "sink-stream", "room 2")) if servers else ():
        expect(e[stream] - e[ready] <= 2.0,
               f"{what}: the game's stream there {e[stream] - e[ready]:.2f} s after it was ready")
        r = next(r for r in recordings if r.marks and r.marks[0][1] > e[ready])
        serving = r.marks[0][1]
        back = first_sound(r, serving - 1, serving + 5)
        since = max(serving, e[stream])
        delay = None if back is None else max(back - since, 0.0)
        expect(delay is not None and delay <= 0.5,
               f"{what}: the song {'never heard' if delay is None else f'heard {delay:.2f} s'} "
               f"after the sink served and the stream was there (it served "
               f"{serving - e[ready]:.2f} s after it was ready)")
        if back is not None:
            print(f"     {what}: sound {max(back, serving) - e[ready]:.2f} s after it was ready")
            span = told_again(r)
            if span is None:
                expect(False, f"{what}: the recording ends before the song heard again tells it")
            else:
                song(f"{what}, heard again", playing, *span, r)
    # Quitting fades the music out over 20 ms: the last 2.5 ms heard are far quieter than the
    # music 40 ms before. A game started again after the quit ("again") is not listened to. The
    # last sound is looked for from the Escape on: a page's recording is timed by its own count of
    # frames, and each output a busy browser misses leaves its end earlier (by up to 0.9 s seen).
    r = covering(e["escape"])
    since_escape = r.frame_at(e["escape"])
    until = r.frame_at(e["again"]) if "again" in e else len(r.mono)
    heard_frames = [i for i in range(since_escape, until) if r.mono[i] != 0]
    if heard_frames:
        end = heard_frames[-1] + 1
        tail = max(abs(v) for v in r.mono[end - 120:end])
        music = max(abs(v) for v in r.mono[end - 2400:end - 1920])
        expect(tail < music / 4, f"quit: the music fades out (last 2.5 ms peak {tail:.0f}, "
               f"{music:.0f} 40 ms before)")
    else:
        expect(False, "quit: no music heard before the end")
    return 1 if failures else 0


# The span that tells which song is heard again after a restart: from 0.2 s after its first sound to
# the end of its first 2.5 s without a dropout, or, on a machine too busy for one, to 10 s after.
# The script waits until the recording holds all of it before its next step.
AGAIN_FROM, AGAIN_CLEAN, AGAIN_LONGEST = 0.2, 2.5, 10.0


def told_again(r):
    """(start, end) Unix times of that span of the recording r, made after a restart; None while r
    holds neither yet."""
    serving = r.marks[0][1] if r.marks else 0.0
    back = first_sound(r, serving - 1, serving + 5) if r.marks else None
    if back is None:
        return None
    start = back + AGAIN_FROM
    clean = 0
    for i, db in enumerate(envelope(r.span(start, start + AGAIN_LONGEST))):
        clean = clean + 1 if db > DROPOUT_DB else 0
        if clean >= AGAIN_CLEAN * 100:
            return start, start + (i + 1) / 100
    return (start, start + AGAIN_LONGEST) if r.marks[-1][1] >= start + AGAIN_LONGEST else None


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "record":
        record(sys.argv[2], sys.argv[3])
    elif len(sys.argv) in (5, 6) and sys.argv[1] == "heard":
        whole = float(sys.argv[5]) if len(sys.argv) == 6 else None
        sys.exit(0 if heard(sys.argv[2], float(sys.argv[3]), float(sys.argv[4]), whole) else 1)
    elif len(sys.argv) == 3 and sys.argv[1] == "heard-again":
        sys.exit(0 if told_again(Recording(sys.argv[2])) else 1)
    elif len(sys.argv) == 7 and sys.argv[1] in ("check", "page"):
        sys.exit(check(*sys.argv[2:], servers=sys.argv[1] == "check"))
    else:
        sys.exit(__doc__)
