#include "ui/vl_SequenceFile.hpp"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/vl_Console.hpp"
#include "core/vl_File.hpp"

namespace vl {

namespace {

std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream s(line);
  std::string field;
  while (std::getline(s, field, ':')) fields.push_back(field);
  return fields;
}

float fieldAsFloat(const std::vector<std::string>& fields, std::size_t i) {
  return i < fields.size() && !fields[i].empty() ? std::stof(fields[i]) : 0.0f;
}

std::string formatFloat(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%f", value);
  return buffer;
}

}  // namespace

std::string SequenceFile::path(const std::string& dir, const std::string& name) {
  return File::conformDirectory(dir) + name +
         (File::endsWith(name, ".sequence") ? "" : ".sequence");
}

std::vector<SequenceStep> SequenceFile::read(const std::string& path, double timeScale) {
  std::vector<SequenceStep> steps;
  std::ifstream in(path);
  if (!in.is_open()) {
    print("Could not open:%s\n", path.c_str());
    return steps;
  }
  const auto scaled = [timeScale](float t) {
    return std::max(0.0f, static_cast<float>(t * timeScale));
  };
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> fields = splitFields(line);
    if (fields.empty() || fields[0].empty() || fields[0][0] == '#') continue;
    SequenceStep step;
    try {
      if (fields[0][0] == '@') {
        step.type = SequenceStep::EVENT;
        step.name = fields[0].substr(1);
        step.morphTime = scaled(fieldAsFloat(fields, 1));
        step.waitTime = scaled(fieldAsFloat(fields, 2));
        for (std::size_t i = 3; i < fields.size(); ++i)
          step.params.emplace_back(std::stof(fields[i]));
      } else if (fields[0][0] == '+') {
        step.type = SequenceStep::PARAMETER;
        step.waitTime = scaled(std::stof(fields[0].substr(1)));
        step.name = fields.size() > 1 ? fields[1] : "";
        // A value, not a time: the time scale does not apply to it.
        step.params.emplace_back(
            static_cast<float>(fields.size() > 2 ? std::stod(fields[2]) : 0.0));
      } else {
        step.name = fields[0];
        step.morphTime = scaled(fieldAsFloat(fields, 1));
        step.waitTime = scaled(fieldAsFloat(fields, 2));
      }
    } catch (const std::logic_error&) {
      print("ERROR: Bad sequence line in %s: %s\n", path.c_str(), line.c_str());
      continue;
    }
    steps.push_back(std::move(step));
  }
  if (in.bad()) print("Error reading:%s\n", path.c_str());
  return steps;
}

std::string SequenceFile::format(const std::vector<SequenceStep>& steps) {
  std::string text;
  for (const auto& step : steps) {
    if (step.type == SequenceStep::PRESET) {
      text +=
          step.name + ":" + formatFloat(step.morphTime) + ":" + formatFloat(step.waitTime) + "\n";
    } else if (step.type == SequenceStep::EVENT) {
      text +=
          "@" + step.name + ":" + formatFloat(step.morphTime) + ":" + formatFloat(step.waitTime);
      for (const auto& v : step.params) text += ":" + formatFloat(v.get<float>());
      text += "\n";
    } else {
      const float value = step.params.empty() ? 0.0f : step.params.front().get<float>();
      text += "+" + formatFloat(step.waitTime) + ":" + step.name + ":" + formatFloat(value) + "\n";
    }
  }
  return text + "::\n";
}

bool SequenceFile::write(const std::string& path, const std::vector<SequenceStep>& steps) {
  switch (File::writeReplacing(path, format(steps))) {
    case File::WriteResult::OPEN_FAILED:
      print("Error while opening sequence file: %s\n", path.c_str());
      return false;
    case File::WriteResult::WRITE_FAILED:
      print("Error while writing sequence file: %s\n", path.c_str());
      return false;
    default:
      return true;
  }
}

}  // namespace vl
