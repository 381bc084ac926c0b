// libFuzzer target: arbitrary bytes read as a TOML configuration file, looked up as the
// program does, and written back. What is written must parse again to the same table: a
// configuration written back is never left unreadable.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "app/vl_TomlLoader.hpp"
#include "file_fuzz.hpp"

namespace {
template <typename T>
void lookUp(const vl::TomlLoader& loader, const char* key) {
  try {
    (void)loader.get<T>(key);
  } catch (const std::runtime_error&) {
  }
}
// The table as text, its lines sorted: cpptoml writes the keys of a table in no fixed order.
std::string text(const vl::TomlLoader& loader) {
  std::ostringstream out;
  out << *loader.root();
  std::istringstream in(out.str());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  std::string sorted;
  for (const std::string& line : lines) sorted += line + "\n";
  return sorted;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = filefuzz::writeScratch("fuzz.toml", data, size);
  vl::TomlLoader loader;
  try {
    loader.setFile(path);
  } catch (const std::runtime_error&) {
    return 0;  // cpptoml's parse errors refuse the file
  }
  for (const char* key : {"audioOutputLevel", "subWooferChannel", "broadcastAddress", "a"}) {
    lookUp<double>(loader, key);
    lookUp<std::int64_t>(loader, key);
    lookUp<std::string>(loader, key);
  }
  loader.set("audioOutputLevel", 0.5);
  const std::string copy = filefuzz::scratchDirectory() + "/copy.toml";
  std::remove(copy.c_str());
  if (!loader.writeFile(copy)) {
    // Refused, as it must be when the text would not parse: then no file may appear.
    if (std::ifstream(copy)) std::abort();
    return 0;
  }
  const std::string first = text(loader);
  vl::TomlLoader again;
  try {
    again.setFile(copy);
  } catch (const std::runtime_error& e) {
    filefuzz::fail("a written configuration does not parse", first, e.what());
  }
  const std::string second = text(again);
  if (first != second)
    filefuzz::fail("a written configuration reads back otherwise", first, second);
  return 0;
}
