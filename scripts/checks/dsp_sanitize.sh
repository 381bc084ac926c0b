#!/usr/bin/env bash
# Builds Sonel and its tests with the address and undefined-behaviour sanitizers and runs them.
# Sonel depends on nothing else, so this compiles its sources directly, in build-dsp-sanitize/.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=build-dsp-sanitize
mkdir -p "$out"
export FLAGS="-std=c++20 -O1 -g -Wall -Wextra -fsanitize=address,undefined -fno-sanitize-recover=all
  -fno-omit-frame-pointer -I. -Itests"
export OUT=$out
# One object per source, compiled in parallel and only when the source is newer.
ls dsp/*.cpp tests/dsp/test_*.cpp | xargs -P "$(nproc)" -I{} bash -c '
  o="$OUT/$(basename {} .cpp).o"
  if [ ! -e "$o" ] || [ {} -nt "$o" ] || [ -n "$(find dsp tests/dsp -name "*.hpp" -newer "$o")" ]; then
    g++ $FLAGS -c {} -o "$o"
  fi'
libs=(-fsanitize=address,undefined -lgtest -lgtest_main -pthread)
dspobjs=()
for f in dsp/*.cpp; do dspobjs+=("$out/$(basename "$f" .cpp).o"); done
testobjs=()
for f in tests/dsp/test_*.cpp; do
  case "$f" in *test_master_domain.cpp) ;; *) testobjs+=("$out/$(basename "$f" .cpp).o") ;; esac
done
g++ "${dspobjs[@]}" "${testobjs[@]}" -o "$out/dsp_tests" "${libs[@]}"
g++ "${dspobjs[@]}" "$out/test_master_domain.o" -o "$out/dsp_master_domain_tests" "${libs[@]}"
"$out/dsp_tests" --gtest_brief=1
"$out/dsp_master_domain_tests" --gtest_brief=1
