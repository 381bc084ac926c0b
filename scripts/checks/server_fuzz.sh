#!/usr/bin/env bash
# Fuzzes the parameter server's dispatch (parameters of every kind, a bundle, the commands, the
# preset server and a distributed scene's consumer) for 40 seconds under AddressSanitizer and
# UndefinedBehaviorSanitizer, in a network namespace of its own so that whatever the input asks
# to be sent stays inside it. Any crash, leak, sanitizer report or lost voice fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/checks/lib/asan_build.sh
asan_build server_fuzz

corpus="$asan_dir/server-corpus"
mkdir -p "$corpus"
cp fuzz/corpus/server/* fuzz/corpus/scene/* "$corpus/"

# The target prints every message and error; its stdout and stderr are closed (libFuzzer keeps
# its own report stream) so that the run is not spent writing.
tests/scripts/with_netns.sh "$asan_dir/fuzz/server_fuzz" -max_total_time=40 -max_len=2048 \
  -close_fd_mask=3 -print_final_stats=1 -dict=fuzz/server.dict -artifact_prefix="$asan_dir/" \
  "$corpus"
rm -rf /tmp/server_fuzz??????
echo "server_fuzz: no findings"
