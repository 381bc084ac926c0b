#pragma once

// Named presets of a set of parameters: stored as text files, indexed by a preset map, and
// recalled at once or by morphing from the current values over a settable time. The file
// formats and the morph live in their own classes; this one ties them to its directories,
// its registered parameters and its callbacks.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ui/vl_Parameter.hpp"
#include "ui/vl_ParameterBundle.hpp"
#include "ui/vl_PresetFile.hpp"
#include "ui/vl_PresetMap.hpp"
#include "ui/vl_PresetMorph.hpp"

namespace vl {

class PresetHandler {
 public:
  // Values of one preset: fields per OSC address, addresses ordered byte-wise.
  using ParameterStates = PresetFile::ParameterStates;
  using RecallCallback = std::function<void(int index, PresetHandler* handler, void* userData)>;
  // Told the recalled name and the morph time it is recalled with (the index alone cannot name
  // a preset that is missing from the map).
  using RecallNameCallback = std::function<void(const std::string& name, float morphTime)>;
  using StoreCallback = std::function<void(int index, std::string name, void* userData)>;
  using MapChangeCallback = std::function<void(std::string mapName)>;

  explicit PresetHandler(std::string rootDirectory = "presets", bool verbose = false);
  PresetHandler(const PresetHandler&) = delete;
  PresetHandler& operator=(const PresetHandler&) = delete;

  // Registration order is recall order. Not owned; register during set-up, before use.
  void registerParameter(ParameterMeta& parameter) { mParameters.push_back(&parameter); }
  PresetHandler& operator<<(ParameterMeta& parameter) {
    registerParameter(parameter);
    return *this;
  }
  void registerParameterBundle(ParameterBundle& bundle) {
    mBundles[bundle.name()].push_back(&bundle);
  }
  PresetHandler& operator<<(ParameterBundle& bundle) {
    registerParameterBundle(bundle);
    return *this;
  }
  const std::vector<ParameterMeta*>& parameters() const { return mParameters; }
  // A skipped parameter is left out of stored presets (it is still recalled when present).
  void skipParameter(const std::string& address, bool skip = true);

  // Creates the directory when missing; then selects the map "default" without creating it.
  void setRootDirectory(std::string path);
  std::string getRootPath() const;
  // A relative path below the root (created when missing); the current map is read again
  // from the new directory.
  bool setSubDirectory(std::string subDirectory);
  std::string getSubDirectory() const;
  // Root and sub-directory, each ending in "/".
  std::string getCurrentPath() const;

  // Colons in the name become "_"; an empty name takes the map's name for the index, else
  // "default". Without overwrite an existing name gets the first free suffix _0, _1, ...
  void storePreset(int index, std::string name = "", bool overwrite = true);
  // Reuses the map index of that name, or the next free one.
  void storePreset(std::string name);

  // Morphing recall of the map entry; returns its name (empty when the index has none).
  std::string recallPreset(int index);
  // Morphing recall with the current morph time, or with the given one.
  void recallPreset(const std::string& name);
  void recallPreset(const std::string& name, float morphTime);
  // Morphing recall of a preset kept in a directory below the current one (such as a set of
  // default presets). The sub-directory is set by the program and may hold "/" but no "..";
  // the name follows the same rule as every other name.
  void recallPresetFrom(const std::string& subDirectory, const std::string& name);
  void recallPresetFrom(const std::string& subDirectory, const std::string& name, float morphTime);
  // Sets every parameter of the preset at once and halts a morph in progress.
  void recallPresetSynchronous(const std::string& name);
  // Applies the state a morph from preset A to preset B has at factor (0 = A, 1 = B).
  void setInterpolatedPreset(const std::string& nameA, const std::string& nameB, double factor);

  // One morph step; call once per animation frame with the time since the last call.
  void morphStep(double elapsedSeconds);
  void setMorphTime(float seconds) { mMorphTime.set(seconds); }
  float getMorphTime() { return mMorphTime.get(); }
  Parameter& morphTimeParameter() { return mMorphTime; }
  // Halts a morph in progress.
  void stopMorph() { mMorph.stop(); }
  bool morphing() const { return mMorph.morphing(); }
  uint64_t morphStepCount() const { return mMorph.stepCount(); }
  uint64_t totalMorphSteps() const { return mMorph.totalSteps(); }
  void setTotalMorphSteps(uint64_t steps) { mMorph.setTotalSteps(steps); }
  double morphStepInterval() const { return mMorph.stepInterval(); }

  // Reads the preset file; throws std::invalid_argument or std::out_of_range for a value that
  // does not convert. Empty when the file cannot be opened (reported).
  ParameterStates loadPresetValues(const std::string& name);
  // Current values of the registered parameters and bundles.
  ParameterStates getCurrentValues();

  void selectPresetMap(const std::string& mapName, bool createIfMissing = true);
  std::string getCurrentPresetMap() const;
  std::map<int, std::string> readPresetMap(const std::string& mapName);
  // Replaces the map in memory and writes it as the current map.
  void setPresetMap(std::map<int, std::string> presetMap);
  std::map<int, std::string> availablePresets() const;
  // Names of the preset files in the current directory.
  std::vector<std::string> availablePresetNames() const;
  std::string getPresetName(int index) const;
  // First map index holding the name, -1 when none.
  int getPresetIndex(const std::string& name) const;

  void registerPresetCallback(RecallCallback cb, void* userData = nullptr);
  void registerRecallNameCallback(RecallNameCallback cb);
  void registerStoreCallback(StoreCallback cb, void* userData = nullptr);
  void registerPresetMapCallback(MapChangeCallback cb);
  void setUseCallbacks(bool use) { mUseCallbacks = use; }
  void verbose(bool v) { mVerbose = v; }

 private:
  std::string presetPath(const std::string& name) const;
  std::string mapPath(const std::string& mapName) const;
  // Loads a preset for a recall: the name is checked and conversion errors are reported
  // instead of escaping into the recalling thread. False when nothing could be read.
  bool loadForRecall(const std::string& name, ParameterStates& values,
                     const std::string& subDirectory = "");
  // Writes mPresetMap; caller holds mHandlerLock.
  void writePresetMapLocked(const std::string& mapName);
  // Every registered parameter and bundle parameter with its address, in recall order.
  void forEachParameter(const std::function<void(const std::string&, ParameterMeta&)>& f);
  // The target's addresses resolved to the first parameter of each, with start fields from
  // start or, without start, from the parameters' current values.
  PresetMorph::Plan resolve(const ParameterStates& target, const ParameterStates* start);

  bool mVerbose;
  std::atomic<bool> mUseCallbacks{true};
  std::string mRootDir;
  std::string mSubDir;
  std::string mCurrentMapName;
  std::vector<ParameterMeta*> mParameters;
  std::map<std::string, std::vector<ParameterBundle*>> mBundles;
  std::vector<std::string> mSkipped;
  mutable std::mutex mHandlerLock;
  std::mutex mMorphLock;  // one morph set-up at a time
  Parameter mMorphTime{"morphTime", "", 0.0f, "", 0.0f, 20.0f};
  PresetMorph mMorph;
  std::mutex mCallbackLock;
  std::vector<std::pair<RecallCallback, void*>> mRecallCallbacks;
  std::vector<RecallNameCallback> mRecallNameCallbacks;
  std::vector<std::pair<StoreCallback, void*>> mStoreCallbacks;
  std::vector<MapChangeCallback> mMapCallbacks;
  std::map<int, std::string> mPresetMap;
};

}  // namespace vl
