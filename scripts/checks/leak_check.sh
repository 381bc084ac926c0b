#!/usr/bin/env bash
# Leak checking (LeakSanitizer, with AddressSanitizer) over the main test programs and an offline
# render of the coda, from the shared instrumented build: an installation runs for days,
# so memory that is lost at exit is lost again every time the same path runs.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/checks/lib/asan_build.sh
tests=(ui/preset_handler_tests ui/sequence_recorder_tests ui/synth_sequence_tests
  sound/polysynth_tests protocol/parameter_server_tests app/toml_loader_tests
  application/hydrogen_voice_tests application/zentha_render_tests)
asan_build zentha_render "${tests[@]##*/}"
# clang 14's runtime takes the release of std::stable_sort's temporary buffer (libstdc++ 12 frees
# its nothrow new through an inlined delete) for a mismatched free: that report is switched off.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:alloc_dealloc_mismatch=0
export ZENTHA_SOURCE_DIR=$PWD
for t in "${tests[@]}"; do
  echo "-- $t"
  "$asan_dir/tests/$t" --gtest_brief=1
done

# The coda, as the offline renderer plays it, in a copy of the piece's data. Instrumented, all
# eleven minutes (up to 32 voices at once) took twenty minutes on a busy two-core machine,
# beyond what CI affords: CI renders the first two minutes, and LEAK_CODA_SECONDS=whole renders
# it all. The render tests above play voices to their end.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r data/. "$work"/
render=$PWD/$asan_dir/application/zentha_render
length=()
if [ "${LEAK_CODA_SECONDS:-120}" != whole ]; then length=(--seconds "${LEAK_CODA_SECONDS:-120}"); fi
start=$(date +%s)
(cd "$work" && "$render" --layout stereo "${length[@]}" --out coda.wav \
  ZENTHA-coda11minutesT60.synthSequence)
echo "-- coda rendered under AddressSanitizer in $(($(date +%s) - start)) s"
[ -s "$work/coda.wav" ] || { echo "no coda.wav written"; exit 1; }
