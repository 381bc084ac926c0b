#include "core/vl_Warn.hpp"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <unordered_set>

#include "core/vl_Console.hpp"

namespace vl {

std::string formatString(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<std::size_t>(n));
    std::vsnprintf(out.data(), out.size() + 1, fmt, args);
  }
  va_end(args);
  return out;
}

static std::string located(const char* file, int line, const std::string& message) {
  return formatString("%s:%d: %s", file, line, message.c_str());
}

void warn(const char* file, int line, const std::string& message) {
  print("%s", located(file, line, message).c_str());
}

bool warnOnce(const char* file, int line, const std::string& message) {
  static std::mutex mutex;
  static std::unordered_set<std::string> printed;
  std::string text = located(file, line, message);
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!printed.insert(text).second) return false;
  }
  print("%s", text.c_str());
  return true;
}

}  // namespace vl
