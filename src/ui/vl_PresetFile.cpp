#include "ui/vl_PresetFile.hpp"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/vl_Console.hpp"
#include "core/vl_File.hpp"

namespace vl {

namespace {

char typeTag(const ParameterField& field) {
  switch (field.type()) {
    case ParameterField::FLOAT:
      return 'f';
    case ParameterField::INT32:
      return 'i';
    default:
      return 's';
  }
}

std::string fieldText(const ParameterField& field) {
  switch (field.type()) {
    case ParameterField::FLOAT: {
      char buffer[64];
      std::snprintf(buffer, sizeof(buffer), "%f", static_cast<double>(field.get<float>()));
      return buffer;
    }
    case ParameterField::INT32:
      return std::to_string(field.get<int32_t>());
    default:
      return field.get<std::string>();
  }
}

}  // namespace

PresetFile::ParameterStates PresetFile::read(const std::string& path, bool verbose) {
  ParameterStates values;
  std::ifstream in(path);
  if (!in.is_open()) {
    print("Error while opening preset file: %s\n", path.c_str());
    return values;
  }
  std::string line;
  bool inPreset = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool marker = line.compare(0, 2, "::") == 0;
    if (!inPreset) {
      if (marker) {
        inPreset = true;
        if (verbose) print("Found preset : %s\n", line.c_str());
      }
      continue;
    }
    if (marker) {
      if (verbose) print("End preset.\n");
      break;
    }
    std::stringstream tokens(line);
    std::string address, tags, token;
    std::getline(tokens, address, ' ');
    std::getline(tokens, tags, ' ');
    std::vector<ParameterField> fields;
    std::size_t tagIndex = 0;
    while (std::getline(tokens, token, ' ')) {
      if (tagIndex >= tags.size()) {
        printError("ERROR: Inconsistent type tags. Ingnoring extra values\n");
        break;
      }
      const char tag = tags[tagIndex++];
      if (tag == 'f') {
        fields.emplace_back(std::stof(token));
      } else if (tag == 'i') {
        fields.emplace_back(static_cast<int32_t>(std::stoi(token)));
      } else if (tag == 's') {
        fields.emplace_back(token);
      } else {
        printError("ERROR: Unknown type tag '%c' for %s. Ignoring value\n", tag, address.c_str());
      }
    }
    values[address] = std::move(fields);
  }
  return values;
}

std::string PresetFile::format(const ParameterStates& values, const std::string& name) {
  std::string text = "::" + name + "\n";
  for (const auto& [address, fields] : values) {
    std::string tags, data;
    for (const auto& f : fields) {
      tags += typeTag(f);
      data += fieldText(f) + " ";
    }
    text += address + " " + tags + " " + data + "\n";
  }
  text += "::\n";
  return text;
}

bool PresetFile::write(const std::string& path, const ParameterStates& values,
                       const std::string& name) {
  switch (File::writeReplacing(path, format(values, name))) {
    case File::WriteResult::OPEN_FAILED:
      print("Error while opening preset file fro write: %s\n", path.c_str());
      return false;
    case File::WriteResult::WRITE_FAILED:
      print("Error while writing preset file: %s\n", path.c_str());
      return false;
    default:
      return true;
  }
}

}  // namespace vl
