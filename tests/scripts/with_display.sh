#!/usr/bin/env bash
# Runs a command on a virtual X server of its own with Mesa's software OpenGL, so tests
# that need a window never depend on (or disturb) the user's display.
set -euo pipefail
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp -noreset" "$@"
