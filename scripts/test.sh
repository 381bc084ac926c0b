#!/usr/bin/env bash
# Builds ZENTHA and runs the whole test suite: unit and integration tests under CTest (each
# starting the virtual display or JACK server it needs), then the sanitizer and fuzz checks.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

# Further checks (sanitizer builds, fuzzing) live one per script in scripts/checks.
shopt -s nullglob
for check in scripts/checks/*.sh; do
  echo "== $check"
  bash "$check"
done
echo "All tests and checks passed."
