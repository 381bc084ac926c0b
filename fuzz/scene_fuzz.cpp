// libFuzzer target: arbitrary bytes read as one datagram and offered to a distributed scene's
// consumer (scene_fuzz.hpp).

#include "scene_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  scenefuzz::fuzzSceneConsumer(data, size);
  return 0;
}
