#pragma once

// Shared by the fuzz targets of file readers: one scratch directory per process, where each
// input is written as a file before the reader under test opens it by name, as it would open
// a user's file.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace filefuzz {

inline const std::string& scratchDirectory() {
  static const std::string dir = [] {
    // Memory-backed when it can be: every input is a write and a rename.
    char pattern[] = "/dev/shm/file_fuzzXXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    return std::string(made);
  }();
  return dir;
}

// The path of name in the scratch directory, holding exactly the given bytes.
inline std::string writeScratch(const std::string& name, const void* data, std::size_t size) {
  const std::string path = scratchDirectory() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) std::abort();
  return path;
}

inline std::string writeScratch(const std::string& name, const std::string& text) {
  return writeScratch(name, text.data(), text.size());
}

// A property of reader and writer together that the input broke: reported on the stream
// libFuzzer keeps open, then a crash so that the input is kept.
[[noreturn]] inline void fail(const char* what, const std::string& first,
                              const std::string& second) {
  std::fprintf(stderr, "%s\n--- first:\n%s\n--- second:\n%s\n", what, first.c_str(),
               second.c_str());
  std::abort();
}

}  // namespace filefuzz
