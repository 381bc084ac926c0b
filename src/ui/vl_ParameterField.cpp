#include "ui/vl_ParameterField.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace vl {

template <>
float ParameterField::get<float>() const {
  switch (type()) {
    case FLOAT:
      return std::get<float>(mValue);
    case INT32:
      return static_cast<float>(std::get<int32_t>(mValue));
    default:
      return std::strtof(std::get<std::string>(mValue).c_str(), nullptr);
  }
}

template <>
int32_t ParameterField::get<int32_t>() const {
  switch (type()) {
    case INT32:
      return std::get<int32_t>(mValue);
    case FLOAT: {
      // Truncates like a cast, but saturates instead of overflowing.
      float f = std::get<float>(mValue);
      if (std::isnan(f)) return 0;
      if (f >= 2147483647.f) return std::numeric_limits<int32_t>::max();
      if (f <= -2147483648.f) return std::numeric_limits<int32_t>::min();
      return static_cast<int32_t>(f);
    }
    default: {
      long v = std::strtol(std::get<std::string>(mValue).c_str(), nullptr, 10);
      if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
      if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
      return static_cast<int32_t>(v);
    }
  }
}

template <>
std::string ParameterField::get<std::string>() const {
  switch (type()) {
    case STRING:
      return std::get<std::string>(mValue);
    case INT32:
      return std::to_string(std::get<int32_t>(mValue));
    default:
      return std::to_string(std::get<float>(mValue));
  }
}

}  // namespace vl
