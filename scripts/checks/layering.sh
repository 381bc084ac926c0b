#!/usr/bin/env bash
# Fails when a file of the libraries includes a layer above its own. The order is written once,
# here; a layer may include itself and anything below it.
set -euo pipefail
cd "$(dirname "$0")/../.."

python3 - <<'PY'
import pathlib, re, sys

# Bottom to top. src/protocol holds two layers: the OSC messaging layer low down, and the
# servers built on parameters and domains high up; the servers are named here, every other
# file in the folder belongs to the messaging layer.
ORDER = ["dsp", "core", "math", "osc", "ui", "graphics", "io", "vr", "sound", "servers", "app",
         "application"]
SAME = {"math": "core", "vr": "io"}  # layers that stand side by side
SERVERS = re.compile(r"vl_(OSCDomain|OSCNotifier|ParameterServer|ParameterAddressTable|PresetServer"
                     r"|DistributedScene"
                     r"|OSCQuery\w*)\.(hpp|cpp)$")

def rank(layer):
    return ORDER.index(SAME.get(layer, layer))

def layer_of_file(path):
    parts = path.parts
    if parts[0] in ("dsp", "application"):
        return parts[0]
    folder = parts[1]
    if folder == "protocol":
        return "servers" if SERVERS.search(path.name) else "osc"
    return folder

def layer_of_include(inc, here):
    parts = inc.split("/")
    if len(parts) == 1:
        return layer_of_file(here.parent / inc)
    if parts[0] == "protocol":
        return "servers" if SERVERS.search(parts[-1]) else "osc"
    if parts[0] in ORDER or parts[0] in SAME:
        return parts[0]
    return None  # third-party or test support

include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
files = [p for top in ("dsp", "src", "application") for p in pathlib.Path(top).rglob("*")
         if p.suffix in (".hpp", ".cpp", ".h")]
bad = []
for f in sorted(files):
    mine = layer_of_file(f)
    if mine not in ORDER and mine not in SAME:
        bad.append(f"{f}: folder '{mine}' has no place in the layer order")
        continue
    for n, line in enumerate(f.read_text(errors="replace").splitlines(), 1):
        m = include.match(line)
        if not m:
            continue
        theirs = layer_of_include(m.group(1), f)
        if theirs and rank(theirs) > rank(mine):
            bad.append(f"{f}:{n}: layer '{mine}' includes '{m.group(1)}' of layer '{theirs}' above it")
for b in bad:
    print(b)
if bad:
    sys.exit(1)
print(f"layering: {len(files)} files, every include points down or sideways")
PY
