#!/usr/bin/env bash
# Runs the program in a working directory holding a copy of the piece's data, waits for its
# OSCQuery server and drives the control page in Chromium. Run beside a display, a JACK server
# and in a network namespace of its own (for the fixed ports). Argument: the program.
set -euo pipefail
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp -r "$here/../../data/." "$dir/"
cd "$dir"
"$program" >out.log 2>err.log &
app=$!
for _ in $(seq 300); do
  grep -q "OSCQuery server on" out.log && break
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
rc=0
node --test-reporter=spec "$here/page_test.mjs" 9110 9010 "${ZENTHA_PAGE_SHOT:-$dir/page.png}" || rc=$?
kill -TERM "$app" 2>/dev/null || true
wait "$app" || { echo "the program ended with status $?"; rc=1; }
if [ "$rc" -ne 0 ]; then
  echo "--- program output"; tail -20 out.log; echo "--- errors"; tail -20 err.log
fi
exit "$rc"
