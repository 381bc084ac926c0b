#include "app/vl_PersistentConfig.hpp"

#include "app/vl_TomlLoader.hpp"
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
  TomlLoader loader;
  // Only a missing file gets the defaults: one that exists is the user's, even when it is
  // damaged or lacks a key.
  if (!File::exists(file)) {
    loader.setFile(file);
    for (const auto& [key, value] : mDoubles) loader.set(key, *value);
    for (const auto& [key, value] : mInts) loader.set(key, *value);
    loader.writeFile();
  }
  loader.setFile(file);
  for (const auto& [key, value] : mDoubles) *value = loader.get<double>(key);
  for (const auto& [key, value] : mInts) *value = loader.get<std::int64_t>(key);
}

}  // namespace vl
