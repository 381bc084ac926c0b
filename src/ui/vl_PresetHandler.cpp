#include "ui/vl_PresetHandler.hpp"

#include <algorithm>
#include <stdexcept>

#include "core/vl_Console.hpp"
#include "core/vl_File.hpp"

namespace vl {

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
    printError("Error creating directory: %s\n", path.c_str());
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
    printError("Error creating directory: %s\n", path.c_str());
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
  return getCurrentPath() + PresetMap::fileName(mapName);
}

PresetHandler::ParameterStates PresetHandler::loadPresetValues(const std::string& name) {
  return PresetFile::read(presetPath(name), mVerbose);
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
    values = PresetFile::read(path, mVerbose);
  } catch (const std::logic_error& e) {
    // A hand-edited file must not take down the thread that recalls it.
    printError("ERROR: Bad value in preset file %s (%s). Preset not recalled.\n", path.c_str(),
               e.what());
    return false;
  }
  return !values.empty();
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

PresetMorph::Plan PresetHandler::resolve(const ParameterStates& target,
                                         const ParameterStates* start) {
  // First registration of an address wins, as in every other lookup of the handler.
  std::map<std::string, ParameterMeta*> byAddress;
  forEachParameter([&](const std::string& address, ParameterMeta& p) {
    if (target.count(address)) byAddress.emplace(address, &p);
  });
  PresetMorph::Plan plan;
  plan.reserve(byAddress.size());
  for (const auto& [address, fields] : target) {
    auto p = byAddress.find(address);
    if (p == byAddress.end()) continue;
    PresetMorph::Target t{p->second, {}, fields};
    if (start) {
      auto s = start->find(address);
      if (s == start->end()) continue;
      t.start = s->second;
    } else {
      p->second->get(t.start);
    }
    plan.push_back(std::move(t));
  }
  return plan;
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
    if (!PresetFile::write(dir + name + ".preset", values, name)) return;
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
  int index;
  {
    std::lock_guard<std::mutex> lock(mHandlerLock);
    index = PresetMap::indexFor(mPresetMap, name);
  }
  storePreset(index, name, true);
}

// ---------------------------------------------------------------------------------------------
// Recall and morphing

std::string PresetHandler::recallPreset(int index) {
  std::string name = getPresetName(index);
  if (name.empty()) {
    print("No preset index %d\n", index);
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
  mMorph.start(resolve(values, nullptr), time);
}

void PresetHandler::morphStep(double elapsedSeconds) {
  const double drift = mMorph.stepInterval() - elapsedSeconds;
  if (drift > 0.01) print("Time drift = %g\n", drift);
  mMorph.step();
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
  PresetMorph::apply(resolve(b, &a), std::clamp(factor, 0.0, 1.0));
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
        printError(
            "Warning: parameter %snot matched..\\..\\vantlib\\src\\ui\\vl_PresetHandler  "
            "vl::PresetHandler::recallPresetSynchronous\n",
            address.c_str());
      }
      return;
    }
    // The stored fields take the parameter's own types, so a hand-written "i" for a float
    // parameter still applies.
    std::vector<ParameterField> own;
    p.get(own);
    std::vector<ParameterField> fields;
    if (!PresetMorph::interpolate(own.size() == it->second.size() ? own : it->second, it->second,
                                  1.0, fields)) {
      return;
    }
    p.set(fields);
  });
}

// ---------------------------------------------------------------------------------------------
// Preset maps

std::map<int, std::string> PresetHandler::readPresetMap(const std::string& mapName) {
  if (!File::checkName(mapName, "preset map")) return {};
  return PresetMap::read(mapPath(mapName), mVerbose);
}

void PresetHandler::writePresetMapLocked(const std::string& mapName) {
  PresetMap::write(File::conformDirectory(mRootDir) + File::conformDirectory(mSubDir) +
                       PresetMap::fileName(mapName),
                   mPresetMap);
}

void PresetHandler::selectPresetMap(const std::string& mapName, bool createIfMissing) {
  if (!File::checkName(mapName, "preset map")) return;
  const std::string path = mapPath(mapName);
  if (createIfMissing && !File::exists(path)) {
    print("No preset map. Creating default.\n");
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
    std::map<int, std::string> presetMap = PresetMap::read(path, mVerbose);
    std::lock_guard<std::mutex> lock(mHandlerLock);
    mPresetMap = std::move(presetMap);
    mCurrentMapName = mapName;
  }
  if (mVerbose) print("Setting preset map:%s\n", mapName.c_str());
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
  return PresetMap::indexOf(mPresetMap, name);
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
