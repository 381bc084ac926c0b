#pragma once

// Shared by the preset and sequence tests: a scratch directory per test and file helpers.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "ui/vl_PresetHandler.hpp"

namespace vl::test {

// A fresh directory under the system temporary directory, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "zentha_presetsXXXXXX").string();
    if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
    mPath = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(mPath, ec);
  }
  const std::string& path() const { return mPath; }
  std::string operator/(const std::string& name) const { return mPath + "/" + name; }

 private:
  std::string mPath;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// A preset handler over the directory holding "level" and three presets of it: A (0), B (1)
// and C (0.5), the material of the sequencer and recorder tests.
inline std::unique_ptr<PresetHandler> levelPresetHandler(const ScratchDir& dir, Parameter& level) {
  testing::internal::CaptureStdout();
  auto handler = std::make_unique<PresetHandler>(dir.path());
  testing::internal::GetCapturedStdout();
  *handler << level;
  writeFile(dir / "A.preset", "::A\n/level f 0 \n::\n");
  writeFile(dir / "B.preset", "::B\n/level f 1 \n::\n");
  writeFile(dir / "C.preset", "::C\n/level f 0.5 \n::\n");
  return handler;
}

}  // namespace vl::test
