#include "ui/vl_PresetHandler.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "core/vl_File.hpp"

namespace vl {

namespace {

std::string formatFloat(float value) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%f", static_cast<double>(value));
  return buffer;
}

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
    case ParameterField::FLOAT:
      return formatFloat(field.get<float>());
    case ParameterField::INT32:
      return std::to_string(field.get<int32_t>());
    default:
      return field.get<std::string>();
  }
}

bool isNumber(const ParameterField& f) {
  return f.type() == ParameterField::FLOAT || f.type() == ParameterField::INT32;
}

// A field of the given type holding the value of field (numbers convert; texts stay texts).
bool convertTo(const ParameterField& field, ParameterField::ParameterDataType type,
               ParameterField& out) {
  if (field.type() == type) {
    out = field;
  } else if (isNumber(field) && type == ParameterField::FLOAT) {
    out = ParameterField(field.get<float>());
  } else if (isNumber(field) && type == ParameterField::INT32) {
    out = ParameterField(field.get<int32_t>());
  } else {
    return false;
  }
  return true;
}

void stripCarriageReturn(std::string& line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
}

}  // namespace

PresetHandler::PresetHandler(std::string rootDirectory, bool verbose) : mVerbose(verbose) {
  setRootDirectory(std::move(rootDirectory));
}

void PresetHandler::skipParameter(const std::string& address, bool skip) {
  std::lock_guard<std::mutex> lock(mHandlerLock);
  auto it = std::find(mSkipped.begin(), mSkipped.end(), address);
  if (skip && it == mSkipped.end()) mSkipped.push_back(address);
  if (!skip && it != mSkipped.end()) mSkipped.erase(it);
}

void PresetHandler::setRootDirectory(std::string path) {
  if (!File::isDirectory(path) && !File::createDirectory(path)) {
    std::cerr << "Error creating directory: " << path << std::endl;
  } else {
    std::lock_guard<std::mutex> lock(mHandlerLock);
    mRootDir = path;
  }
  selectPresetMap("default", false);
}

std::string PresetHandler::getRootPath() const {
  std::lock_guard<std::mutex> lock(mHandlerLock);
  return mRootDir;
}

bool PresetHandler::setSubDirectory(std::string subDirectory) {
  if (!File::checkRelativeDirectory(subDirectory, "preset sub-directory")) return false;
  const std::string path = File::conformDirectory(getRootPath()) + subDirectory;
  if (!subDirectory.empty() && !File::isDirectory(path) && !File::createDirectory(path)) {
    std::cerr << "Error creating directory: " << path << std::endl;
    return false;
  }
  std::string mapName;
  {
    std::lock_guard<std::mutex> lock(mHandlerLock);
    mSubDir = std::move(subDirectory);
    mapName = mCurrentMapName;
  }
  selectPresetMap(mapName, false);
  return true;
}

std::string PresetHandler::getSubDirectory() const {
  std::lock_guard<std::mutex> lock(mHandlerLock);
  return mSubDir;
}

std::string PresetHandler::getCurrentPath() const {
  std::lock_guard<std::mutex> lock(mHandlerLock);
  return File::conformDirectory(mRootDir) + File::conformDirectory(mSubDir);
}

std::string PresetHandler::presetPath(const std::string& name) const {
  return getCurrentPath() + name + ".preset";
}

std::string PresetHandler::mapPath(const std::string& mapName) const {
  std::string file = mapName;
  if (!File::endsWith(file, ".presetMap") && !File::endsWith(file, ".presetMap_archive") &&
      !File::endsWith(file, ".txt")) {
    file += ".presetMap";
  }
  return getCurrentPath() + file;
}

// ---------------------------------------------------------------------------------------------
// Preset files

PresetHandler::ParameterStates PresetHandler::loadPresetValues(const std::string& name) {
  return loadPresetFile(presetPath(name));
}

PresetHandler::ParameterStates PresetHandler::loadPresetFile(const std::string& path) {
  ParameterStates values;
  std::ifstream in(path);
  if (!in.is_open()) {
    std::cout << "Error while opening preset file: " << path << std::endl;
    return values;
  }
  std::string line;
  bool inPreset = false;
  while (std::getline(in, line)) {
    stripCarriageReturn(line);
    const bool marker = line.compare(0, 2, "::") == 0;
    if (!inPreset) {
      if (marker) {
        inPreset = true;
        if (mVerbose) std::cout << "Found preset : " << line << std::endl;
      }
      continue;
    }
    if (marker) {
      if (mVerbose) std::cout << "End preset." << std::endl;
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
        std::cerr << "ERROR: Inconsistent type tags. Ingnoring extra values" << std::endl;
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
        std::cerr << "ERROR: Unknown type tag '" << tag << "' for " << address << ". Ignoring value"
                  << std::endl;
      }
    }
    values[address] = std::move(fields);
  }
  return values;
}

bool PresetHandler::loadForRecall(const std::string& name, ParameterStates& values,
                                  const std::string& subDirectory) {
  if (!File::checkName(name, "preset")) return false;
  if (!File::checkRelativeDirectory(subDirectory, "preset sub-directory")) return false;
  const std::string path =
      subDirectory.empty()
          ? presetPath(name)
          : getCurrentPath() + File::conformDirectory(subDirectory) + name + ".preset";
  try {
    values = loadPresetFile(path);
  } catch (const std::logic_error& e) {
    // A hand-edited file must not take down the thread that recalls it.
    std::cerr << "ERROR: Bad value in preset file " << path << " (" << e.what()
              << "). Preset not recalled." << std::endl;
    return false;
  }
  return !values.empty();
}

bool PresetHandler::writePresetFile(const ParameterStates& values, const std::string& name,
                                    const std::string& path) {
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
  switch (File::writeReplacing(path, text)) {
    case File::WriteResult::OPEN_FAILED:
      std::cout << "Error while opening preset file fro write: " << path << std::endl;
      return false;
    case File::WriteResult::WRITE_FAILED:
      std::cout << "Error while writing preset file: " << path << std::endl;
      return false;
    default:
      return true;
  }
}

void PresetHandler::forEachParameter(
    const std::function<void(const std::string&, ParameterMeta&)>& f) {
  for (ParameterMeta* p : mParameters) f(p->getFullAddress(), *p);
  for (auto& [bundleName, bundles] : mBundles) {
    for (ParameterBundle* bundle : bundles) {
      const std::string prefix = bundle->bundleAddress();
      for (ParameterMeta* p : bundle->parameters()) f(prefix + p->getFullAddress(), *p);
    }
  }
}

ParameterMeta* PresetHandler::findParameter(const std::string& address) {
  ParameterMeta* found = nullptr;
  forEachParameter([&](const std::string& a, ParameterMeta& p) {
    if (!found && a == address) found = &p;
  });
  return found;
}

PresetHandler::ParameterStates PresetHandler::getCurrentValues() {
  std::vector<std::string> skipped;
  {
    std::lock_guard<std::mutex> lock(mHandlerLock);
    skipped = mSkipped;
  }
  ParameterStates values;
  forEachParameter([&](const std::string& address, ParameterMeta& p) {
    if (std::find(skipped.begin(), skipped.end(), address) != skipped.end()) return;
    std::vector<ParameterField> fields;
    p.get(fields);
    if (!fields.empty()) values[address] = std::move(fields);
  });
  return values;
}

void PresetHandler::storePreset(int index, std::string name, bool overwrite) {
  int storedIndex = index;
  {
    std::lock_guard<std::mutex> lock(mHandlerLock);
    std::replace(name.begin(), name.end(), ':', '_');
    if (name.empty()) {
      auto it = mPresetMap.find(index);
      name = it != mPresetMap.end() ? it->second : "default";
    }
    if (!File::checkName(name, "preset")) return;
    ParameterStates values;
    forEachParameter([&](const std::string& address, ParameterMeta& p) {
      if (std::find(mSkipped.begin(), mSkipped.end(), address) != mSkipped.end()) return;
      std::vector<ParameterField> fields;
      p.get(fields);
      if (!fields.empty()) values[address] = std::move(fields);
    });
    const std::string dir = File::conformDirectory(mRootDir) + File::conformDirectory(mSubDir);
    if (!overwrite && File::exists(dir + name + ".preset")) {
      for (int n = 0;; ++n) {
        const std::string candidate = name + "_" + std::to_string(n);
        if (!File::exists(dir + candidate + ".preset")) {
          name = candidate;
          break;
        }
      }
    }
    if (!writePresetFile(values, name, dir + name + ".preset")) return;
    mPresetMap[index] = name;
    writePresetMapLocked(mCurrentMapName);
  }
  if (mUseCallbacks) {
    std::vector<std::pair<StoreCallback, void*>> callbacks;
    {
      std::lock_guard<std::mutex> lock(mCallbackLock);
      callbacks = mStoreCallbacks;
    }
    for (auto& [cb, user] : callbacks) cb(storedIndex, name, user);
  }
}

void PresetHandler::storePreset(std::string name) {
  std::replace(name.begin(), name.end(), ':', '_');
  int index = -1;
  {
    std::lock_guard<std::mutex> lock(mHandlerLock);
    for (const auto& [i, n] : mPresetMap) {
      if (n == name) {
        index = i;
        break;
      }
    }
    // A new map starts at 0.
    if (index < 0) index = mPresetMap.empty() ? 0 : mPresetMap.rbegin()->first + 1;
  }
  storePreset(index, name, true);
}

// ---------------------------------------------------------------------------------------------
// Recall and morphing

std::string PresetHandler::recallPreset(int index) {
  std::string name = getPresetName(index);
  if (name.empty()) {
    std::cout << "No preset index " << index << std::endl;
    return "";
  }
  recallPreset(name);
  return name;
}

void PresetHandler::recallPreset(const std::string& name) {
  recallPreset(name, getMorphTime());
}

void PresetHandler::recallPreset(const std::string& name, float morphTime) {
  recallPresetFrom("", name, morphTime);
}

void PresetHandler::recallPresetFrom(const std::string& subDirectory, const std::string& name) {
  recallPresetFrom(subDirectory, name, getMorphTime());
}

void PresetHandler::recallPresetFrom(const std::string& subDirectory, const std::string& name,
                                     float morphTime) {
  ParameterStates values;
  if (!loadForRecall(name, values, subDirectory)) return;
  if (mUseCallbacks) {
    const int index = subDirectory.empty() ? getPresetIndex(name) : -1;
    std::vector<std::pair<RecallCallback, void*>> callbacks;
    std::vector<RecallNameCallback> nameCallbacks;
    {
      std::lock_guard<std::mutex> lock(mCallbackLock);
      callbacks = mRecallCallbacks;
      nameCallbacks = mRecallNameCallbacks;
    }
    for (auto& [cb, user] : callbacks) cb(index, this, user);
    for (auto& cb : nameCallbacks) cb(name, morphTime);
  }
  std::lock_guard<std::mutex> lock(mMorphLock);
  mMorphTime.set(morphTime);
  const float time = mMorphTime.get();
  mTargetValues = std::move(values);
  mStartValues.clear();
  forEachParameter([&](const std::string& address, ParameterMeta& p) {
    if (mTargetValues.count(address) && !mStartValues.count(address)) {
      std::vector<ParameterField> fields;
      p.get(fields);
      mStartValues[address] = std::move(fields);
    }
  });
  mMorphStepCount.store(0);
  mTotalSteps.store(
      time > 0.0f ? static_cast<uint64_t>(std::ceil(time / static_cast<float>(mMorphInterval)))
                  : 1);
}

void PresetHandler::morphStep(double elapsedSeconds) {
  const double drift = mMorphInterval - elapsedSeconds;
  if (drift > 0.01) std::cout << "Time drift = " << drift << std::endl;
  ParameterStates start, target;
  double factor;
  {
    std::lock_guard<std::mutex> lock(mMorphLock);
    const uint64_t k = mMorphStepCount.fetch_add(1);
    const uint64_t total = mTotalSteps.load();
    if (total == 0 || k > total) return;
    factor = total == 1 ? 1.0 : static_cast<double>(k) / static_cast<double>(total);
    start = mStartValues;
    target = mTargetValues;
  }
  // Applied without the morph lock: the parameters' callbacks may recall another preset.
  applyInterpolated(start, target, factor);
}

bool PresetHandler::morphing() const {
  const uint64_t total = mTotalSteps.load();
  return total > 0 && mMorphStepCount.load() <= total;
}

bool PresetHandler::interpolate(const std::vector<ParameterField>& start,
                                const std::vector<ParameterField>& target, double factor,
                                std::vector<ParameterField>& result) {
  result.clear();
  if (start.size() != target.size()) {
    std::cerr << "Parameter data type mismatch. Aborting." << std::endl;
    return false;
  }
  for (std::size_t i = 0; i < target.size(); ++i) {
    const ParameterField& s = start[i];
    const ParameterField& t = target[i];
    if (s.type() != t.type() && !(isNumber(s) && isNumber(t))) {
      std::cerr << "Parameter data type mismatch. Aborting." << std::endl;
      return false;
    }
    if (factor == 1.0) {
      ParameterField converted(0.0f);
      convertTo(t, s.type(), converted);
      result.push_back(converted);
    } else if (t.type() == ParameterField::STRING) {
      result.push_back(t);
    } else {
      const float a = s.get<float>();
      const float b = t.get<float>();
      const float value = a + (b - a) * static_cast<float>(factor);
      if (s.type() == ParameterField::INT32) {
        result.emplace_back(static_cast<int32_t>(std::trunc(value)));
      } else {
        result.emplace_back(value);
      }
    }
  }
  return true;
}

void PresetHandler::applyInterpolated(const ParameterStates& start, const ParameterStates& target,
                                      double factor) {
  for (const auto& [address, targetFields] : target) {
    auto startIt = start.find(address);
    if (startIt == start.end()) continue;
    std::vector<ParameterField> fields;
    if (!interpolate(startIt->second, targetFields, factor, fields)) continue;
    if (ParameterMeta* p = findParameter(address)) p->set(fields);
  }
}

void PresetHandler::setInterpolatedPreset(const std::string& nameA, const std::string& nameB,
                                          double factor) {
  ParameterStates a, b;
  if (!loadForRecall(nameA, a) || !loadForRecall(nameB, b)) return;
  // What A lacks starts from the current value.
  ParameterStates current = getCurrentValues();
  for (auto& [address, fields] : b) {
    if (!a.count(address) && current.count(address)) a[address] = current[address];
  }
  stopMorph();
  applyInterpolated(a, b, std::clamp(factor, 0.0, 1.0));
}

void PresetHandler::recallPresetSynchronous(const std::string& name) {
  ParameterStates values;
  if (!loadForRecall(name, values)) return;
  // A morph still running would carry the parameters off again at its next step.
  stopMorph();
  forEachParameter([&](const std::string& address, ParameterMeta& p) {
    auto it = values.find(address);
    if (it == values.end()) {
      if (mVerbose) {
        std::cerr << "Warning: parameter " << address << "not matched"
                  << "..\\..\\vantlib\\src\\ui\\vl_PresetHandler"
                  << "  "
                  << "vl::PresetHandler::recallPresetSynchronous" << std::endl;
      }
      return;
    }
    // The stored fields take the parameter's own types, so a hand-written "i" for a float
    // parameter still applies.
    std::vector<ParameterField> own;
    p.get(own);
    std::vector<ParameterField> fields;
    if (!interpolate(own.size() == it->second.size() ? own : it->second, it->second, 1.0, fields)) {
      return;
    }
    p.set(fields);
  });
}

// ---------------------------------------------------------------------------------------------
// Preset maps

std::map<int, std::string> PresetHandler::readPresetMapFile(const std::string& path) {
  std::map<int, std::string> presetMap;
  std::ifstream in(path);
  if (!in.is_open()) {
    std::cout << "Error while opening preset map file for reading: " << path << std::endl;
    return presetMap;
  }
  std::string line;
  while (std::getline(in, line)) {
    stripCarriageReturn(line);
    if (line.compare(0, 2, "::") == 0) {
      if (mVerbose) std::cout << "End preset map." << std::endl;
      break;
    }
    if (line.empty()) continue;
    const std::size_t colon = line.find(':');
    try {
      const int index = std::stoi(line.substr(0, colon));
      std::string name;
      if (colon != std::string::npos) {
        const std::size_t end = line.find(':', colon + 1);
        name = line.substr(colon + 1, end == std::string::npos ? end : end - colon - 1);
      }
      presetMap[index] = name;
    } catch (const std::logic_error&) {
      std::cerr << "ERROR: Bad preset map line in " << path << ": " << line << std::endl;
    }
  }
  return presetMap;
}

std::map<int, std::string> PresetHandler::readPresetMap(const std::string& mapName) {
  if (!File::checkName(mapName, "preset map")) return {};
  return readPresetMapFile(mapPath(mapName));
}

void PresetHandler::writePresetMapLocked(const std::string& mapName) {
  std::string text;
  for (const auto& [index, name] : mPresetMap) text += std::to_string(index) + ":" + name + "\n";
  text += "::\n";
  std::string file = mapName;
  if (!File::endsWith(file, ".presetMap") && !File::endsWith(file, ".presetMap_archive") &&
      !File::endsWith(file, ".txt")) {
    file += ".presetMap";
  }
  const std::string path =
      File::conformDirectory(mRootDir) + File::conformDirectory(mSubDir) + file;
  switch (File::writeReplacing(path, text)) {
    case File::WriteResult::OPEN_FAILED:
      std::cout << "Error while opening preset map file: " << path << std::endl;
      break;
    case File::WriteResult::WRITE_FAILED:
      std::cout << "Error while writing preset map file: " << path << std::endl;
      break;
    default:
      break;
  }
}

void PresetHandler::selectPresetMap(const std::string& mapName, bool createIfMissing) {
  if (!File::checkName(mapName, "preset map")) return;
  const std::string path = mapPath(mapName);
  if (createIfMissing && !File::exists(path)) {
    std::cout << "No preset map. Creating default." << std::endl;
    std::map<int, std::string> presetMap;
    int index = 0;
    for (const std::string& file : File::listFiles(getCurrentPath(), ".preset")) {
      presetMap[index++] = file.substr(0, file.size() - 7);
    }
    std::lock_guard<std::mutex> lock(mHandlerLock);
    mPresetMap = std::move(presetMap);
    mCurrentMapName = mapName;
    writePresetMapLocked(mapName);
  } else {
    // A map that cannot be read leaves an empty map: entries of the previous map name presets
    // of another directory.
    std::map<int, std::string> presetMap = readPresetMapFile(path);
    std::lock_guard<std::mutex> lock(mHandlerLock);
    mPresetMap = std::move(presetMap);
    mCurrentMapName = mapName;
  }
  if (mVerbose) std::cout << "Setting preset map:" << mapName << std::endl;
  std::vector<MapChangeCallback> callbacks;
  {
    std::lock_guard<std::mutex> lock(mCallbackLock);
    callbacks = mMapCallbacks;
  }
  for (auto& cb : callbacks) cb(mapName);
}

std::string PresetHandler::getCurrentPresetMap() const {
  std::lock_guard<std::mutex> lock(mHandlerLock);
  return mCurrentMapName;
}

void PresetHandler::setPresetMap(std::map<int, std::string> presetMap) {
  std::lock_guard<std::mutex> lock(mHandlerLock);
  mPresetMap = std::move(presetMap);
  writePresetMapLocked(mCurrentMapName);
}

std::map<int, std::string> PresetHandler::availablePresets() const {
  std::lock_guard<std::mutex> lock(mHandlerLock);
  return mPresetMap;
}

std::vector<std::string> PresetHandler::availablePresetNames() const {
  std::vector<std::string> names = File::listFiles(getCurrentPath(), ".preset");
  for (auto& n : names) n.resize(n.size() - 7);
  return names;
}

std::string PresetHandler::getPresetName(int index) const {
  std::lock_guard<std::mutex> lock(mHandlerLock);
  auto it = mPresetMap.find(index);
  return it == mPresetMap.end() ? "" : it->second;
}

int PresetHandler::getPresetIndex(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mHandlerLock);
  for (const auto& [index, n] : mPresetMap) {
    if (n == name) return index;
  }
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Callbacks

void PresetHandler::registerPresetCallback(RecallCallback cb, void* userData) {
  std::lock_guard<std::mutex> lock(mCallbackLock);
  mRecallCallbacks.emplace_back(std::move(cb), userData);
}

void PresetHandler::registerRecallNameCallback(RecallNameCallback cb) {
  std::lock_guard<std::mutex> lock(mCallbackLock);
  mRecallNameCallbacks.push_back(std::move(cb));
}

void PresetHandler::registerStoreCallback(StoreCallback cb, void* userData) {
  std::lock_guard<std::mutex> lock(mCallbackLock);
  mStoreCallbacks.emplace_back(std::move(cb), userData);
}

void PresetHandler::registerPresetMapCallback(MapChangeCallback cb) {
  std::lock_guard<std::mutex> lock(mCallbackLock);
  mMapCallbacks.push_back(std::move(cb));
}

}  // namespace vl
