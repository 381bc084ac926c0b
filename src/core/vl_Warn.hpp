#pragma once

#include <string>

namespace vl {

// printf-style formatting into a std::string.
std::string formatString(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Prints "<file>:<line>: <message>" on standard output.
void warn(const char* file, int line, const std::string& message);

// Like warn, but each distinct formatted line is printed only once per process. Returns
// whether it was printed now.
bool warnOnce(const char* file, int line, const std::string& message);

}  // namespace vl

#define VL_WARN(...) ::vl::warn(__FILE__, __LINE__, ::vl::formatString(__VA_ARGS__))
#define VL_WARN_ONCE(...) ::vl::warnOnce(__FILE__, __LINE__, ::vl::formatString(__VA_ARGS__))
