#!/usr/bin/env bash
# Runs the synth and scene tests under ThreadSanitizer: triggers, the clock thread, the update
# pool and the audio pass share the voice lists without locks on the audio side; the synth
# sequencer's preparation thread hands voices to the audio block through a lock-free ring.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENTHA_SANITIZE=thread \
  -DZENTHA_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$(nproc)" --target polysynth_tests scene_tests scene_realtime_tests \
  synth_sequencer_polysynth_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
build-tsan/tests/sound/polysynth_tests
build-tsan/tests/sound/scene_tests
build-tsan/tests/sound/scene_realtime_tests
build-tsan/tests/ui/synth_sequencer_polysynth_tests --gtest_repeat=3
