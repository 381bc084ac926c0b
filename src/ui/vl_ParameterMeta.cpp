#include "ui/vl_ParameterMeta.hpp"

#include <cxxabi.h>

#include <cstdlib>
#include <iostream>
#include <regex>
#include <typeinfo>

namespace vl {

namespace {

// First run of word characters, dots and slashes that starts and ends with a word character:
// leading and trailing slashes are dropped, inner ones kept.
bool addressPart(const std::string& text, std::string& part) {
  static const std::regex pattern(R"((\w(?:[\w./]*\w)?))", std::regex::ECMAScript);
  std::smatch match;
  if (!std::regex_search(text, match, pattern)) return false;
  part = match[1].str();
  return true;
}

}  // namespace

ParameterMeta::ParameterMeta(std::string parameterName, std::string group, std::string prefix)
    : mParameterName(std::move(parameterName)),
      mGroup(std::move(group)),
      mPrefix(std::move(prefix)) {
  std::string part;
  if (addressPart(mPrefix, part)) mFullAddress += "/" + part;
  if (addressPart(mGroup, part)) mFullAddress += "/" + part;
  if (addressPart(mParameterName, part)) {
    mFullAddress += "/" + part;
  } else {
    std::cout << "ParameterMeta ERROR: A valid name must be provided for the parameter"
              << std::endl;
    mFullAddress += "/_";
  }
  mDisplayName = mParameterName;
}

std::string ParameterMeta::className() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled) ? demangled : mangled;
  std::free(demangled);
  return name;
}

bool ParameterMeta::checkFieldCount(const std::vector<ParameterField>& fields,
                                    std::size_t expected) const {
  if (fields.size() == expected) return true;
  std::cout << "Wrong number of parameters for " << mFullAddress << std::endl;
  return false;
}

void ParameterMeta::get(std::vector<ParameterField>&) {
  std::cout << "get(std::vector<ParameteterField> &fields) not implemented for " << className()
            << std::endl;
}

void ParameterMeta::set(const std::vector<ParameterField>&) {
  std::cout << "set(std::vector<ParameteterField> &fields) not implemented for " << className()
            << std::endl;
}

void ParameterMeta::sendValue(osc::Send&, std::string) {
  std::cout << "sendValue function not implemented for " << className() << std::endl;
}

void ParameterMeta::sendMeta(osc::Send&, std::string, std::string) {
  std::cout << "sendMeta function not implemented for " << className() << std::endl;
}

}  // namespace vl
