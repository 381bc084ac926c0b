#!/usr/bin/env bash
# Runs a command beside two hosts of its own: network namespaces joined by a veth pair
# (10.213.7.1 and 10.213.7.2, a subnet of nobody else's), each knowing both host names from its
# own hosts file. The command finds them in HOST_PAIR_NS_A / HOST_PAIR_NS_B and
# HOST_PAIR_NAME_A / HOST_PAIR_NAME_B, and starts programs there with
# "ip netns exec NS unshare --uts ...". Everything is removed when the command ends. Needs root.
set -euo pipefail
a="zpair_a_$$" b="zpair_b_$$"
export HOST_PAIR_NS_A="$a" HOST_PAIR_NS_B="$b"
export HOST_PAIR_NAME_A=zentha-primary HOST_PAIR_NAME_B=zentha-replica
export HOST_PAIR_ADDR_A=10.213.7.1 HOST_PAIR_ADDR_B=10.213.7.2 HOST_PAIR_BROADCAST=10.213.7.255

cleanup() {
  ip netns del "$a" 2>/dev/null || true
  ip netns del "$b" 2>/dev/null || true
  rm -rf "/etc/netns/$a" "/etc/netns/$b"
}
trap cleanup EXIT

ip netns add "$a"
ip netns add "$b"
ip link add "va$$" netns "$a" type veth peer name "vb$$" netns "$b"
ip -n "$a" addr add "$HOST_PAIR_ADDR_A/24" dev "va$$"
ip -n "$b" addr add "$HOST_PAIR_ADDR_B/24" dev "vb$$"
for ns in "$a" "$b"; do
  ip -n "$ns" link set lo up
  mkdir -p "/etc/netns/$ns"
  printf '127.0.0.1 localhost\n%s %s\n%s %s\n' "$HOST_PAIR_ADDR_A" "$HOST_PAIR_NAME_A" \
    "$HOST_PAIR_ADDR_B" "$HOST_PAIR_NAME_B" >"/etc/netns/$ns/hosts"
done
ip -n "$a" link set "va$$" up
ip -n "$b" link set "vb$$" up

"$@"
