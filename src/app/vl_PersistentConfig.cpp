#include "app/vl_PersistentConfig.hpp"

#include <sstream>

#include "app/vl_TomlLoader.hpp"
#include "core/vl_Console.hpp"
#include "core/vl_File.hpp"

namespace vl {

void PersistentConfig::registerDouble(const std::string& key, double* value) {
  mDoubles.emplace_back(key, value);
}

void PersistentConfig::registerInt(const std::string& key, std::int64_t* value) {
  mInts.emplace_back(key, value);
}

void PersistentConfig::read() {
  const std::string file = fileName();
  // Only a missing file gets the defaults: one that exists is the user's, even when it is
  // damaged or lacks a key.
  if (!File::exists(file)) {
    print("TomlLoader creating config file: %s\n", file.c_str());
    auto defaults = cpptoml::make_table();
    for (const auto& [key, value] : mDoubles) defaults->insert(key, *value);
    for (const auto& [key, value] : mInts) defaults->insert(key, *value);
    std::ostringstream text;
    text << *defaults;
    // Where nothing can be written (a read-only or full disk) the program runs on its
    // defaults, which are what the file would have held.
    if (File::writeReplacing(file, text.str()) != File::WriteResult::OK) {
      printError("ERROR: Unable to create config file: %s. Using the defaults.\n", file.c_str());
      return;
    }
  }
  TomlLoader loader;
  loader.setFile(file);
  for (const auto& [key, value] : mDoubles) *value = loader.get<double>(key);
  for (const auto& [key, value] : mInts) *value = loader.get<std::int64_t>(key);
}

}  // namespace vl
