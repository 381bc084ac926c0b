#pragma once

// A named group of parameters (and of further bundles) addressed as one instance, for example
// "/voice/0/frequency" for the parameter "frequency" of the first bundle named "voice".

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/vl_Parameter.hpp"

namespace vl {

class ParameterBundle {
 public:
  // Receives every change of a parameter in the bundle: the parameter, its address under the
  // bundle's prefix, the new value as fields (none for a trigger) and where it came from.
  using ChangeCallback =
      std::function<void(ParameterMeta& parameter, const std::string& address,
                         const std::vector<ParameterField>& value, ValueSource* source)>;
  // Told when sub-bundles are added: the sub-bundles of that name, and the name.
  using BundlesCallback = std::function<void(std::vector<ParameterBundle*>&, std::string)>;

  explicit ParameterBundle(std::string name = "");
  ParameterBundle(const ParameterBundle&) = delete;
  ParameterBundle& operator=(const ParameterBundle&) = delete;

  const std::string& name() const { return mBundleName; }
  int bundleIndex() const { return mBundleIndex; }
  const std::string& bundleId() const { return mBundleId; }
  void setBundleId(std::string id) { mBundleId = std::move(id); }
  const std::string& bundlePrefix() const { return mBundlePrefix; }
  void setBundlePrefix(std::string prefix) { mBundlePrefix = std::move(prefix); }
  // prefix + "/" + name + "/" + (id, or the index when there is no id).
  std::string bundleAddress() const;

  // Not owned. Installs a change callback on the parameter that forwards its changes to the
  // bundle's change callbacks under the bundle's address.
  void addParameter(ParameterMeta& parameter);
  ParameterBundle& operator<<(ParameterMeta& parameter) {
    addParameter(parameter);
    return *this;
  }
  void addBundle(ParameterBundle& bundle);

  const std::vector<ParameterMeta*>& parameters() const { return mParameters; }
  const std::map<std::string, std::vector<ParameterBundle*>>& bundles() const { return mBundles; }

  void registerChangeCallback(ChangeCallback cb) { mChangeCallbacks.push_back(std::move(cb)); }
  void registerBundlesCallback(BundlesCallback cb) { mBundlesCallbacks.push_back(std::move(cb)); }

 private:
  template <class P>
  bool forward(ParameterMeta& parameter);
  void notify(ParameterMeta& parameter, const std::vector<ParameterField>& value,
              ValueSource* source);

  int mBundleIndex = -1;
  std::string mBundleName;
  std::string mBundlePrefix;
  std::string mBundleId;
  std::vector<ParameterMeta*> mParameters;
  std::map<std::string, std::vector<ParameterBundle*>> mBundles;
  std::vector<ChangeCallback> mChangeCallbacks;
  std::vector<BundlesCallback> mBundlesCallbacks;
};

}  // namespace vl
