#!/usr/bin/env bash
# Builds the preset, sequencer, recorder and synth sequence tests with ThreadSanitizer (only
# the sources they need) and runs them a few times over; any reported race fails the check.
set -euo pipefail
cd "$(dirname "$0")/../.."

out=build-tsan-presets
mkdir -p "$out"
clang++ -std=c++20 -g -O1 -fsanitize=thread -Isrc -Itests \
  tests/ui/test_preset_handler.cpp tests/ui/test_preset_morph.cpp \
  tests/ui/test_sequence_player.cpp tests/ui/test_sequencer_threads.cpp \
  tests/ui/test_sequence_recorder.cpp \
  tests/ui/test_sequence_synth.cpp \
  src/ui/vl_PresetHandler.cpp src/ui/vl_PresetFile.cpp src/ui/vl_PresetMap.cpp \
  src/ui/vl_PresetMorph.cpp src/ui/vl_PresetSequencer.cpp src/ui/vl_SequenceFile.cpp \
  src/ui/vl_SequenceTimeline.cpp src/ui/vl_SequenceRecorder.cpp \
  src/ui/vl_SequencerClock.cpp src/ui/vl_SynthSequence.cpp src/ui/vl_SynthSequencer.cpp \
  src/ui/vl_Parameter.cpp src/ui/vl_ParameterMeta.cpp src/ui/vl_ParameterField.cpp \
  src/ui/vl_ParameterBundle.cpp src/core/vl_File.cpp src/protocol/vl_OSC.cpp \
  src/protocol/vl_OSCPacket.cpp src/core/vl_Console.cpp \
  -lgtest -lgtest_main -loscpack -pthread -o "$out/preset_thread_tests"
TSAN_OPTIONS="halt_on_error=1 exitcode=66" "$out/preset_thread_tests" --gtest_repeat=3 \
  --gtest_brief=1
