#include "app/vl_TomlLoader.hpp"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/vl_Console.hpp"
#include "core/vl_File.hpp"

namespace vl {

namespace {
// Whether two trees hold the same keys and values. cpptoml writes control characters in keys
// and strings as "\u" with unpadded hex digits, so a key of \x01 and "3fe" is written as "\u13fe"
// and read back as another key: only a text that reads back as the same tree may be written.
bool sameTree(const std::shared_ptr<cpptoml::base>& a, const std::shared_ptr<cpptoml::base>& b) {
  if (a->is_table() != b->is_table() || a->is_array() != b->is_array() ||
      a->is_table_array() != b->is_table_array() || a->is_value() != b->is_value()) {
    return false;
  }
  if (a->is_table()) {
    auto ta = a->as_table(), tb = b->as_table();
    if (std::distance(ta->begin(), ta->end()) != std::distance(tb->begin(), tb->end())) {
      return false;
    }
    for (const auto& [key, value] : *ta) {
      if (!tb->contains(key) || !sameTree(value, tb->get(key))) return false;
    }
    return true;
  }
  auto sameItems = [](const auto& x, const auto& y) {
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i) {
      if (!sameTree(x[i], y[i])) return false;
    }
    return true;
  };
  if (a->is_array()) return sameItems(a->as_array()->get(), b->as_array()->get());
  if (a->is_table_array()) {
    return sameItems(a->as_table_array()->get(), b->as_table_array()->get());
  }
  const auto sa = a->as<std::string>(), sb = b->as<std::string>();
  if (sa || sb) return sa && sb && sa->get() == sb->get();
  // Numbers, booleans and dates are written unambiguously (a NaN as "nan").
  std::ostringstream ta, tb;
  ta << *a;
  tb << *b;
  return ta.str() == tb.str();
}
}  // namespace

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
    if (!sameTree(mRoot, cpptoml::parser(written).parse())) {
      print("ERROR: Not writing toml file '%s': a key or text would read back otherwise.\n",
            target.c_str());
      return false;
    }
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
