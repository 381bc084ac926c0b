#!/usr/bin/env python3
"""Writes the piece's presets, preset maps and preset sequences below data/.

    python3 data/tools/presets.py

Every file is written in the exact form the preset handler and the preset sequencer write:
addresses in byte-wise order, numbers with "%f", each value followed by a space. Running the
script again gives the same files. The characters are defined once, in CHARACTERS; the keyboard
set, the pitch of each key and the sequences are built from them.
"""

import math
import os
import sys

DATA = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
PRESETS = os.path.join(DATA, "hydrogen_presets")

# What a preset of the voice holds, with the value a character leaves as it is. Booleans and
# integers are written as "i", the drawing style as its menu text.
VOICE_DEFAULTS = {
    "polyX": 0.0, "polyY": 0.0, "polyZ": 0.0,
    "polyAlpha": 0.0, "polyBeta": 0.0, "polyGamma": 0.0,
    "polyRadius": 0.08, "polyRigid": 0.001, "polySmooth": 1.0, "polyVel": 0.01,
    "der": 0.02, "contour": 1.0, "zoom": 0.0, "lenEps": 0.0, "hueRotation": 0.0,
    "newColors": 1, "springForce": 1, "simulationSpeed": 1.0, "freeze": 0,
    "ResetOnLoad": 1, "ResetSpinorOnTrigger": 1, "mute": 0.0,
    "thick": 1.0, "howTranslucent": 0.2, "drawType": "ribbon",
    "pitch": 8.0, "curvatureCompensation": 0.0,
    "reson1R": 1.0, "reson1I": 0.0, "reson2R": 1.0, "reson2I": 0.0,
    "reson3R": 1.0, "reson3I": 0.0,
}
INTEGERS = {"newColors", "springForce", "freeze", "ResetOnLoad", "ResetSpinorOnTrigger"}
DRAW_TYPES = ("ribbon", "particles", "markers")


def negative_projection_gain(l, j):
    """How much louder the voice's angular functions make a state of negative projection than
    its mirror image: their normalisation is sqrt((l - m)!/(l + m)!) also for m < 0 while the
    Legendre function is taken at |m|, which makes such a component (l + |m|)!/(l - |m|)!
    times louder. The geometric mean over the state's two spin components."""
    m_up = math.trunc(j - 0.5 + (-1e-10 if j < 0.5 else 1e-10))
    gain, count = 1.0, 0
    for m in (m_up, m_up + 1):
        if -l <= m <= l:
            count += 1
            if m < 0:
                gain *= math.factorial(l - m) / math.factorial(l + m)
    return gain ** (1.0 / max(count, 1))


def state(n, l, J, j, f, w):
    """One eigenstate: quantum numbers n, l, total J = l +- 1/2, projection j, phase advance f
    in turns per step, weight w. A negative projection's weight is divided by its extra gain,
    so that a state and its mirror image weigh alike."""
    assert 1 <= n and 0 <= l < n and n + l <= 12 and l <= 5, (n, l)
    assert J in (l + 0.5, l - 0.5) and J > 0, (l, J)
    assert abs(j) <= J and (j - 0.5) == int(j - 0.5), (J, j)
    return {"n": n, "l": l, "J": J, "j": j, "f": f, "w": w / negative_projection_gain(l, j)}


OFF = {"n": 1, "l": 0, "J": 0.5, "j": 0.5, "f": 0.0, "w": 0.0}


def preset_values(character):
    """Every address of a voice preset with its type tag and value text."""
    values = dict(VOICE_DEFAULTS)
    values.update({k: v for k, v in character.items() if k not in ("states", "size")})
    if "size" in character:
        # The drawn ring radius is polyRadius / 2^zoom.
        values["zoom"] = math.log2(values["polyRadius"] / character["size"])
    states = list(character.get("states", ()))
    states += [OFF] * (3 - len(states))
    lines = {}
    for name, value in values.items():
        if name not in VOICE_DEFAULTS:
            raise KeyError("not a preset parameter: " + name)
        if name == "drawType":
            assert value in DRAW_TYPES, value
            lines["/" + name] = ("s", value)
        elif name in INTEGERS:
            lines["/" + name] = ("i", "%d" % int(value))
        else:
            lines["/" + name] = ("f", "%f" % value)
    for k, s in enumerate(states, 1):
        for name, value in s.items():
            lines["/wfs%d/%s" % (k, name)] = ("f", "%f" % value)
    return lines


def preset_text(name, lines):
    # Byte-wise order, as the handler writes it.
    out = ["::" + name]
    for address in sorted(lines, key=lambda a: a.encode()):
        tag, value = lines[address]
        out.append("%s %s %s " % (address, tag, value))
    out.append("::")
    return "\n".join(out) + "\n"


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="\n") as f:
        f.write(text)


# The nine default characters. Sampling radius (in units of the Bohr radius) is
# 10 x polyRadius whatever the zoom; the zoom only shrinks the drawn atom (by 2^zoom) so that a
# high state, sampled far out, keeps the size of a low one. Needles grow with the density the
# ring meets; "thick" lengthens them.
CHARACTERS = {
    # Five petals: the same state with its projection turned both ways on a ring tilted off
    # the equator, so that the spin-up parts (m = 2 and m = -3) interfere round it; a slight
    # difference in phase advance turns the flower slowly.
    "Flower": {
        "states": [state(4, 3, 3.5, 2.5, 0.0010, 1.0),
                   state(4, 3, 3.5, -2.5, 0.0013, 1.0),
                   state(2, 1, 1.5, 0.5, 0.0004, 0.25)],
        "polyRadius": 1.3, "size": 0.14, "polyBeta": 0.08, "polyVel": 0.01, "thick": 70.0,
        "howTranslucent": 0.45, "hueRotation": 0.12, "pitch": 8.00,
        "curvatureCompensation": 0.14,
    },
    # Hairs: separate needles of a high-l state crossed with a low-l one of the same shell,
    # drawn as lines on a small ring, with a tight spring so the ring stays smooth under them.
    "Filaments": {
        "states": [state(4, 3, 3.5, 0.5, 0.0007, 1.0),
                   state(4, 1, 1.5, -0.5, -0.0009, 0.7),
                   OFF],
        "polyRadius": 1.0, "size": 0.2, "polyBeta": 0.15, "polyVel": 0.006,
        "polyRigid": 0.002, "thick": 99.0, "drawType": "particles", "contour": 0.9,
        "newColors": 0, "pitch": 8.07, "curvatureCompensation": 0.1,
    },
    # Fine structure: the two levels J = l +- 1/2 of one high shell and a neighbour, sampled
    # far out; many small lobes on a small ring.
    "Fine": {
        "states": [state(7, 5, 5.5, 4.5, 0.0005, 1.0),
                   state(7, 5, 4.5, 3.5, -0.0006, 0.9),
                   state(3, 2, 2.5, 1.5, 0.0011, 0.5)],
        "polyRadius": 1.6, "size": 0.26, "polyBeta": 0.1, "polyVel": 0.004, "thick": 99.0,
        "drawType": "markers", "hueRotation": 0.55, "pitch": 9.00,
        "curvatureCompensation": 0.09,
    },
    # A low state with long needles on a wide ring, tilted and slow: a broad translucent band.
    "Floating Sail": {
        "states": [state(2, 1, 1.5, 1.5, 0.0003, 1.0),
                   state(1, 0, 0.5, -0.5, 0.0002, 0.3),
                   OFF],
        "polyRadius": 0.45, "size": 0.2, "polyBeta": 0.12, "polyVel": 0.004,
        "simulationSpeed": 0.5, "thick": 14.0, "howTranslucent": 0.35, "hueRotation": 0.6,
        "pitch": 7.00, "curvatureCompensation": 0.15,
    },
    # Pale and nearly transparent: s and p states of one shell, phase colours washed out.
    "Ghost": {
        "states": [state(3, 0, 0.5, 0.5, 0.0002, 1.0),
                   state(3, 1, 0.5, -0.5, -0.0003, 0.8),
                   OFF],
        "polyRadius": 0.9, "size": 0.2, "polyVel": 0.003, "simulationSpeed": 0.4,
        "thick": 80.0, "howTranslucent": 0.25, "newColors": 0, "contour": 0.5,
        "pitch": 6.07, "curvatureCompensation": 0.14,
    },
    # Two shells beating fast against each other: where they add, needles shoot out and
    # collapse again a moment later.
    "Momentary Spires": {
        "states": [state(2, 1, 1.5, 0.5, 0.011, 1.0),
                   state(3, 2, 2.5, 0.5, -0.013, 0.9),
                   OFF],
        "polyRadius": 0.6, "size": 0.08, "polyBeta": 0.2, "polyVel": 0.008, "thick": 14.0,
        "drawType": "particles", "hueRotation": 0.3, "pitch": 8.10,
        "curvatureCompensation": 0.08,
    },
    # Three petals (m = 2 against m = -2 in the two spin parts) in warm colours, nearly still.
    "Rose": {
        "states": [state(3, 2, 2.5, 1.5, 0.0006, 1.0),
                   state(3, 2, 2.5, -1.5, 0.0007, 1.0),
                   OFF],
        "polyRadius": 0.8, "size": 0.13, "polyVel": 0.008, "thick": 24.0,
        "howTranslucent": 0.5, "hueRotation": 0.93, "pitch": 8.03,
        "curvatureCompensation": 0.13,
    },
    # The same p state wound both ways with opposite phase advances: the relative phase turns
    # one way and back, winding the band up and letting it go.
    "Spool-Unspool": {
        "states": [state(3, 1, 1.5, 1.5, 0.0030, 1.0),
                   state(3, 1, 1.5, -1.5, -0.0030, 1.0),
                   state(2, 0, 0.5, 0.5, 0.0, 0.3)],
        "polyRadius": 0.8, "size": 0.15, "polyAlpha": 0.25, "polyBeta": 0.18,
        "polyVel": 0.01, "thick": 70.0, "howTranslucent": 0.3, "hueRotation": 0.4,
        "pitch": 7.07, "curvatureCompensation": 0.12,
    },
    # A strong probability current round a tilted ring, stepped twice a frame: it whirls.
    "Whirlwing": {
        "states": [state(3, 2, 2.5, 1.5, 0.0020, 1.0),
                   state(4, 3, 3.5, 1.5, 0.0012, 0.6),
                   OFF],
        "polyRadius": 0.9, "size": 0.16, "polyBeta": 0.2, "polyGamma": 0.1, "polyVel": 0.03,
        "simulationSpeed": 2.0, "thick": 60.0, "howTranslucent": 0.3, "hueRotation": 0.8,
        "pitch": 8.05, "curvatureCompensation": 0.13,
    },
}

DEFAULT_ORDER = ("Flower", "Filaments", "Fine", "Floating Sail", "Ghost", "Momentary Spires",
                 "Rose", "Spool-Unspool", "Whirlwing")


# The keyboard: keys 60 to 88 (middle C to the E two octaves and a third above) play their own
# equal-tempered pitch an octave below concert pitch, in the voice's notation (octave, then
# semitones above A in hundredths: key 69 is 8.00, 220 Hz; key 60 is 7.03). These are the
# pitches the "makePitchMapChromatic" map and every even step of "makePitchMap" hold. Each pitch
# class has its character: the notes of A minor pentatonic (A C D E G) the full-bodied ones,
# the others the pale and fine ones that colour them.
KEY_CHARACTERS = {
    0: "Flower", 1: "Ghost", 2: "Fine", 3: "Rose", 4: "Filaments", 5: "Whirlwing",
    6: "Ghost", 7: "Floating Sail", 8: "Fine", 9: "Filaments", 10: "Momentary Spires",
    11: "Spool-Unspool",
}
KEYS = range(60, 89)


def key_pitch(key):
    semitones = key - 69
    return 8 + semitones // 12 + 0.01 * (semitones % 12)


def key_preset_name(key):
    return "key%d %s" % (key, KEY_CHARACTERS[(key - 69) % 12])


# Morph targets for the preset sequences: each character without its pitch, so that a voice
# keeps the pitch it was started with while it glides from one character to the next (a glide of
# the pitch notation across an octave would sweep through every note above it), and without a
# ring reset, so that the shape flows instead of starting again.
def morph_name(character):
    return character + " morph"


# Preset sequences a voice plays while it sounds ("sequenceToPlay"): preset, morph time and
# wait time in seconds, at time scale 1. The first step is the whole character, which sets the
# voice's pitch; the rest are morph targets.
SEQUENCES = {
    "Bloom": [("Flower", 0, 20), ("Rose", 30, 20), ("Whirlwing", 30, 20), ("Flower", 30, 0)],
    "Drift": [("Floating Sail", 0, 20), ("Ghost", 40, 20), ("Spool-Unspool", 40, 20),
              ("Floating Sail", 40, 0)],
    "Crystallise": [("Filaments", 0, 15), ("Fine", 30, 15), ("Momentary Spires", 30, 15),
                    ("Filaments", 30, 0)],
    "Unwind": [("Spool-Unspool", 0, 20), ("Whirlwing", 30, 10), ("Flower", 30, 20),
               ("Ghost", 45, 0)],
    "Fade to Ghost": [("Rose", 0, 20), ("Floating Sail", 40, 20), ("Ghost", 60, 0)],
}

# The static voice's loudness and ribbon opacity ("gain", "howTranslucent"), and sequences of
# them for the second preset sequencer.
FX = {
    "veil": (0.45, 0.06),
    "soft": (0.55, 0.15),
    "full": (0.7, 0.3),
    "bright": (0.85, 0.6),
}
FX_SEQUENCES = {
    "swell": [("veil", 0, 5), ("full", 20, 10), ("bright", 10, 5), ("veil", 30, 0)],
    "breathe": [("soft", 0, 4), ("full", 6, 4), ("soft", 6, 0)],
}

# Where the static voice stands and how the scene spreads voices: "_pose" (position, then the
# orientation quaternion w x y z), "_size", and the placement parameters.
POSITION_DEFAULTS = {
    "spreadX": 0.2, "spreadY": 0.0, "spreadZ": 0.0, "planeRotation": 0.0,
    "lineRotation": 0.0, "planeElevation": 0.0, "randomX": 0.0, "randomY": 0.0,
    "randomZ": 0.0, "randomSize": 0.0,
}
POSITIONS = {
    "centre": {"pose": (0, 0, 0, 1, 0, 0, 0), "size": 1.0},
    "near": {"pose": (0, 0, 0.4, 1, 0, 0, 0), "size": 0.8},
    "raised": {"pose": (0, 0.25, -0.3, 0.9914449, 0.1305262, 0, 0), "size": 1.2},
    "line": {"pose": (0, 0, 0, 1, 0, 0, 0), "size": 0.7, "spreadX": 1.5, "randomY": 0.1},
    "plane": {"pose": (0, 0, 0, 1, 0, 0, 0), "size": 0.7, "spreadX": 1.5, "spreadZ": 1.5,
              "planeElevation": 15.0, "randomX": 0.2, "randomZ": 0.2, "randomSize": 0.3},
    "cloud": {"pose": (0, 0, 0, 1, 0, 0, 0), "size": 0.6, "spreadX": 2.0, "spreadY": 1.0,
              "spreadZ": 2.0, "randomX": 0.6, "randomY": 0.6, "randomZ": 0.6,
              "randomSize": 0.5},
}


def map_text(entries):
    return "".join("%d:%s\n" % (i, entries[i]) for i in sorted(entries)) + "::\n"


def sequence_text(steps, variant=lambda name, first: name):
    lines = []
    for k, (name, morph, wait) in enumerate(steps):
        lines.append("%s:%f:%f" % (variant(name, k == 0), morph, wait))
    return "\n".join(lines) + "\n::\n"


def character_lines(name, **changes):
    character = dict(CHARACTERS[name])
    character.update(changes)
    return preset_values(character)


def write_voice_presets():
    # The characters themselves at the top, for the start-up recall and the sequences.
    entries = {}
    for index, name in enumerate(DEFAULT_ORDER):
        write(os.path.join(PRESETS, name + ".preset"), preset_text(name, character_lines(name)))
        entries[index] = name
        morph = morph_name(name)
        lines = character_lines(name, ResetOnLoad=0)
        del lines["/pitch"]
        write(os.path.join(PRESETS, morph + ".preset"), preset_text(morph, lines))
    for key in KEYS:
        name = key_preset_name(key)
        character = KEY_CHARACTERS[(key - 69) % 12]
        write(os.path.join(PRESETS, name + ".preset"),
              preset_text(name, character_lines(character, pitch=key_pitch(key))))
        entries[key] = name
    write(os.path.join(PRESETS, "default.presetMap"), map_text(entries))
    for name, steps in SEQUENCES.items():
        assert steps[0][1] == 0, name
        write(os.path.join(PRESETS, name + ".sequence"),
              sequence_text(steps, lambda p, first: p if first else morph_name(p)))


def write_fx_presets():
    folder = os.path.join(PRESETS, "fx")
    entries = {}
    for index, (name, (gain, translucent)) in enumerate(FX.items()):
        lines = {"/gain": ("f", "%f" % gain), "/howTranslucent": ("f", "%f" % translucent)}
        write(os.path.join(folder, name + ".preset"), preset_text(name, lines))
        entries[index] = name
    write(os.path.join(folder, "default.presetMap"), map_text(entries))
    for name, steps in FX_SEQUENCES.items():
        write(os.path.join(folder, name + ".sequence"), sequence_text(steps))


def write_position_presets():
    folder = os.path.join(PRESETS, "position")
    entries = {}
    for index, (name, position) in enumerate(POSITIONS.items()):
        values = dict(POSITION_DEFAULTS)
        values.update({k: v for k, v in position.items() if k not in ("pose", "size")})
        assert set(values) == set(POSITION_DEFAULTS), name
        lines = {"/" + k: ("f", "%f" % v) for k, v in values.items()}
        lines["/_pose"] = ("fffffff", " ".join("%f" % v for v in position["pose"]))
        lines["/_size"] = ("f", "%f" % position["size"])
        write(os.path.join(folder, name + ".preset"), preset_text(name, lines))
        entries[index] = name
    write(os.path.join(folder, "default.presetMap"), map_text(entries))


def main():
    assert tuple(sorted(CHARACTERS)) == tuple(sorted(DEFAULT_ORDER))
    for name in DEFAULT_ORDER:
        write(os.path.join(PRESETS, "defaults", name + ".preset"),
              preset_text(name, preset_values(CHARACTERS[name])))
    # The sub-folder has its own (empty) map, so that a handler pointed at it finds one.
    write(os.path.join(PRESETS, "defaults", "default.presetMap"), map_text({}))
    write_voice_presets()
    write_fx_presets()
    write_position_presets()
    return 0


if __name__ == "__main__":
    sys.exit(main())
