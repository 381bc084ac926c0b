#include "ui/vl_Parameter.hpp"

#include <cmath>
#include <cstdio>

#include "core/vl_Console.hpp"

namespace vl {

namespace {

// Truncates like a cast but saturates, so NaN or huge floats cannot overflow the integer.
int32_t truncateToInt(float v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.f) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// Built in a packet of the caller's own, never in the sender's buffer: several threads may
// announce changes through one sender at once.
template <class... Args>
void sendMessage(osc::Send& sender, const std::string& address, Args... args) {
  osc::Packet packet(sender.capacity());
  packet.beginMessage(address);
  (packet.add(args), ...);
  packet.endMessage();
  sender.send(packet);
}

// "/registerParameter" name, group, default, prefix, min, max; inside a bundle
// "/registerBundleParameter" with the bundle name and id in front.
template <class V>
void sendRegistration(osc::Send& sender, ParameterMeta& p, const std::string& bundleName,
                      const std::string& id, V def, V min, V max) {
  osc::Packet packet(sender.capacity());
  if (bundleName.empty()) {
    packet.beginMessage("/registerParameter");
  } else {
    packet.beginMessage("/registerBundleParameter");
    packet.add(bundleName).add(id);
  }
  packet.add(p.getName()).add(p.getGroup()).add(def).add(p.getPrefix()).add(min).add(max);
  packet.endMessage();
  sender.send(packet);
}

template <class V>
void appendFloats(std::vector<ParameterField>& fields, const V& v, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) fields.emplace_back(static_cast<float>(v[i]));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Parameter

Parameter::Parameter(std::string parameterName, std::string group, float defaultValue,
                     std::string prefix, float min, float max)
    : ParameterWrapper<float>(std::move(parameterName), std::move(group), defaultValue,
                              std::move(prefix)) {
  mMin = min;
  mMax = max;
}

float Parameter::clamp(float value) const {
  if (value > mMax) value = mMax;
  if (value < mMin) value = mMin;
  return value;
}

void Parameter::set(float value, ValueSource* source) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  value = process(clamp(value));
  runCallbacks(value, source, true, true);
  store(value);
}

void Parameter::setQuiet(float value, void* receiver) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  value = process(clamp(value));
  if (receiver) runCallbacks(value, nullptr, true, true);
  store(value);
}

void Parameter::get(std::vector<ParameterField>& fields) {
  fields.emplace_back(get());
}

void Parameter::set(const std::vector<ParameterField>& fields) {
  if (checkFieldCount(fields, 1)) set(fields[0].get<float>(), nullptr);
}

void Parameter::sendValue(osc::Send& sender, std::string prefix) {
  sendMessage(sender, prefix + getFullAddress(), get());
}

void Parameter::sendMeta(osc::Send& sender, std::string bundleName, std::string id) {
  sendRegistration(sender, *this, bundleName, id, getDefault(), min(), max());
}

// ---------------------------------------------------------------------------------------------
// ParameterBool

ParameterBool::ParameterBool(std::string parameterName, std::string group, float defaultValue,
                             std::string prefix, float min, float max)
    : Parameter(std::move(parameterName), std::move(group), defaultValue, std::move(prefix), min,
                max) {}

void ParameterBool::get(std::vector<ParameterField>& fields) {
  fields.emplace_back(int32_t(get() == 1.0f ? 1 : 0));
}

void ParameterBool::set(const std::vector<ParameterField>& fields) {
  if (!checkFieldCount(fields, 1)) return;
  if (fields[0].type() == ParameterField::INT32) {
    set(fields[0].get<int32_t>() == 1 ? 1.0f : 0.0f, nullptr);
  } else if (fields[0].type() == ParameterField::FLOAT) {
    set(fields[0].get<float>(), nullptr);
  }
}

// ---------------------------------------------------------------------------------------------
// ParameterInt

ParameterInt::ParameterInt(std::string parameterName, std::string group, int32_t defaultValue,
                           std::string prefix, int32_t min, int32_t max)
    : ParameterWrapper<int32_t>(std::move(parameterName), std::move(group), defaultValue,
                                std::move(prefix)) {
  mMin = min;
  mMax = max;
}

int32_t ParameterInt::clamp(int32_t value) const {
  if (value > mMax) value = mMax;
  if (value < mMin) value = mMin;
  return value;
}

void ParameterInt::set(int32_t value, ValueSource* source) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  value = process(clamp(value));
  runCallbacks(value, source, true, true);
  store(value);
}

void ParameterInt::setQuiet(int32_t value, void* receiver) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  value = process(clamp(value));
  if (receiver) runCallbacks(value, nullptr, true, true);
  store(value);
}

void ParameterInt::setFromFloat(float value) {
  set(truncateToInt(value), nullptr);
}

void ParameterInt::get(std::vector<ParameterField>& fields) {
  fields.emplace_back(get());
}

void ParameterInt::set(const std::vector<ParameterField>& fields) {
  if (checkFieldCount(fields, 1)) set(fields[0].get<int32_t>(), nullptr);
}

void ParameterInt::sendValue(osc::Send& sender, std::string prefix) {
  sendMessage(sender, prefix + getFullAddress(), get());
}

void ParameterInt::sendMeta(osc::Send& sender, std::string bundleName, std::string id) {
  sendRegistration(sender, *this, bundleName, id, getDefault(), min(), max());
}

// ---------------------------------------------------------------------------------------------
// ParameterMenu

ParameterMenu::ParameterMenu(std::string parameterName, std::string group, int32_t defaultValue,
                             std::string prefix)
    : ParameterWrapper<int32_t>(std::move(parameterName), std::move(group), defaultValue,
                                std::move(prefix)) {}

void ParameterMenu::setElements(std::vector<std::string> elements) {
  std::lock_guard<std::mutex> lock(mMenuLock);
  mElements = std::move(elements);
}

std::vector<std::string> ParameterMenu::getElements() {
  std::lock_guard<std::mutex> lock(mMenuLock);
  return mElements;
}

std::string ParameterMenu::currentElement() {
  const int32_t index = get();
  std::lock_guard<std::mutex> lock(mMenuLock);
  if (index < 0 || static_cast<std::size_t>(index) >= mElements.size()) return {};
  return mElements[static_cast<std::size_t>(index)];
}

void ParameterMenu::selectElement(const std::string& text, bool quiet) {
  int32_t found = -1;
  {
    std::lock_guard<std::mutex> lock(mMenuLock);
    for (std::size_t i = 0; i < mElements.size(); ++i) {
      if (mElements[i] == text) {
        found = static_cast<int32_t>(i);
        break;
      }
    }
  }
  // Set outside the menu lock: callbacks may read the menu.
  if (found < 0) {
    printError("ERROR: Could not find element: %s\n", text.c_str());
  } else if (quiet) {
    setQuiet(found, nullptr);
  } else {
    set(found, nullptr);
  }
}

void ParameterMenu::setFromFloat(float value) {
  set(truncateToInt(value), nullptr);
}

void ParameterMenu::get(std::vector<ParameterField>& fields) {
  fields.emplace_back(currentElement());
}

void ParameterMenu::set(const std::vector<ParameterField>& fields) {
  if (checkFieldCount(fields, 1)) selectElement(fields[0].get<std::string>(), false);
}

void ParameterMenu::sendValue(osc::Send& sender, std::string prefix) {
  sendMessage(sender, prefix + getFullAddress(), get());
}

// ---------------------------------------------------------------------------------------------
// ParameterString

ParameterString::ParameterString(std::string parameterName, std::string group,
                                 std::string defaultValue, std::string prefix)
    : ParameterWrapper<std::string>(std::move(parameterName), std::move(group),
                                    std::move(defaultValue), std::move(prefix)) {}

void ParameterString::setFromFloat(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", value);
  set(std::string(text), nullptr);
}

void ParameterString::get(std::vector<ParameterField>& fields) {
  fields.emplace_back(get());
}

void ParameterString::set(const std::vector<ParameterField>& fields) {
  if (checkFieldCount(fields, 1)) set(fields[0].get<std::string>(), nullptr);
}

void ParameterString::sendValue(osc::Send& sender, std::string prefix) {
  sendMessage(sender, prefix + getFullAddress(), get());
}

void ParameterString::sendMeta(osc::Send& sender, std::string bundleName, std::string id) {
  sendRegistration(sender, *this, bundleName, id, getDefault(), min(), max());
}

// ---------------------------------------------------------------------------------------------
// ParameterPose

ParameterPose::ParameterPose(std::string parameterName, std::string group, Pose defaultValue,
                             std::string prefix)
    : ParameterWrapper<Pose>(std::move(parameterName), std::move(group), defaultValue,
                             std::move(prefix)) {}

void ParameterPose::get(std::vector<ParameterField>& fields) {
  const Pose p = get();
  appendFloats(fields, p.position, 3);
  const Quatd& q = p.orientation;
  for (double c : {q.w, q.x, q.y, q.z}) fields.emplace_back(static_cast<float>(c));
}

void ParameterPose::set(const std::vector<ParameterField>& fields) {
  if (!checkFieldCount(fields, 7)) return;
  double v[7];
  for (int i = 0; i < 7; ++i) v[i] = fields[static_cast<std::size_t>(i)].get<float>();
  set(Pose({v[0], v[1], v[2]}, Quatd(v[3], v[4], v[5], v[6])), nullptr);
}

void ParameterPose::sendValue(osc::Send& sender, std::string prefix) {
  const Pose p = get();
  const auto f = [](double d) { return static_cast<float>(d); };
  sendMessage(sender, prefix + getFullAddress(), f(p.position[0]), f(p.position[1]),
              f(p.position[2]), f(p.orientation.w), f(p.orientation.x), f(p.orientation.y),
              f(p.orientation.z));
}

// ---------------------------------------------------------------------------------------------
// ParameterVec3, ParameterVec4, ParameterColor

ParameterVec3::ParameterVec3(std::string parameterName, std::string group, Vec3f defaultValue,
                             std::string prefix)
    : ParameterWrapper<Vec3f>(std::move(parameterName), std::move(group), defaultValue,
                              std::move(prefix)) {}

void ParameterVec3::get(std::vector<ParameterField>& fields) {
  appendFloats(fields, get(), 3);
}

void ParameterVec3::set(const std::vector<ParameterField>& fields) {
  if (!checkFieldCount(fields, 3)) return;
  set(Vec3f(fields[0].get<float>(), fields[1].get<float>(), fields[2].get<float>()), nullptr);
}

void ParameterVec3::sendValue(osc::Send& sender, std::string prefix) {
  const Vec3f v = get();
  sendMessage(sender, prefix + getFullAddress(), v[0], v[1], v[2]);
}

ParameterVec4::ParameterVec4(std::string parameterName, std::string group, Vec4f defaultValue,
                             std::string prefix)
    : ParameterWrapper<Vec4f>(std::move(parameterName), std::move(group), defaultValue,
                              std::move(prefix)) {}

void ParameterVec4::get(std::vector<ParameterField>& fields) {
  appendFloats(fields, get(), 4);
}

void ParameterVec4::set(const std::vector<ParameterField>& fields) {
  if (!checkFieldCount(fields, 4)) return;
  set(Vec4f(fields[0].get<float>(), fields[1].get<float>(), fields[2].get<float>(),
            fields[3].get<float>()),
      nullptr);
}

void ParameterVec4::sendValue(osc::Send& sender, std::string prefix) {
  const Vec4f v = get();
  sendMessage(sender, prefix + getFullAddress(), v[0], v[1], v[2], v[3]);
}

ParameterColor::ParameterColor(std::string parameterName, std::string group, Color defaultValue,
                               std::string prefix)
    : ParameterWrapper<Color>(std::move(parameterName), std::move(group), defaultValue,
                              std::move(prefix)) {}

void ParameterColor::get(std::vector<ParameterField>& fields) {
  appendFloats(fields, get(), 4);
}

void ParameterColor::set(const std::vector<ParameterField>& fields) {
  if (!checkFieldCount(fields, 4)) return;
  set(Color(fields[0].get<float>(), fields[1].get<float>(), fields[2].get<float>(),
            fields[3].get<float>()),
      nullptr);
}

void ParameterColor::sendValue(osc::Send& sender, std::string prefix) {
  const Color c = get();
  sendMessage(sender, prefix + getFullAddress(), c.r, c.g, c.b, c.a);
}

// ---------------------------------------------------------------------------------------------
// ParameterChoice, Trigger

ParameterChoice::ParameterChoice(std::string parameterName, std::string group,
                                 uint16_t defaultValue, std::string prefix)
    : ParameterWrapper<uint16_t>(std::move(parameterName), std::move(group), defaultValue,
                                 std::move(prefix)) {}

void ParameterChoice::get(std::vector<ParameterField>& fields) {
  fields.emplace_back(static_cast<int32_t>(get()));
}

void ParameterChoice::set(const std::vector<ParameterField>& fields) {
  if (checkFieldCount(fields, 1)) set(static_cast<uint16_t>(fields[0].get<int32_t>()), nullptr);
}

void ParameterChoice::sendValue(osc::Send& sender, std::string prefix) {
  sendMessage(sender, prefix + getFullAddress(), static_cast<int32_t>(get()));
}

Trigger::Trigger(std::string parameterName, std::string group, std::string prefix)
    : ParameterWrapper<bool>(std::move(parameterName), std::move(group), false, std::move(prefix)) {
}

void Trigger::sendValue(osc::Send& sender, std::string prefix) {
  sendMessage(sender, prefix + getFullAddress());
}

}  // namespace vl
