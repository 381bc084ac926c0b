#!/usr/bin/env bash
# A long fuzzing campaign over the readers of files: every target runs, one after another, for
# the given number of executions or seconds (default: ten million executions each), from its
# seeds and from what earlier campaigns kept. A crash, sanitizer report or broken round trip
# is minimised and kept in fuzz/regressions/<target>/, which scripts/checks/file_fuzz.sh
# replays; the campaign then goes on with the next target. Prints executions and findings
# per target and exits non-zero when anything was found.
#   scripts/fuzz-campaign.sh [--runs N | --seconds N] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/checks/lib/asan_build.sh
source scripts/checks/lib/file_fuzz_targets.sh

limit=(-runs=10000000)
while [ $# -gt 0 ]; do
  case $1 in
    --runs) limit=(-runs="$2"); shift 2 ;;
    --seconds) limit=(-max_total_time="$2"); shift 2 ;;
    -h|--help) sed -n 2,9p "$0"; exit 0 ;;
    *) break ;;
  esac
done
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${file_fuzz_targets[@]}")
asan_build file_fuzz >/dev/null

found=0
for target in "${targets[@]}"; do
  binary="$asan_dir/fuzz/$target"
  corpus="$asan_dir/campaign/$target"  # grows from one campaign to the next
  artifacts="$asan_dir/campaign/$target-artifacts"
  mkdir -p "$artifacts"
  seed_corpus "$target" "$corpus"
  log="$asan_dir/campaign/$target.log"
  status=0
  "$binary" "${limit[@]}" -max_len=4096 -timeout=10 -close_fd_mask=3 -dict=fuzz/files.dict \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1 || status=$?
  runs=$(grep -o "stat::number_of_executed_units: *[0-9]*" "$log" | grep -o "[0-9]*$" || true)
  [ -n "$runs" ] || runs=$(grep -o "^#[0-9]*" "$log" | tail -1 | tr -d '#')
  findings=0
  for artifact in "$artifacts"/*; do
    [ -e "$artifact" ] || continue
    findings=$((findings + 1))
    kept="fuzz/regressions/$target/$(basename "$artifact")"
    mkdir -p "fuzz/regressions/$target"
    "$binary" -minimize_crash=1 -runs=2000 -close_fd_mask=3 -exact_artifact_path="$kept" \
      "$artifact" >/dev/null 2>&1 || true
    [ -e "$kept" ] || cp "$artifact" "$kept"
    rm -f "$artifact"
    echo "$target: finding kept as $kept"
  done
  [ $status -eq 0 ] || [ $findings -gt 0 ] || { echo "$target: failed without a finding:"; tail -20 "$log"; findings=1; }
  echo "$target: ${runs:-0} executions, $findings findings"
  found=$((found + findings))
done
rm -rf /dev/shm/file_fuzz??????
[ $found -eq 0 ]
