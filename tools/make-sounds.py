#!/usr/bin/env python3
"""Makes Dravik's two wave sounds: CLICK (a patch was switched on or off) and LAUNCH (the game is
started). Both are 16-bit PCM, mono, 22050 Hz: CLICK 0.17 s, LAUNCH 0.32 s.

Run it once after changing a sound and commit what it writes:
    tools/make-sounds.py resources/sounds
Only the standard library is used; the output is the same on every run.
"""

import math
import struct
import sys
import wave
from pathlib import Path

RATE = 22050
CLICK_SAMPLES = 3749  # 0.170 s
LAUNCH_SAMPLES = 7056  # 0.320 s


class Noise:
    """A small linear congruential generator, so that the output never changes."""

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return self.state / 0x3FFFFFFF - 1.0


def tone(t, freq, decay):
    return math.sin(2 * math.pi * freq * t) * math.exp(-t / decay)


def finish(samples, peak, fade):
    """Scales to `peak`, fades the last `fade` seconds to silence, returns 16-bit frames."""
    top = max(abs(s) for s in samples) or 1.0
    n = len(samples)
    fade_n = int(fade * RATE)
    out = bytearray()
    for i, s in enumerate(samples):
        v = s / top * peak
        if i >= n - fade_n:
            v *= (n - 1 - i) / fade_n
        out += struct.pack('<h', max(-32767, min(32767, round(v * 32767))))
    return bytes(out)


def click():
    """A soft two-part tick, like a small switch: a bright tick, then a lower, quieter tock."""
    noise = Noise(20240611)
    samples = []
    low = 0.0
    for i in range(CLICK_SAMPLES):
        t = i / RATE
        attack = min(1.0, t / 0.0006)
        # The tick: a short burst of softened noise over two quickly fading tones.
        low += 0.35 * (noise.next() - low)
        v = low * math.exp(-t / 0.0009) * 0.8
        v += tone(t, 2300, 0.011) * 0.55 + tone(t, 1400, 0.02) * 0.45
        # The tock, 55 ms later.
        t2 = t - 0.055
        if t2 >= 0:
            v += (tone(t2, 880, 0.018) * 0.32 + tone(t2, 1760, 0.008) * 0.1) * min(1.0, t2 / 0.0006)
        samples.append(v * attack)
    return finish(samples, 0.6, 0.010)


def bell(t, freq, decay):
    """A soft bell: the note, a slightly detuned twin for shimmer, and two quiet overtones."""
    if t < 0:
        return 0.0
    attack = min(1.0, t / 0.004)
    v = math.sin(2 * math.pi * freq * t)
    v += 0.5 * math.sin(2 * math.pi * freq * 1.004 * t)
    v += 0.3 * math.sin(2 * math.pi * freq * 2.0 * t) * math.exp(-t / (decay * 0.5))
    v += 0.08 * math.sin(2 * math.pi * freq * 3.01 * t) * math.exp(-t / (decay * 0.3))
    return v * attack * math.exp(-t / decay)


def launch():
    """A rising four-note chime: C, E, G and the C above, each ringing into the next."""
    notes = [(0.000, 523.25, 0.09), (0.055, 659.26, 0.09), (0.110, 783.99, 0.10),
             (0.165, 1046.50, 0.13)]
    samples = []
    for i in range(LAUNCH_SAMPLES):
        t = i / RATE
        samples.append(sum(bell(t - start, f, d) * (0.8 + 0.1 * k)
                           for k, (start, f, d) in enumerate(notes)))
    return finish(samples, 0.7, 0.040)


def write(path, frames):
    temp = path.with_name(path.name + '.tmp')
    with wave.open(str(temp), 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)
    temp.replace(path)
    print(f'wrote {path} ({len(frames) // 2} samples)')


def main():
    if len(sys.argv) != 2:
        print('usage: make-sounds.py OUTPUT-FOLDER', file=sys.stderr)
        return 2
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    write(folder / 'CLICK.wav', click())
    write(folder / 'LAUNCH.wav', launch())
    return 0


if __name__ == '__main__':
    sys.exit(main())
