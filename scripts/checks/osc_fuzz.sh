#!/usr/bin/env bash
# Fuzzes the path from received datagram bytes to handled OSC messages for 60 seconds under
# AddressSanitizer and UndefinedBehaviorSanitizer. Any crash, leak or sanitizer report fails.
set -euo pipefail
cd "$(dirname "$0")/../.."

out=build-fuzz
mkdir -p "$out/corpus"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc fuzz/osc_fuzz.cpp src/protocol/vl_OSC.cpp src/core/vl_Console.cpp -loscpack -pthread -o "$out/osc_fuzz"
cp fuzz/corpus/osc/* "$out/corpus/"

# The target prints every message and error; close its stdout and stderr (libFuzzer keeps
# its own report stream) so that the run is not spent writing.
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$out/osc_fuzz" -max_total_time=60 -max_len=4096 -close_fd_mask=3 -print_final_stats=1 \
  -artifact_prefix="$out/" "$out/corpus"
echo "osc_fuzz: no findings"
