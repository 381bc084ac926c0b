#!/usr/bin/env bash
# The atom's numbers under AddressSanitizer and UndefinedBehaviorSanitizer: every quantum
# number and setting at the ends of its range must run without an out-of-bounds read or
# undefined arithmetic.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/checks/lib/asan_build.sh
tests=(wave_function_tests wave_superposition_tests hydrogen_atom_tests hydrogen_visual_tests)
asan_build "${tests[@]}"
export ASAN_OPTIONS=halt_on_error=1
for t in "${tests[@]}"; do
  "$asan_dir/tests/application/$t" --gtest_brief=1
done
