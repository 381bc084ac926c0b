#pragma once

// The ".preset" text format: a "::name" line, one line per address (address, type tags, each
// value followed by a space) in byte-wise address order, and a closing "::".

#include <map>
#include <string>
#include <vector>

#include "ui/vl_ParameterField.hpp"

namespace vl {

class PresetFile {
 public:
  // Fields per OSC address; std::map keeps the byte-wise order the file is written in.
  using ParameterStates = std::map<std::string, std::vector<ParameterField>>;

  // The first preset block of the file. A value that does not convert throws
  // std::invalid_argument or std::out_of_range; a file that cannot be opened is reported and
  // gives an empty result.
  static ParameterStates read(const std::string& path, bool verbose = false);
  static std::string format(const ParameterStates& values, const std::string& name);
  // Replaces the file whole; false, reported, when it cannot be written.
  static bool write(const std::string& path, const ParameterStates& values,
                    const std::string& name);
};

}  // namespace vl
