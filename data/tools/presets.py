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


def main():
    assert tuple(sorted(CHARACTERS)) == tuple(sorted(DEFAULT_ORDER))
    for name in DEFAULT_ORDER:
        write(os.path.join(PRESETS, "defaults", name + ".preset"),
              preset_text(name, preset_values(CHARACTERS[name])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
