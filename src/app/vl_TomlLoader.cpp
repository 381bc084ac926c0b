#include "app/vl_TomlLoader.hpp"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/vl_Console.hpp"
#include "core/vl_File.hpp"

namespace vl {

TomlLoader::TomlLoader(const std::string& path) {
  setFile(path);
}

void TomlLoader::setFile(const std::string& path) {
  if (!File::exists(path)) {
    print("TomlLoader creating config file: %s\n", path.c_str());
    // Appending, so that a file another process made meanwhile is not emptied.
    std::ofstream created(path, std::ios::app);
    if (!created.is_open()) print("ERROR: Unable to create config file: %s\n", path.c_str());
  }
  // parse_file throws before anything here changes, so a failed parse keeps the old table.
  mRoot = cpptoml::parse_file(path);
  mFileName = path;
}

void TomlLoader::requireRoot() const {
  if (!mRoot) throw std::runtime_error("vl::TomlLoader::get, toml file not set");
}

template <typename T>
T TomlLoader::get(const std::string& key) const {
  requireRoot();
  // get_as, not get_qualified_as: a key with dots names one key of the root table.
  const cpptoml::option<T> value = mRoot->get_as<T>(key);
  if (!value) throw std::runtime_error("vl::TomlLoader::get, key '" + key + "' not found");
  return *value;
}

template double TomlLoader::get<double>(const std::string&) const;
template std::int64_t TomlLoader::get<std::int64_t>(const std::string&) const;
template std::string TomlLoader::get<std::string>(const std::string&) const;

void TomlLoader::set(const std::string& key, double value) {
  requireRoot();
  mRoot->insert(key, value);
}

void TomlLoader::set(const std::string& key, std::int64_t value) {
  requireRoot();
  mRoot->insert(key, value);
}

void TomlLoader::set(const std::string& key, const std::string& value) {
  requireRoot();
  mRoot->insert(key, value);
}

bool TomlLoader::writeFile(const std::string& path) {
  // Without a table there is nothing to write, and writing an empty one would wipe the file.
  requireRoot();
  const std::string& target = path.empty() ? mFileName : path;
  std::ostringstream text;
  text << *mRoot;
  // cpptoml reads some keys (control or invalid UTF-8 bytes in a bare key) that it then writes
  // in a form it refuses: such a text would replace a readable file with an unreadable one.
  try {
    std::istringstream written(text.str());
    cpptoml::parser(written).parse();
  } catch (const cpptoml::parse_exception& e) {
    print("ERROR: Not writing toml file '%s': the text would not read back (%s).\n", target.c_str(),
          e.what());
    return false;
  }
  if (File::writeReplacing(target, text.str()) != File::WriteResult::OK) {
    print("ERROR: Opening toml file '%s' for writing.\n", target.c_str());
    return false;
  }
  return true;
}

}  // namespace vl
