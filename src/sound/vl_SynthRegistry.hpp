#pragma once

#include <functional>
#include <map>
#include <string>
#include <typeinfo>
#include <vector>

namespace vl {

class SynthVoice;

// The voice classes a synth can create, by name, and the names it must not create more of
// when none is free. Filled while the synth is set up, read afterwards.
class SynthRegistry {
 public:
  using Creator = std::function<SynthVoice*()>;

  // Replaces an earlier creator of the same name; true when there was one.
  bool add(const std::string& name, Creator create);
  void disableAllocation(const std::string& name);
  bool allocationDisabled(const std::string& name) const;
  bool contains(const std::string& name) const { return mCreators.count(name) != 0; }
  // A new voice of the named class, or null when the name is unknown.
  SynthVoice* create(const std::string& name) const;

  // The readable name of a type_info name, without any leading "class ".
  static std::string demangle(const char* typeName);
  template <class T>
  static std::string nameOf() {
    return demangle(typeid(T).name());
  }

 private:
  std::map<std::string, Creator> mCreators;
  std::vector<std::string> mNoAllocation;
};

}  // namespace vl
