#pragma once

// Typed access to one TOML file: the configuration of an application and the node table of a
// distributed one. Parsing and writing are cpptoml's, and so are its parse errors; lookups that
// fail throw std::runtime_error naming the key.

#include <cpptoml.h>

#include <cstdint>
#include <memory>
#include <string>

namespace vl {

class TomlLoader {
 public:
  TomlLoader() = default;
  // Same as setFile(path).
  explicit TomlLoader(const std::string& path);

  // Creates the file when it is missing (an empty one), then parses it. A file that cannot be
  // opened or parsed throws cpptoml::parse_exception and leaves the loader as it was.
  void setFile(const std::string& path);

  // The value of a key of the root table. Throws std::runtime_error when no file is set, or
  // when the key is missing or holds another type (an integer is read as a double too).
  template <typename T>
  T get(const std::string& key) const;

  // Puts the key into the root table, replacing whatever value it held. Throws like get when
  // no file is set.
  void set(const std::string& key, double value);
  void set(const std::string& key, std::int64_t value);
  void set(const std::string& key, int value) { set(key, static_cast<std::int64_t>(value)); }
  void set(const std::string& key, const std::string& value);
  void set(const std::string& key, const char* value) { set(key, std::string(value)); }

  // Writes the whole table, every key parsed or set, to path (the file set when empty). The
  // new text replaces the file only once it is completely on disk and known to parse again; a
  // failure is printed, leaves the file as it was and returns false. Throws like set when no
  // file is set.
  bool writeFile(const std::string& path = "");

  // For reading what the typed getters do not cover, such as arrays of tables; empty until a
  // file is set.
  std::shared_ptr<cpptoml::table> root() const { return mRoot; }
  const std::string& fileName() const { return mFileName; }

 private:
  void requireRoot() const;

  std::shared_ptr<cpptoml::table> mRoot;
  std::string mFileName;
};

extern template double TomlLoader::get<double>(const std::string&) const;
extern template std::int64_t TomlLoader::get<std::int64_t>(const std::string&) const;
extern template std::string TomlLoader::get<std::string>(const std::string&) const;

}  // namespace vl
