#include "core/vl_Console.hpp"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace vl {

static void writeWhole(std::FILE* to, const char* fmt, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < sizeof small) {
    std::fwrite(small, 1, static_cast<std::size_t>(n), to);
  } else {
    std::string big(static_cast<std::size_t>(n), '\0');
    std::vsnprintf(big.data(), big.size() + 1, fmt, args);
    std::fwrite(big.data(), 1, big.size(), to);
  }
  std::fflush(to);
}

void print(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  writeWhole(stdout, fmt, args);
  va_end(args);
}

void printError(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  writeWhole(stderr, fmt, args);
  va_end(args);
}

}  // namespace vl
