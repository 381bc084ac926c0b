#include "ui/vl_PresetMap.hpp"

#include <fstream>
#include <stdexcept>

#include "core/vl_Console.hpp"
#include "core/vl_File.hpp"

namespace vl {

std::string PresetMap::fileName(const std::string& mapName) {
  if (File::endsWith(mapName, ".presetMap") || File::endsWith(mapName, ".presetMap_archive") ||
      File::endsWith(mapName, ".txt")) {
    return mapName;
  }
  return mapName + ".presetMap";
}

PresetMap::Entries PresetMap::read(const std::string& path, bool verbose) {
  Entries entries;
  std::ifstream in(path);
  if (!in.is_open()) {
    print("Error while opening preset map file for reading: %s\n", path.c_str());
    return entries;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, 2, "::") == 0) {
      if (verbose) print("End preset map.\n");
      break;
    }
    if (line.empty()) continue;
    const std::size_t colon = line.find(':');
    try {
      const int index = std::stoi(line.substr(0, colon));
      std::string name;
      if (colon != std::string::npos) {
        const std::size_t end = line.find(':', colon + 1);
        name = line.substr(colon + 1, end == std::string::npos ? end : end - colon - 1);
      }
      // No preset can be stored under such a name, and a stray carriage return before the
      // separator would be lost when the map is written back.
      for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) throw std::invalid_argument("control character");
      }
      entries[index] = name;
    } catch (const std::logic_error&) {
      printError("ERROR: Bad preset map line in %s: %s\n", path.c_str(), line.c_str());
    }
  }
  return entries;
}

std::string PresetMap::format(const Entries& entries) {
  std::string text;
  for (const auto& [index, name] : entries) text += std::to_string(index) + ":" + name + "\n";
  return text + "::\n";
}

void PresetMap::write(const std::string& path, const Entries& entries) {
  switch (File::writeReplacing(path, format(entries))) {
    case File::WriteResult::OPEN_FAILED:
      print("Error while opening preset map file: %s\n", path.c_str());
      break;
    case File::WriteResult::WRITE_FAILED:
      print("Error while writing preset map file: %s\n", path.c_str());
      break;
    default:
      break;
  }
}

int PresetMap::indexOf(const Entries& entries, const std::string& name) {
  for (const auto& [index, n] : entries) {
    if (n == name) return index;
  }
  return -1;
}

int PresetMap::indexFor(const Entries& entries, const std::string& name) {
  const int index = indexOf(entries, name);
  if (index >= 0) return index;
  return entries.empty() ? 0 : entries.rbegin()->first + 1;
}

}  // namespace vl
