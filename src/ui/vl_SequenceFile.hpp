#pragma once

// The ".sequence" text format that the preset sequencer plays and the sequence recorder
// writes. One step a line, fields separated by ":":
//   name:morph:wait           a preset recall
//   @event:morph:wait:v...    an event with float values
//   +wait:address:value       a parameter change
// Lines beginning with "#", and empty ones, are comments; "::" ends a recorded file.

#include <cstdint>
#include <string>
#include <vector>

#include "ui/vl_ParameterField.hpp"

namespace vl {

struct SequenceStep {
  enum Type : int32_t { PRESET = 0, EVENT = 1, PARAMETER = 2 };
  Type type = PRESET;
  std::string name;  // preset name, event name or parameter address
  float morphTime = 0.0f;
  float waitTime = 0.0f;
  std::vector<ParameterField> params;
};

class SequenceFile {
 public:
  // The path of the sequence name in dir (".sequence" appended unless already there).
  static std::string path(const std::string& dir, const std::string& name);
  // The steps of the file, every time multiplied by timeScale. A file that cannot be opened
  // and lines that do not parse are reported; what could be read is returned.
  static std::vector<SequenceStep> read(const std::string& path, double timeScale = 1.0);
  // Every step in file form, times with "%f", and the closing "::".
  static std::string format(const std::vector<SequenceStep>& steps);
  // Replaces the file whole; false, reported, when it cannot be written.
  static bool write(const std::string& path, const std::vector<SequenceStep>& steps);
};

}  // namespace vl
