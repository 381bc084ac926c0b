#!/usr/bin/env bash
# Builds the application parameter tests with ThreadSanitizer (only the sources they need) and
# runs them; any reported race fails the check.
set -euo pipefail
cd "$(dirname "$0")/../.."

out=build-tsan
mkdir -p "$out"
clang++ -std=c++20 -g -O1 -fsanitize=thread -I. -Isrc -Itests/application \
  tests/application/test_wave_function_parameters.cpp \
  tests/application/test_app_parameter_rules.cpp \
  application/AtomParameters.cpp application/WaveFunctionParameters.cpp \
  application/AppParameters.cpp \
  src/ui/vl_Parameter.cpp src/ui/vl_ParameterMeta.cpp src/ui/vl_ParameterField.cpp \
  src/protocol/vl_OSC.cpp src/protocol/vl_OSCPacket.cpp src/core/vl_Console.cpp \
  -lgtest -lgtest_main -loscpack -pthread -o "$out/app_parameter_tests"
TSAN_OPTIONS="halt_on_error=1 exitcode=66" "$out/app_parameter_tests"
