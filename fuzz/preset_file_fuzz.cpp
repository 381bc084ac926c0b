// libFuzzer target: arbitrary bytes read as a ".preset" file. What the reader makes of them,
// written back and read again, must be read the same: a stored preset recalls what was stored.

#include <stdexcept>

#include "file_fuzz.hpp"
#include "ui/vl_PresetFile.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = filefuzz::writeScratch("fuzz.preset", data, size);
  vl::PresetFile::ParameterStates values;
  try {
    values = vl::PresetFile::read(path);
  } catch (const std::logic_error&) {
    return 0;  // a value that does not convert refuses the preset
  }
  const std::string first = vl::PresetFile::format(values, "fuzz");
  const std::string copy = filefuzz::scratchDirectory() + "/copy.preset";
  if (!vl::PresetFile::write(copy, values, "fuzz")) std::abort();
  std::string second;
  try {
    second = vl::PresetFile::format(vl::PresetFile::read(copy), "fuzz");
  } catch (const std::logic_error& e) {
    filefuzz::fail("a written preset does not read back", first, e.what());
  }
  if (first != second) filefuzz::fail("a written preset reads back otherwise", first, second);
  return 0;
}
