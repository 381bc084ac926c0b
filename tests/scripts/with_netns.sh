#!/usr/bin/env bash
# Runs a command in a network namespace of its own with only a loopback interface, so that a
# test may bind the fixed ports of the design (9010, 14000, 16987) whatever else runs on the
# machine, and nothing it sends leaves the namespace.
set -euo pipefail
if [ "$(id -u)" -eq 0 ]; then
  exec unshare --net sh -c 'ip link set lo up && exec "$@"' sh "$@"
fi
exec unshare --net --map-root-user sh -c 'ip link set lo up && exec "$@"' sh "$@"
