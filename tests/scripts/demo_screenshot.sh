#!/usr/bin/env bash
# Plays the piece's program on a virtual display of its own, photographs the whole screen the
# way a person would, and checks that the lit mesh is on it: many warm, orange-lit pixels
# inside the window, and shading (more than a handful of distinct warm colours).
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
  awk '$2 > 120 && $2 > $3 + 30 && $3 > $4 + 20 { warm += $1; shades++ }
       END {
         printf "warm pixels: %d in %d shades\n", warm, shades
         exit !(warm > 20000 && shades > 50)
       }'
