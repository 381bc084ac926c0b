#pragma once

// The ".presetMap" text format, a numbered index of preset names: one "index:name" line per
// entry in ascending order and a closing "::".

#include <map>
#include <string>

namespace vl {

class PresetMap {
 public:
  using Entries = std::map<int, std::string>;

  // The map name with ".presetMap" appended unless it already ends in ".presetMap",
  // ".presetMap_archive" or ".txt".
  static std::string fileName(const std::string& mapName);
  // Entries up to the first "::" line; lines that do not parse are reported and skipped, a
  // file that cannot be opened is reported and gives no entries.
  static Entries read(const std::string& path, bool verbose = false);
  static std::string format(const Entries& entries);
  // Replaces the file whole; failures are reported.
  static void write(const std::string& path, const Entries& entries);

  // First index holding the name, -1 when none.
  static int indexOf(const Entries& entries, const std::string& name);
  // The name's own index, else one past the largest (a new map starts at 0).
  static int indexFor(const Entries& entries, const std::string& name);
};

}  // namespace vl
