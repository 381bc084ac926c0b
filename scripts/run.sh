#!/usr/bin/env bash
# Builds ZENTHA and plays it. With no display it starts a virtual framebuffer and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target zentha
cd data
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec ../build/application/zentha "$@"
fi
echo "No display found: starting a virtual framebuffer (Xvfb) for ZENTHA."
echo "Watch it with a VNC viewer or take screenshots with: import -display \$DISPLAY -window root shot.png"
exec xvfb-run -a -s "-screen 0 1280x800x24 -noreset" ../build/application/zentha "$@"
