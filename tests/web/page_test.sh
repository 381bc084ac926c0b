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
# Starts the program and waits for its OSCQuery server.
start_program() {
  "$program" >out.log 2>err.log &
  app=$!
  for _ in $(seq 300); do
    grep -q "OSCQuery server on" out.log && break
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
  done
}
stop_program() {
  kill -TERM "$app" 2>/dev/null || true
  wait "$app" || { echo "the program ended with status $?"; rc=1; }
  if [ "$rc" -ne 0 ]; then
    echo "--- program output"; tail -20 out.log; echo "--- errors"; tail -20 err.log
    exit "$rc"
  fi
}
rc=0

# A node table: this host, the primary, and a renderer at 127.0.0.2, which the page shows as
# seen once a message from that address has arrived.
cat >distributed_app.toml <<TABLE
[[node]]
host = "$(hostname)"
rank = 0
group = 0
role = "desktop"

[[node]]
host = "127.0.0.2"
rank = 1
group = 0
role = "renderer"
TABLE
nodes_seen() {
  /usr/bin/python3 - <<'PY'
import json, urllib.request
state = json.load(urllib.request.urlopen("http://127.0.0.1:9110/_state", timeout=5))
print("\n".join(f"{n['name']}={n['seen']}" for n in state["piece"]["nodes"]))
PY
}

start_program
node "$here/page_test.mjs" 9110 9010 "${ZENTHA_PAGE_SHOT:-$dir/page.png}" || rc=$?
seen=$(nodes_seen)
grep -qx "127.0.0.2=False" <<<"$seen" && grep -qx "$(hostname)=True" <<<"$seen" ||
  { echo "nodes before: $seen"; rc=1; }
/usr/bin/python3 -c '
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.2", 0))
s.sendto(b"/nothing\0\0\0\0,\0\0\0", ("127.0.0.1", 9010))'
sleep 0.5
seen=$(nodes_seen)
grep -qx "127.0.0.2=True" <<<"$seen" || { echo "nodes after: $seen"; rc=1; }
stop_program

# The host's configuration, written by the first run, now limits the server to the loopback
# interface and asks for a token to change anything.
config=$(hostname).toml
grep -q '^oscQueryLoopbackOnly = 0' "$config" && grep -q '^oscQueryToken = ""' "$config" ||
  { echo "no OSCQuery settings in $config:"; cat "$config"; exit 1; }
sed -i -e 's/^oscQueryLoopbackOnly = 0/oscQueryLoopbackOnly = 1/' \
  -e 's/^oscQueryToken = ""/oscQueryToken = "page-secret"/' "$config"
start_program
grep -q "OSCQuery server on http://127.0.0.1:9110/" out.log || { echo "not on loopback"; rc=1; }
listening=$(ss -ltnH 'sport = :9110' | awk '{print $4}')
[ "$listening" = "127.0.0.1:9110" ] || { echo "listening on: $listening"; rc=1; }
PAGE_TOKEN=page-secret node "$here/page_test.mjs" 9110 9010 "$dir/token.png" ||
  rc=$?
stop_program
echo "2 passed, 0 failed"
