#!/usr/bin/env bash
# The atom's numbers under AddressSanitizer and UndefinedBehaviorSanitizer: every quantum
# number and setting at the ends of its range must run without an out-of-bounds read or
# undefined arithmetic.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build-atom-sanitize -DZENTHA_SANITIZE=address,undefined -DZENTHA_BENCH=OFF >/dev/null
cmake --build build-atom-sanitize -j2 --target wave_function_tests wave_superposition_tests \
  hydrogen_atom_tests hydrogen_visual_tests
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=halt_on_error=1
for t in wave_function_tests wave_superposition_tests hydrogen_atom_tests hydrogen_visual_tests; do
  "build-atom-sanitize/tests/application/$t" --gtest_brief=1
done
