#!/usr/bin/env bash
# Plays the piece's program on a virtual display of its own, photographs the whole screen the
# way a person would, and checks that the atom is on it: thousands of brightly coloured pixels
# on the black background, in many shades (the ribbon's colours blend into its dark tails), and
# in the atom's own hues: its fixed superposition colours it green, cyan and yellow, so green
# leads in nearly all of them. A ribbon drawn in one flat colour, or white, or not at all fails.
set -euo pipefail
program=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp -noreset" bash -c '
  "$1" >"$2/out.log" 2>&1 &
  app=$!
  sleep 5
  import -window root "$2/shot.png"
  kill -TERM $app 2>/dev/null || true
  wait $app 2>/dev/null || true
' _ "$program" "$dir"

[ -s "$dir/shot.png" ] || { echo "no screenshot taken"; cat "$dir/out.log"; exit 1; }
# One line per distinct colour: "count: (r,g,b) ...".
convert "$dir/shot.png" -format %c histogram:info:- |
  sed -E 's/^ *([0-9]+): \( *([0-9]+), *([0-9]+), *([0-9]+).*/\1 \2 \3 \4/' |
  awk '{ hi = $2; if ($3 > hi) hi = $3; if ($4 > hi) hi = $4
         lo = $2; if ($3 < lo) lo = $3; if ($4 < lo) lo = $4 }
       hi > 80 && hi - lo > 40 { coloured += $1; shades++; if ($3 >= $2 && $3 >= $4) green += $1 }
       END {
         printf "coloured pixels: %d in %d shades, %d of them green-led\n", coloured, shades, green
         exit !(coloured > 5000 && coloured < 300000 && shades > 1000 && green > 0.8 * coloured)
       }'
