#!/usr/bin/env bash
# Checks the atom probe from the outside: the shape of its output, that it is deterministic,
# that the parameters reach the atom, and that bad input is refused with a message.
set -euo pipefail
probe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

states="wfs1/n=3 wfs1/l=2 wfs1/J=2.5 wfs1/j=0.5 wfs1/f=0.002 wfs1/w=1
        wfs2/n=4 wfs2/l=1 wfs2/J=1.5 wfs2/j=-0.5 wfs2/f=-0.001 wfs2/w=0.8
        wfs3/n=2 wfs3/l=1 wfs3/J=0.5 wfs3/j=0.5 wfs3/f=0.003 wfs3/w=0.6"

# Shape: eight lines "i x y z a b c d" for i = 0, 64, ..., 448, all finite numbers, and the
# three states give a non-zero spinor.
"$probe" $states >"$dir/a"
awk 'NF != 8 || $1 != (NR - 1) * 64 { print "bad line " NR ": " $0; bad = 1 }
     { for (f = 2; f <= 8; ++f) if ($f !~ /^-?[0-9.]+(e[-+][0-9]+)?$/) { print "not finite: " $f; bad = 1 } }
     { for (f = 5; f <= 8; ++f) if ($f != 0) live = 1 }
     END { if (NR != 8) { print NR " lines"; bad = 1 }; if (!live) { print "all spinors zero"; bad = 1 }; exit bad }' \
  "$dir/a" || fail "output shape"

# Deterministic; more frames move the ring on.
"$probe" --frames 60 $states >"$dir/b"
cmp -s "$dir/a" "$dir/b" || fail "two runs with the same input differ"
"$probe" --frames 61 $states >"$dir/c"
cmp -s "$dir/a" "$dir/c" && fail "one more frame changed nothing"

# Parameters reach the atom: one frame of a still ring of radius 0.5 (zoom 0: scale 10) puts
# particle 0 at (0.5, 0, 0) and particle 128 a quarter turn on; without states every spinor is 0.
"$probe" --frames 1 polyRadius=0.5 polyVel=0 polySmooth=0 polyRigid=0 >"$dir/d"
awk '$1 == 0 && !($2 == 0.5 && $3 == 0 && $4 == 0) { print "particle 0: " $0; bad = 1 }
     $1 == 128 && !($2 < 1e-12 && $2 > -1e-12 && $3 == 0.5) { print "particle 128: " $0; bad = 1 }
     { for (f = 5; f <= 8; ++f) if ($f != 0) { print "spinor without states: " $0; bad = 1 } }
     END { exit bad }' "$dir/d" || fail "ring placement"
# The resonances set the phases the atom starts from: a phase of -1 turns the spinors over.
"$probe" --frames 1 $states reson1R=-1 reson2R=-1 reson3R=-1 >"$dir/e"
"$probe" --frames 1 $states >"$dir/f"
paste -d' ' "$dir/e" "$dir/f" |
  awk '{ for (f = 5; f <= 8; ++f) { d = $f + $(f + 8); if (d > 1e-15 || d < -1e-15) { print; bad = 1 } } }
       END { exit bad }' || fail "resonances"

# Bad input: non-zero exit and a message naming the problem.
expect_refusal() {
  local what=$1 pattern=$2
  shift 2
  if "$probe" "$@" >"$dir/out" 2>"$dir/err"; then fail "$what accepted"; fi
  grep -q -- "$pattern" "$dir/err" || { cat "$dir/err"; fail "$what: no message matching $pattern"; }
  [ ! -s "$dir/out" ] || fail "$what printed particles"
}
expect_refusal "unknown name" 'unknown parameter "wfs4/n"' wfs4/n=2
expect_refusal "unknown name" 'unknown parameter "polyradius"' polyradius=0.1
expect_refusal "text value" 'not a finite number' polyRadius=abc
expect_refusal "empty value" 'not a finite number' polyRadius=
expect_refusal "NaN value" 'not a finite number' wfs1/n=nan
expect_refusal "value out of range" 'outside its range' wfs1/n=100
expect_refusal "missing =" 'expected NAME=VALUE' polyRadius
expect_refusal "bad frame count" 'frames' --frames -3
expect_refusal "missing frame count" 'frames' --frames
echo "atom probe: all checks passed"
