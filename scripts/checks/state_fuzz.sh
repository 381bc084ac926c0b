#!/usr/bin/env bash
# Fuzzes the reassembly of state records (fragments, repairs, records overtaking one another,
# changed and cut datagrams) for 20 seconds under AddressSanitizer and
# UndefinedBehaviorSanitizer. Any crash, leak, sanitizer report or record built from genuine
# datagrams that nobody sent fails.
set -euo pipefail
cd "$(dirname "$0")/../.."

out=build-fuzz
mkdir -p "$out/state-corpus"
sources=(fuzz/state_fuzz.cpp src/app/vl_StateAssembler.cpp src/app/vl_StateFragmenter.cpp
  src/protocol/vl_OSC.cpp src/protocol/vl_OSCPacket.cpp src/core/vl_Console.cpp)
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc "${sources[@]}" -loscpack -pthread -o "$out/state_fuzz"
# A start: every datagram of the first record once, in order.
if [ -z "$(ls -A "$out/state-corpus")" ]; then
  for i in $(seq 0 15); do printf '\x00\x%02x\x00\x00' "$i"; done >"$out/state-corpus/in-order"
fi
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$out/state_fuzz" -max_total_time=20 -max_len=4096 -close_fd_mask=3 -print_final_stats=1 \
  -artifact_prefix="$out/" "$out/state-corpus"
echo "state_fuzz: no findings"
