#!/usr/bin/env bash
# Fuzzes the readers of files from outside (presets, preset maps, preset and synth sequences,
# TOML configuration, the simulated headset's scripts) under AddressSanitizer and
# UndefinedBehaviorSanitizer: each kept regression input is replayed, then each target runs for
# a few seconds from its seeds. Any crash, leak, sanitizer report or broken round trip fails.
# scripts/fuzz-campaign.sh runs the same targets for as long as asked.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/checks/lib/asan_build.sh
source scripts/checks/lib/file_fuzz_targets.sh
asan_build file_fuzz

seconds=${FILE_FUZZ_SECONDS:-12}
for target in "${file_fuzz_targets[@]}"; do
  replay_regressions "$target" "$asan_dir/fuzz/$target"
done
for target in "${file_fuzz_targets[@]}"; do
  binary="$asan_dir/fuzz/$target"
  corpus="$asan_dir/file-corpus/$target"
  rm -rf "$corpus"
  seed_corpus "$target" "$corpus"
  # The readers print every refused line; their output is closed (libFuzzer keeps its own
  # report stream) so that the run is not spent writing.
  if ! "$binary" -max_total_time="$seconds" -max_len=4096 -timeout=10 -close_fd_mask=3 \
    -dict=fuzz/files.dict -artifact_prefix="$asan_dir/$target-" "$corpus" >"$corpus.log" 2>&1; then
    grep -v "^INFO\|^#" "$corpus.log" | head -60
    echo "$target: finding kept in $asan_dir/$target-*"
    exit 1
  fi
  echo "$target: $(grep -o "Done [0-9]* runs in [0-9]* second(s)" "$corpus.log")"
done
rm -rf /dev/shm/file_fuzz??????
echo "file_fuzz: no findings"
