// libFuzzer target: arbitrary bytes read as a ".presetMap" file; the entries read, written
// back and read again must be the same entries.

#include "file_fuzz.hpp"
#include "ui/vl_PresetMap.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = filefuzz::writeScratch("fuzz.presetMap", data, size);
  const vl::PresetMap::Entries entries = vl::PresetMap::read(path);
  const std::string copy = filefuzz::scratchDirectory() + "/copy.presetMap";
  vl::PresetMap::write(copy, entries);
  const vl::PresetMap::Entries again = vl::PresetMap::read(copy);
  if (again != entries) {
    filefuzz::fail("a written preset map reads back otherwise", vl::PresetMap::format(entries),
                   vl::PresetMap::format(again));
  }
  for (const auto& [index, name] : entries) {
    if (vl::PresetMap::indexOf(entries, name) > index) std::abort();
  }
  return 0;
}
