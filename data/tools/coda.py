#!/usr/bin/env python3
"""Writes the coda, "ZENTHA-coda11minutesT60.synthSequence", from the score below.

    python3 data/tools/coda.py

Eleven minutes at tempo 60 (a beat a second): a sparse opening of a few low voices, a gathering
in which the characters answer each other around the listener, a build to all 32 voices, and a
long release in which they leave one by one until the last ghost fades out at 11:00. Running the
script again gives the same file. It refuses a score that would ask for more voices than the
scene has (a voice counts until its release is over) or that leaves a silence inside the piece.
"""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import presets  # noqa: E402  (the characters and their pitches)

OUT = os.path.join(presets.DATA, "ZENTHA-coda11minutesT60.synthSequence")
VOICE = "HydrogenVoice"
VOICES = 32
LENGTH = 660.0
# A voice is free again only after its release ends, and the sequencer takes the voice of an
# event up to 4 s before the event starts, to prepare it.
FREE_MARGIN = 4.5

# One row per voice: section, entry and exit time in seconds (the release begins at the exit),
# character, pitch in the voice's notation (octave, then semitones above A in
# hundredths: 8.00 is 220 Hz), the preset sequence it morphs through ("-" for none), where it
# stands (azimuth in degrees, 0 straight ahead, positive to the right; distance and height from
# the centre of the scene), attack and release in seconds, and its level (0 to 1).
# The notes are those of A minor pentatonic: A (x.00), C (.03), D (.05), E (.07), G (.10).
SCORE = """
section   | entry | exit   | character        | pitch | sequence      | az   | dist | height | attack | release | level
Opening   |   0   | 560    | Ghost            | 6.00  | -             |    0 | 1.6  |  0.0   | 5      | 5       | 0.9
Opening   |  14   | 520    | Floating Sail    | 7.07  | -             |  -40 | 2.0  |  0.3   | 5      | 5       | 0.7
Opening   |  33   | 380    | Fine             | 9.00  | -             |   55 | 2.4  |  0.6   | 4      | 5       | 0.8
Opening   |  55   | 455    | Rose             | 8.03  | -             |  -75 | 2.2  | -0.2   | 4      | 5       | 0.7
Opening   |  78   | 430    | Filaments        | 8.07  | -             |   85 | 2.6  |  0.1   | 4      | 5       | 0.8
Gathering | 100   | 470    | Flower           | 8.00  | Bloom         |   20 | 1.8  |  0.0   | 3      | 5       | 0.7
Gathering | 112   | 500    | Spool-Unspool    | 7.07  | -             |  -20 | 2.8  |  0.4   | 3      | 5       | 0.7
Gathering | 126   | 420    | Whirlwing        | 8.05  | -             |  115 | 2.5  |  0.2   | 2      | 4       | 0.7
Gathering | 140   | 372    | Momentary Spires | 8.10  | -             | -115 | 2.5  |  0.5   | 1      | 3       | 0.6
Gathering | 152   | 540    | Ghost            | 7.00  | -             |  180 | 3.0  |  0.0   | 5      | 5       | 0.8
Gathering | 168   | 376    | Fine             | 9.07  | -             |  140 | 2.2  |  0.7   | 3      | 4       | 0.7
Gathering | 184   | 490    | Rose             | 8.00  | Fade to Ghost | -140 | 2.0  | -0.3   | 3      | 5       | 0.6
Gathering | 200   | 600    | Floating Sail    | 6.00  | Drift         |    0 | 3.2  | -0.4   | 5      | 5       | 0.8
Gathering | 214   | 445    | Filaments        | 8.03  | Crystallise   |   60 | 2.0  |  0.3   | 3      | 4       | 0.6
Gathering | 228   | 374    | Momentary Spires | 9.03  | -             |  -60 | 2.4  |  0.8   | 1      | 3       | 0.5
Build     | 245   | 510    | Spool-Unspool    | 7.05  | Unwind        |   95 | 1.6  | -0.2   | 3      | 5       | 0.6
Build     | 255   | 384    | Flower           | 9.00  | -             |  -95 | 1.6  |  0.6   | 2      | 4       | 0.5
Build     | 265   | 425    | Filaments        | 8.10  | Crystallise   |   30 | 3.0  |  0.9   | 2      | 4       | 0.6
Build     | 275   | 405    | Rose             | 8.07  | -             |  -30 | 3.0  | -0.1   | 2      | 4       | 0.5
Build     | 285   | 460    | Spool-Unspool    | 8.00  | -             |  160 | 2.2  |  0.3   | 2      | 4       | 0.5
Build     | 293   | 390    | Filaments        | 9.05  | -             | -160 | 2.2  |  0.5   | 2      | 4       | 0.5
Build     | 301   | 480    | Rose             | 8.00  | Fade to Ghost |   70 | 3.4  |  0.0   | 3      | 5       | 0.6
Build     | 309   | 378    | Momentary Spires | 8.05  | -             |  -70 | 1.8  |  0.4   | 1      | 3       | 0.5
Build     | 316   | 440    | Floating Sail    | 8.07  | -             |  125 | 2.8  | -0.3   | 2      | 4       | 0.5
Build     | 323   | 388    | Whirlwing        | 9.00  | -             | -125 | 2.8  |  0.6   | 2      | 4       | 0.5
Build     | 329   | 530    | Flower           | 7.10  | Bloom         |   10 | 2.6  |  0.2   | 2      | 4       | 0.5
Build     | 335   | 382    | Fine             | 10.00 | -             |  -10 | 2.6  |  1.0   | 2      | 4       | 0.5
Build     | 341   | 395    | Rose             | 9.03  | -             |  100 | 2.0  |  0.5   | 2      | 4       | 0.45
Build     | 347   | 575    | Spool-Unspool    | 7.00  | -             | -100 | 2.0  | -0.5   | 2      | 4       | 0.5
Build     | 353   | 400    | Filaments        | 8.10  | -             |  150 | 3.2  |  0.3   | 2      | 4       | 0.45
Build     | 358   | 373    | Momentary Spires | 9.07  | -             | -150 | 3.2  |  0.7   | 1      | 3       | 0.45
Build     | 363   | 410    | Whirlwing        | 8.03  | -             |   45 | 3.6  |  0.0   | 1      | 4       | 0.45
Release   | 380   | 490    | Flower           | 8.05  | -             |  -45 | 3.6  |  0.2   | 4      | 5       | 0.5
Release   | 410   | 530    | Rose             | 7.07  | Fade to Ghost |   15 | 2.4  |  0.0   | 5      | 5       | 0.5
Release   | 432   | 585    | Floating Sail    | 7.00  | Drift         |  -25 | 2.6  |  0.1   | 5      | 5       | 0.6
Release   | 468   | 560    | Fine             | 9.00  | -             |   50 | 3.0  |  0.8   | 5      | 5       | 0.5
Release   | 482   | 655    | Ghost            | 6.00  | -             |    0 | 2.0  |  0.0   | 5      | 5       | 0.8
Release   | 500   | 610    | Spool-Unspool    | 7.07  | -             |  -60 | 3.0  |  0.3   | 5      | 5       | 0.5
Release   | 530   | 620    | Filaments        | 8.07  | -             |   70 | 3.2  |  0.4   | 5      | 5       | 0.45
Release   | 560   | 635    | Rose             | 8.00  | -             |  -20 | 3.4  |  0.0   | 5      | 5       | 0.4
Release   | 590   | 645    | Ghost            | 7.00  | -             |   20 | 3.8  |  0.0   | 5      | 5       | 0.6
"""

# Overall loudness: the level of every voice is scaled by this before it becomes the voice's
# "gain" (whose square scales the output), so that the 32 voices together stay clear of
# clipping.
GAIN = 0.42


class Voice:
    def __init__(self, row):
        cells = [c.strip() for c in row.split("|")]
        (self.section, entry, exit, self.character, pitch, sequence, az, dist, height,
         attack, release, level) = cells
        self.entry, self.length = float(entry), float(exit) - float(entry)
        self.pitch = float(pitch)
        self.sequence = "" if sequence == "-" else sequence
        self.az, self.dist, self.height = float(az), float(dist), float(height)
        self.attack, self.release, self.level = float(attack), float(release), float(level)

    @property
    def end(self):
        return self.entry + self.length

    def check(self):
        assert self.character in presets.CHARACTERS, self.character
        assert self.length > self.attack, self.character
        assert not self.sequence or self.sequence in presets.SEQUENCES, self.sequence
        if self.sequence:
            # A sequence's first step sets the pitch the voice starts from.
            assert presets.SEQUENCES[self.sequence][0][0] == self.character, self.sequence
        # The voice's trigger fields are clamped to these ranges.
        assert 0 <= self.attack <= 5 and 0 <= self.release <= 5, self.character
        assert abs(self.pitch_shift()) <= 48 and 0 < self.level <= 1
        assert 0 <= self.pitch - math.floor(self.pitch) < 0.12 - 1e-9, self.pitch

    def pitch_shift(self):
        # "pitchShift" / 12 is added to the pitch in its notation, so a shift of twelve times
        # the difference of the two notations lands exactly on the wanted note.
        return 12.0 * (self.pitch - presets.CHARACTERS[self.character]["pitch"])

    def position(self):
        a = math.radians(self.az)
        return (self.dist * math.sin(a), self.height, -self.dist * math.cos(a))

    def line(self):
        x, y, z = self.position()
        fields = [
            "%g" % self.attack, "%g" % self.release,
            '"defaults/%s"' % self.character, '"%s"' % self.sequence,
            "%.4f" % self.pitch_shift(), "1", "%.4f" % (GAIN * self.level),
            "%.4f" % x, "%.4f" % y, "%.4f" % z, "1", "0", "0", "0", "0.6",
        ]
        return "@ %g %g %s %s" % (self.entry, self.length, VOICE, " ".join(fields))


def read_score():
    rows = [r for r in SCORE.strip().splitlines()[1:] if r.strip()]
    voices = [Voice(r) for r in rows]
    for v in voices:
        v.check()
    return sorted(voices, key=lambda v: v.entry)


def most_at_once(voices, busy):
    """The largest number of voices that overlap, each taking [entry, entry + busy(v))."""
    edges = sorted([(v.entry, 1) for v in voices] + [(v.entry + busy(v), -1) for v in voices],
                   key=lambda e: (e[0], e[1]))
    count = top = 0
    for _, step in edges:
        count += step
        top = max(top, count)
    return top


def check_form(voices):
    taken = most_at_once(voices, lambda v: v.length + v.release + FREE_MARGIN)
    assert taken <= VOICES, "the score needs %d voices at once" % taken
    sounding = most_at_once(voices, lambda v: v.length)
    assert sounding == VOICES, "the score reaches only %d voices at once" % sounding
    # No silence before the end: every moment until the last release is covered.
    covered = 0.0
    for v in voices:
        assert v.entry <= covered + 1.0, "silence before %g s" % v.entry
        covered = max(covered, v.end + v.release)
    assert abs(covered - LENGTH) < 1e-9, "the last release ends at %g s" % covered


def text(voices):
    return "t 60\n" + "".join(v.line() + "\n" for v in voices)


def main():
    voices = read_score()
    check_form(voices)
    with open(OUT, "w", newline="\n") as f:
        f.write(text(voices))
    return 0


if __name__ == "__main__":
    sys.exit(main())
