#include "sound/vl_SynthRegistry.hpp"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>

namespace vl {

bool SynthRegistry::add(const std::string& name, Creator create) {
  const bool replaced = contains(name);
  mCreators[name] = std::move(create);
  return replaced;
}

void SynthRegistry::disableAllocation(const std::string& name) {
  if (!allocationDisabled(name)) mNoAllocation.push_back(name);
}

bool SynthRegistry::allocationDisabled(const std::string& name) const {
  return std::find(mNoAllocation.begin(), mNoAllocation.end(), name) != mNoAllocation.end();
}

SynthVoice* SynthRegistry::create(const std::string& name) const {
  auto it = mCreators.find(name);
  return it == mCreators.end() ? nullptr : it->second();
}

std::string SynthRegistry::demangle(const char* typeName) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(typeName, nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled) ? demangled : typeName;
  std::free(demangled);
  if (name.rfind("class ", 0) == 0) name.erase(0, 6);
  return name;
}

}  // namespace vl
