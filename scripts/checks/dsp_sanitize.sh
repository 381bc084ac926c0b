#!/usr/bin/env bash
# Builds Sonel and its tests with the address and undefined-behaviour sanitizers and runs them.
# Sonel depends on nothing else, so this compiles its sources directly, in build-dsp-sanitize/.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=build-dsp-sanitize
mkdir -p "$out"
flags=(-std=c++20 -O1 -g -Wall -Wextra -fsanitize=address,undefined -fno-sanitize-recover=all
  -fno-omit-frame-pointer -I. -Itests)
g++ "${flags[@]}" dsp/*.cpp tests/dsp/test_[!m]*.cpp -o "$out/dsp_tests" -lgtest -lgtest_main -pthread
g++ "${flags[@]}" dsp/*.cpp tests/dsp/test_master_domain.cpp -o "$out/dsp_master_domain_tests" \
  -lgtest -lgtest_main -pthread
"$out/dsp_tests" --gtest_brief=1
"$out/dsp_master_domain_tests" --gtest_brief=1
