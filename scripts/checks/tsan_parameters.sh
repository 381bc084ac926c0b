#!/usr/bin/env bash
# Builds the parameter concurrency test with ThreadSanitizer (only the sources it needs) and
# runs it; any reported race fails the check.
set -euo pipefail
cd "$(dirname "$0")/../.."

out=build-tsan
mkdir -p "$out"
clang++ -std=c++20 -g -O1 -fsanitize=thread -Isrc -Itests \
  tests/ui/test_parameter_threads.cpp src/ui/vl_Parameter.cpp src/ui/vl_ParameterMeta.cpp \
  src/ui/vl_ParameterField.cpp src/protocol/vl_OSC.cpp src/protocol/vl_OSCPacket.cpp \
  src/protocol/vl_OSCRecv.cpp src/core/vl_Console.cpp \
  -lgtest -lgtest_main -loscpack -pthread -o "$out/parameter_thread_tests"
TSAN_OPTIONS="halt_on_error=1 exitcode=66" "$out/parameter_thread_tests"
