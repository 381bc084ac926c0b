#!/usr/bin/env bash
# Fuzzes the parameter server's dispatch (parameters of every kind, a bundle, the commands and
# the preset server) for 40 seconds under AddressSanitizer and UndefinedBehaviorSanitizer, in a
# network namespace of its own so that whatever the input asks to be sent stays inside it.
# Any crash, leak or sanitizer report fails.
set -euo pipefail
cd "$(dirname "$0")/../.."

out=build-fuzz
mkdir -p "$out/server-corpus"
# Consumers registered with the fuzzed server bring their sources here.
sources=(fuzz/server_fuzz.cpp
  src/protocol/vl_OSC.cpp src/protocol/vl_OSCPacket.cpp src/protocol/vl_OSCRecv.cpp
  src/protocol/vl_OSCNotifier.cpp src/protocol/vl_ParameterAddressTable.cpp
  src/protocol/vl_ParameterServer.cpp src/protocol/vl_PresetServer.cpp
  src/ui/vl_Parameter.cpp src/ui/vl_ParameterBundle.cpp src/ui/vl_ParameterField.cpp
  src/ui/vl_ParameterMeta.cpp src/ui/vl_PresetFile.cpp src/ui/vl_PresetHandler.cpp
  src/ui/vl_PresetMap.cpp src/ui/vl_PresetMorph.cpp
  src/core/vl_Console.cpp src/core/vl_File.cpp)
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc "${sources[@]}" -loscpack -pthread -o "$out/server_fuzz"
cp fuzz/corpus/server/* "$out/server-corpus/"

# The target prints every message and error; its stdout and stderr are closed (libFuzzer keeps
# its own report stream) so that the run is not spent writing.
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  tests/scripts/with_netns.sh "$out/server_fuzz" -max_total_time=40 -max_len=2048 \
  -close_fd_mask=3 -print_final_stats=1 -dict=fuzz/server.dict -artifact_prefix="$out/" \
  "$out/server-corpus"
rm -rf /tmp/server_fuzz??????
echo "server_fuzz: no findings"
