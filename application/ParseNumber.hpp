#pragma once

// Numbers typed by users on command lines and in NAME=VALUE settings: the whole text must be
// one finite number, so that "1.5x", "nan" or an overflow is refused instead of half read.

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

inline bool parseNumber(const std::string& text, double& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return errno == 0 && end == text.c_str() + text.size() && std::isfinite(out);
}
