#!/usr/bin/env bash
# Plays the piece's program on a virtual display of its own with no data at all (an empty
# working directory), photographs the whole screen the way a person would, and checks that it
# still runs and shows its title panel: thousands of near-white text pixels on black. The atom
# and its sound, with presets, are checked by tests/application/test_zentha_program.cpp.
# A loaded machine may take a while to the first frames: photographs are taken for up to 40 s.
set -euo pipefail
program=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

cd "$dir"
xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp -noreset" bash -c '
  "$1" >"$2/out.log" 2>&1 &
  app=$!
  for i in $(seq 20); do
    sleep 2
    import -window root "$2/shot.png" || continue
    # One line per distinct colour: "count: (r,g,b) ...".
    convert "$2/shot.png" -format %c histogram:info:- |
      sed -E "s/^ *([0-9]+): \( *([0-9]+), *([0-9]+), *([0-9]+).*/\1 \2 \3 \4/" |
      awk "\$2 > 200 && \$3 > 200 && \$4 > 200 { white += \$1 }
           END { printf \"white pixels: %d\n\", white; exit !(white > 2000) }" > "$2/white.txt" &&
      break
  done
  kill -TERM $app 2>/dev/null || true
  wait $app 2>/dev/null || true
' _ "$program" "$dir"

[ -s "$dir/shot.png" ] || { echo "no screenshot taken"; cat "$dir/out.log"; exit 1; }
cat "$dir/white.txt"
grep -q . "$dir/white.txt" && awk '{ exit !($3 > 2000) }' "$dir/white.txt" || { cat "$dir/out.log"; exit 1; }
