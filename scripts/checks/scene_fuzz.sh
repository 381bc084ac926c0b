#!/usr/bin/env bash
# Fuzzes a distributed scene's message consumer (voice triggers, frees and voice parameters
# from the network) for 30 seconds under AddressSanitizer and UndefinedBehaviorSanitizer. Any
# crash, leak, sanitizer report or lost voice fails.
set -euo pipefail
cd "$(dirname "$0")/../.."

out=build-fuzz-scene
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DZENTHA_FUZZ=ON -DZENTHA_TESTS=OFF -DZENTHA_BENCH=OFF \
  -DZENTHA_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS=-fno-sanitize-recover=all >/dev/null
cmake --build "$out" -j"$(nproc)" --target scene_fuzz
mkdir -p "$out/corpus"
cp fuzz/corpus/scene/* "$out/corpus/"

# Every refused message prints a line: close the target's stdout and stderr (libFuzzer keeps
# its own report stream).
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$out/fuzz/scene_fuzz" -max_total_time=30 -max_len=4096 -close_fd_mask=3 -print_final_stats=1 \
  -artifact_prefix="$out/" "$out/corpus"
echo "scene_fuzz: no findings"
