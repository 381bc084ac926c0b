// libFuzzer target: arbitrary bytes read as a preset ".sequence" file. Times must come out
// finite or not at all negative, and the steps written back must read as the same steps.

#include <cmath>

#include "file_fuzz.hpp"
#include "ui/vl_SequenceFile.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = filefuzz::writeScratch("fuzz.sequence", data, size);
  const std::vector<vl::SequenceStep> steps = vl::SequenceFile::read(path, 0.5);
  for (const vl::SequenceStep& step : steps) {
    // A negative wait would run the sequencer's clock backwards.
    if (step.morphTime < 0.0f || step.waitTime < 0.0f) std::abort();
  }
  const std::string first = vl::SequenceFile::format(steps);
  const std::string copy = filefuzz::scratchDirectory() + "/copy.sequence";
  if (!vl::SequenceFile::write(copy, steps)) std::abort();
  const std::string second = vl::SequenceFile::format(vl::SequenceFile::read(copy));
  if (first != second) filefuzz::fail("a written sequence reads back otherwise", first, second);
  return 0;
}
