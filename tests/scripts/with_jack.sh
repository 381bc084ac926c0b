#!/usr/bin/env bash
# Runs a command beside a JACK server of its own on the dummy back end: a real audio device
# with no hardware. The server gets a unique name so parallel tests never share one; clients
# (libjack, and RtAudio through it) find it by JACK_DEFAULT_SERVER. The server's PID is
# exported as ZENTHA_JACKD_PID so that a test can take the server away under a running stream.
set -euo pipefail
name="zentha-test-$$"
log=$(mktemp -t jackd.XXXXXX.log)
export JACK_DEFAULT_SERVER="$name"
export JACK_NO_START_SERVER=1
setsid jackd --no-realtime -t 10000 -n "$name" -d dummy -r 44100 -p 512 -P 8 -C 2 -m >"$log" 2>&1 </dev/null &
jack_pid=$!
export ZENTHA_JACKD_PID="$jack_pid"
# The machine-wide JACK registry has eight server slots, and a server that dies without
# shutting down (a test may kill it) keeps its slot. Only a new server of the same name
# reclaims it, so one is started under that name and stopped cleanly.
release_slot() {
  setsid jackd --no-realtime -t 10000 -n "$name" -d dummy -r 44100 -p 512 >/dev/null 2>&1 </dev/null &
  local tidy=$!
  for _ in $(seq 100); do
    jack_lsp >/dev/null 2>&1 && break
    kill -0 "$tidy" 2>/dev/null || break
    sleep 0.05
  done
  kill -TERM "$tidy" 2>/dev/null || true
  wait "$tidy" 2>/dev/null || true
}
cleanup() {
  local clean=true
  if kill -TERM "$jack_pid" 2>/dev/null; then
    for _ in $(seq 50); do kill -0 "$jack_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -KILL "$jack_pid" 2>/dev/null; then clean=false; fi
  else
    clean=false
  fi
  wait "$jack_pid" 2>/dev/null || true
  $clean || release_slot
  # A server that was killed, and clients that never closed, leave their named semaphores and
  # sockets behind; they carry this server's unique name, so nobody else's are touched.
  rm -f /dev/shm/jack_"$name"_* /dev/shm/jack_sem.*_"$name"_* 2>/dev/null || true
  rm -f "$log"
}
trap cleanup EXIT
for _ in $(seq 100); do
  if jack_lsp >/dev/null 2>&1; then break; fi
  if ! kill -0 "$jack_pid" 2>/dev/null; then echo "jackd failed to start:"; cat "$log"; exit 1; fi
  sleep 0.05
done
jack_lsp >/dev/null 2>&1 || { echo "jackd did not come up:"; cat "$log"; exit 1; }
"$@"
