#include "ui/vl_ParameterBundle.hpp"

#include <mutex>

#include "core/vl_Console.hpp"

namespace vl {

namespace {

// Running count per bundle name, shared by the whole process.
std::mutex gCountLock;
std::map<std::string, int> gBundleCounts;

// A value as the fields that carry it, built without touching the parameter (the callbacks run
// before the value is stored).
void toFields(float v, std::vector<ParameterField>& f) {
  f.emplace_back(v);
}
void toFields(int32_t v, std::vector<ParameterField>& f) {
  f.emplace_back(v);
}
void toFields(uint16_t v, std::vector<ParameterField>& f) {
  f.emplace_back(int32_t(v));
}
void toFields(bool, std::vector<ParameterField>&) {}
void toFields(const std::string& v, std::vector<ParameterField>& f) {
  f.emplace_back(v);
}
void toFields(const Vec3f& v, std::vector<ParameterField>& f) {
  for (float c : v.elems) f.emplace_back(c);
}
void toFields(const Vec4f& v, std::vector<ParameterField>& f) {
  for (float c : v.elems) f.emplace_back(c);
}
void toFields(const Color& c, std::vector<ParameterField>& f) {
  for (float x : {c.r, c.g, c.b, c.a}) f.emplace_back(x);
}
void toFields(const Pose& p, std::vector<ParameterField>& f) {
  for (double x : {p.position[0], p.position[1], p.position[2], p.orientation.w, p.orientation.x,
                   p.orientation.y, p.orientation.z}) {
    f.emplace_back(static_cast<float>(x));
  }
}

}  // namespace

ParameterBundle::ParameterBundle(std::string name) {
  if (name.find(' ') != std::string::npos) {
    static std::once_flag warned;
    std::call_once(warned, [] { print("WARNING: Remove spaces from bundle name.\n"); });
  }
  mBundleName = name.empty() ? "bundle" : name;
  std::lock_guard<std::mutex> lock(gCountLock);
  int& count = gBundleCounts[name];
  mBundleIndex = count++;
}

std::string ParameterBundle::bundleAddress() const {
  return mBundlePrefix + "/" + mBundleName + "/" +
         (mBundleId.empty() ? std::to_string(mBundleIndex) : mBundleId);
}

void ParameterBundle::notify(ParameterMeta& parameter, const std::vector<ParameterField>& value,
                             ValueSource* source) {
  const std::string address = bundleAddress() + parameter.getFullAddress();
  for (auto& cb : mChangeCallbacks) cb(parameter, address, value, source);
}

template <class P>
bool ParameterBundle::forward(ParameterMeta& parameter) {
  auto* p = dynamic_cast<P*>(&parameter);
  if (!p) return false;
  using T = decltype(p->get());
  p->registerChangeCallback([this, p](T value, ValueSource* source) {
    std::vector<ParameterField> fields;
    toFields(value, fields);
    notify(*p, fields, source);
  });
  return true;
}

void ParameterBundle::addParameter(ParameterMeta& parameter) {
  mParameters.push_back(&parameter);
  // Parameter covers ParameterBool.
  const bool supported = forward<Parameter>(parameter) || forward<ParameterInt>(parameter) ||
                         forward<ParameterMenu>(parameter) || forward<ParameterString>(parameter) ||
                         forward<ParameterPose>(parameter) || forward<ParameterVec3>(parameter) ||
                         forward<ParameterVec4>(parameter) || forward<ParameterColor>(parameter) ||
                         forward<ParameterChoice>(parameter) || forward<Trigger>(parameter);
  if (!supported) {
    print("Unsupported Parameter type for bundle OSC dsitribution\n");
  }
}

void ParameterBundle::addBundle(ParameterBundle& bundle) {
  auto& list = mBundles[bundle.name()];
  list.push_back(&bundle);
  for (auto& cb : mBundlesCallbacks) cb(list, bundle.name());
}

}  // namespace vl
