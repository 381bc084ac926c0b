#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace vl {

// One typed entry of a parameter's field list (preset files, OSC): a float, a 32-bit integer
// or a text. Reading it as another kind converts instead of reinterpreting the stored bytes.
class ParameterField {
 public:
  enum ParameterDataType : int32_t { FLOAT = 0, INT32 = 1, STRING = 2 };

  ParameterField(float value) : mValue(value) {}
  ParameterField(int32_t value) : mValue(value) {}
  ParameterField(const std::string& value) : mValue(value) {}
  ParameterField(const char* value) : mValue(std::string(value)) {}
  virtual ~ParameterField() = default;
  ParameterField(const ParameterField&) = default;
  ParameterField(ParameterField&&) = default;
  ParameterField& operator=(const ParameterField&) = default;
  ParameterField& operator=(ParameterField&&) = default;

  ParameterDataType type() const { return static_cast<ParameterDataType>(mValue.index()); }

  // The value as T (float, int32_t or std::string). Numbers convert to each other; a text
  // gives its leading number (0 when there is none); a number gives its decimal text.
  template <class T>
  T get() const;

 private:
  std::variant<float, int32_t, std::string> mValue;
};

template <>
float ParameterField::get<float>() const;
template <>
int32_t ParameterField::get<int32_t>() const;
template <>
std::string ParameterField::get<std::string>() const;

}  // namespace vl
