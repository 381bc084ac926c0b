// libFuzzer target: arbitrary bytes read as ".synthSequence" scores. A line "%%" splits the
// input into the scores s0, s1, s2 and s3 of one scratch directory, so that "=" lines can
// include each other; s0 is read. Inclusion must stay inside the directory (the check runs
// with a bare file system outside it), and every event must come out at a finite time, in
// order.

#include <cmath>

#include "file_fuzz.hpp"
#include "ui/vl_SynthSequence.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    std::size_t end = start <= input.size() ? input.find("\n%%\n", start) : std::string::npos;
    const std::string part = start <= input.size()
                                 ? input.substr(start, end == std::string::npos ? end : end - start)
                                 : "";
    filefuzz::writeScratch("s" + std::to_string(i) + ".synthSequence", part);
    start = end == std::string::npos ? input.size() + 1 : end + 4;
  }
  vl::SynthSequenceReader reader(filefuzz::scratchDirectory());
  reader.read("s0", 0.5);
  double last = -INFINITY;
  for (const vl::SynthSequenceEvent& e : reader.events()) {
    if (!std::isfinite(e.startTime) || e.startTime < last) std::abort();
    last = e.startTime;
  }
  return 0;
}
