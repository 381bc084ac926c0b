#!/usr/bin/env bash
# The OSCQuery server announces itself over mDNS: an instance runs beside a D-Bus system bus and
# an Avahi daemon of the test's own, in network and mount namespaces of their own (so neither
# the machine's daemons nor another test's are seen), and avahi-browse must find it.
# Argument: the oscquery_instance program.
set -euo pipefail
if [ -z "${OSCQUERY_MDNS_INSIDE:-}" ]; then
  exec env OSCQUERY_MDNS_INSIDE=1 unshare --net --mount --propagation private "$0" "$@"
fi
instance=$1
ip link set lo up
# mDNS needs a multicast interface; this one leads nowhere outside the namespace.
ip link add zq0 type veth peer name zq1
ip addr add 192.0.2.1/24 dev zq0
ip link set zq1 up
ip link set zq0 up
for d in /run/dbus /run/avahi-daemon; do
  mkdir -p "$d"
  mount -t tmpfs tmpfs "$d"
done
bus=$(dbus-daemon --system --fork --nopidfile --print-pid)
avahi-daemon --no-drop-root --no-rlimits -D
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  avahi-daemon -k 2>/dev/null || true
  [ -n "${bus:-}" ] && kill "$bus" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do avahi-daemon --check 2>/dev/null && break; sleep 0.1; done

fifo=$(mktemp -u)
mkfifo "$fifo"
"$instance" 9010 <"$fifo" >/dev/null &
pids+=($!)
exec 3>"$fifo"
rm -f "$fifo"

found=""
for _ in $(seq 50); do
  found=$(avahi-browse -rpt _oscjson._tcp 2>/dev/null | grep '^=' | grep 'oscquery_instance' || true)
  [ -n "$found" ] && break
  sleep 0.2
done
echo "$found"
echo quit >&3
exec 3>&-
wait "${pids[0]}"
pids=()
# Resolved entries: =;iface;proto;name;type;domain;host;address;port;txt
if ! grep -q ';_oscjson._tcp;local;.*;9110;' <<<"$found"; then
  echo "the OSCQuery server was not announced on port 9110" >&2
  exit 1
fi
echo "1 passed, 0 failed"
