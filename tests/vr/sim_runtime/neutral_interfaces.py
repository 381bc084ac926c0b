#!/usr/bin/env python3
"""Writes a header of classes that implement OpenVR interfaces with neutral results.

Usage: neutral_interfaces.py openvr.h out.hpp IVRSystem:NeutralSystem ...
Every pure virtual method of each named interface becomes an override returning its type's
value-initialised result, so a runtime overrides only the methods it simulates.
"""
import re
import sys


def methods(text, interface):
    start = re.search(r"\bclass\s+%s\b[^;{]*\{" % interface, text).end()
    depth, end = 1, start
    while depth:
        depth += {"{": 1, "}": -1}.get(text[end], 0)
        end += 1
    body = re.sub(r"/\*.*?\*/|//[^\n]*", "", text[start:end - 1], flags=re.S)
    return [" ".join(m.split()) for m in re.findall(r"virtual\s[^;]*?=\s*0\s*;", body)]


def main():
    header, out = sys.argv[1], sys.argv[2]
    text = open(header).read()
    # The header's own types are named unqualified in its declarations.
    lines = ["// Generated from openvr.h by neutral_interfaces.py; do not edit.", "#pragma once",
             "#include <openvr.h>", "using namespace vr;",
             '#pragma GCC diagnostic ignored "-Wunused-parameter"', ""]
    for pair in sys.argv[3:]:
        interface, name = pair.split(":")
        lines.append("class %s : public vr::%s {\n public:" % (name, interface))
        for m in methods(text, interface):
            decl = re.sub(r"\s*=\s*0\s*;$", "", m)[len("virtual "):]
            void = re.match(r"void\s+\w", decl) is not None
            lines.append("  %s override { %s}" % (decl, "" if void else "return {}; "))
        lines.append("};\n")
    open(out, "w").write("\n".join(lines))


main()
