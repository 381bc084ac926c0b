#pragma once

// Named numeric settings of an application kept in "<name>.toml": the variables' values at
// registration are their defaults, written out on the first start, and every start reads the
// file back into them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vl {

class PersistentConfig {
 public:
  PersistentConfig() = default;
  explicit PersistentConfig(const std::string& name) : mName(name) {}

  // The configuration name; the file is this name followed by ".toml".
  void setName(const std::string& name) { mName = name; }
  const std::string& name() const { return mName; }
  std::string fileName() const { return mName + ".toml"; }

  // The variables stay the caller's and must outlive every read.
  void registerDouble(const std::string& key, double* value);
  void registerInt(const std::string& key, std::int64_t* value);

  // Writes the defaults when the file does not exist (when it cannot, says so and keeps the
  // defaults), then reads every registered key back
  // into its variable, doubles first. A key missing from the file throws std::runtime_error
  // naming it, keeping what was read before it; a damaged file throws cpptoml's parse error
  // and is left as it is.
  void read();

 private:
  std::string mName;
  std::vector<std::pair<std::string, double*>> mDoubles;
  std::vector<std::pair<std::string, std::int64_t*>> mInts;
};

}  // namespace vl
