#!/usr/bin/env bash
# The threaded parts under ThreadSanitizer, from one instrumented build of the whole tree:
# parameters read wait-free while written; presets, sequencers and the recorder started and
# stopped from any thread; triggers, the clock thread, the update pool and the audio pass sharing
# the voice lists without locks on the audio side; the synth sequencer's preparation thread
# handing voices to the audio block through a lock-free ring; two mirrored scenes exchanging
# voice events over loopback; the voice's wavetable handed from its frames to its audio block;
# the parameter server dispatching while parameters change, listeners come and go and its
# receiver is replaced; state records joined on a receive thread and applied by the frame; the
# OSCQuery server serving, pushing and setting while an outside client drives it. Any report
# fails the check.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENTHA_SANITIZE=thread \
  -DZENTHA_BENCH=OFF >/dev/null
tests=(ui/parameter_thread_tests application/app_parameter_tests
  ui/preset_handler_tests ui/preset_sequencer_tests ui/sequence_recorder_tests
  ui/synth_sequence_tests ui/synth_sequencer_polysynth_tests
  sound/polysynth_tests sound/scene_tests sound/scene_realtime_tests
  protocol/distributed_scene_tests application/hydrogen_voice_tests
  protocol/parameter_server_tests protocol/preset_server_tests app/state_distribution_tests)
cmake --build build-tsan -j"$(nproc)" --target "${tests[@]##*/}" oscquery_instance
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1"
for t in "${tests[@]}"; do
  echo "-- $t"
  repeat=1
  case "$t" in ui/preset* | ui/sequence* | ui/synth*) repeat=3 ;; esac
  "build-tsan/tests/$t" --gtest_repeat=$repeat --gtest_brief=1
done
echo "-- protocol/oscquery_instance"
tests/scripts/with_netns.sh /usr/bin/python3 tests/protocol/oscquery_client.py \
  build-tsan/tests/protocol/oscquery_instance
