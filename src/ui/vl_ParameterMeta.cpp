#include "ui/vl_ParameterMeta.hpp"

#include <cxxabi.h>

#include <cstdlib>
#include <regex>
#include <typeinfo>

#include "core/vl_Console.hpp"

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
    print("ParameterMeta ERROR: A valid name must be provided for the parameter\n");
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
  print("Wrong number of parameters for %s\n", mFullAddress.c_str());
  return false;
}

void ParameterMeta::get(std::vector<ParameterField>&) {
  print("get(std::vector<ParameteterField> &fields) not implemented for %s\n", className().c_str());
}

void ParameterMeta::set(const std::vector<ParameterField>&) {
  print("set(std::vector<ParameteterField> &fields) not implemented for %s\n", className().c_str());
}

void ParameterMeta::sendValue(osc::Send&, std::string) {
  print("sendValue function not implemented for %s\n", className().c_str());
}

void ParameterMeta::sendMeta(osc::Send&, std::string, std::string) {
  print("sendMeta function not implemented for %s\n", className().c_str());
}

}  // namespace vl
