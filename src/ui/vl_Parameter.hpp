#pragma once

// The parameter kinds: float (and its 0/1 form), integer, menu, text, pose, vectors, colour,
// 16-bit choice and trigger.

#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "math/vl_Color.hpp"
#include "math/vl_Pose.hpp"
#include "math/vl_Vec.hpp"
#include "ui/vl_ParameterMeta.hpp"

namespace vl {

// A float clamped to [min, max]; when min exceeds max, min wins.
class Parameter : public ParameterWrapper<float> {
 public:
  Parameter(std::string parameterName, std::string group = "", float defaultValue = 0.0f,
            std::string prefix = "", float min = std::numeric_limits<float>::lowest(),
            float max = std::numeric_limits<float>::max());

  using ParameterWrapper<float>::get;
  using ParameterWrapper<float>::set;

  void set(float value, ValueSource* source = nullptr) override;
  // With a receiver both callback lists run (the second with a null source).
  void setQuiet(float value, void* receiver = nullptr) override;

  float asFloat() override { return get(); }
  void setFromFloat(float value) override { set(value, nullptr); }
  void get(std::vector<ParameterField>& fields) override;
  void set(const std::vector<ParameterField>& fields) override;
  void sendValue(osc::Send& sender, std::string prefix = "") override;
  void sendMeta(osc::Send& sender, std::string bundleName = "", std::string id = "") override;

 protected:
  float clamp(float value) const;
};

// A float used as 0/1; its field form is an integer.
class ParameterBool : public Parameter {
 public:
  ParameterBool(std::string parameterName, std::string group = "", float defaultValue = 0.0f,
                std::string prefix = "", float min = 0.0f, float max = 1.0f);

  using Parameter::get;
  using Parameter::set;

  void get(std::vector<ParameterField>& fields) override;
  // INT32 1 gives 1.0 and any other integer 0.0; a FLOAT is taken as is; texts are ignored.
  void set(const std::vector<ParameterField>& fields) override;
};

class ParameterInt : public ParameterWrapper<int32_t> {
 public:
  ParameterInt(std::string parameterName, std::string group = "", int32_t defaultValue = 0,
               std::string prefix = "", int32_t min = std::numeric_limits<int32_t>::min(),
               int32_t max = std::numeric_limits<int32_t>::max());

  using ParameterWrapper<int32_t>::get;
  using ParameterWrapper<int32_t>::set;

  void set(int32_t value, ValueSource* source = nullptr) override;
  void setQuiet(int32_t value, void* receiver = nullptr) override;

  float asFloat() override { return static_cast<float>(get()); }
  void setFromFloat(float value) override;
  void get(std::vector<ParameterField>& fields) override;
  void set(const std::vector<ParameterField>& fields) override;
  void sendValue(osc::Send& sender, std::string prefix = "") override;
  void sendMeta(osc::Send& sender, std::string bundleName = "", std::string id = "") override;

 protected:
  int32_t clamp(int32_t value) const;
};

// An index into a list of texts.
class ParameterMenu : public ParameterWrapper<int32_t> {
 public:
  ParameterMenu(std::string parameterName, std::string group = "", int32_t defaultValue = 0,
                std::string prefix = "");

  using ParameterWrapper<int32_t>::get;
  using ParameterWrapper<int32_t>::set;

  void setElements(std::vector<std::string> elements);
  std::vector<std::string> getElements();
  // The text at the current index; empty when the index is outside the list.
  std::string currentElement();
  // Selects the element equal to text; an unknown text is reported and changes nothing.
  void selectElement(const std::string& text, bool quiet = false);

  void setFromFloat(float value) override;
  void get(std::vector<ParameterField>& fields) override;
  void set(const std::vector<ParameterField>& fields) override;
  void sendValue(osc::Send& sender, std::string prefix = "") override;

 private:
  std::mutex mMenuLock;
  std::vector<std::string> mElements;
};

class ParameterString : public ParameterWrapper<std::string> {
 public:
  ParameterString(std::string parameterName, std::string group = "", std::string defaultValue = "",
                  std::string prefix = "");

  using ParameterWrapper<std::string>::get;
  using ParameterWrapper<std::string>::set;

  // Throws std::invalid_argument for a non-numeric text, std::out_of_range when too large.
  float asFloat() override { return std::stof(get()); }
  void setFromFloat(float value) override;
  void get(std::vector<ParameterField>& fields) override;
  void set(const std::vector<ParameterField>& fields) override;
  void sendValue(osc::Send& sender, std::string prefix = "") override;
  void sendMeta(osc::Send& sender, std::string bundleName = "", std::string id = "") override;
};

// Fields and OSC form: position x, y, z, then the quaternion w, x, y, z, as floats.
class ParameterPose : public ParameterWrapper<Pose> {
 public:
  ParameterPose(std::string parameterName, std::string group = "", Pose defaultValue = Pose(),
                std::string prefix = "");

  using ParameterWrapper<Pose>::get;
  using ParameterWrapper<Pose>::set;

  void get(std::vector<ParameterField>& fields) override;
  void set(const std::vector<ParameterField>& fields) override;
  void sendValue(osc::Send& sender, std::string prefix = "") override;
};

class ParameterVec3 : public ParameterWrapper<Vec3f> {
 public:
  ParameterVec3(std::string parameterName, std::string group = "", Vec3f defaultValue = Vec3f(),
                std::string prefix = "");

  using ParameterWrapper<Vec3f>::get;
  using ParameterWrapper<Vec3f>::set;

  void get(std::vector<ParameterField>& fields) override;
  void set(const std::vector<ParameterField>& fields) override;
  void sendValue(osc::Send& sender, std::string prefix = "") override;
};

class ParameterVec4 : public ParameterWrapper<Vec4f> {
 public:
  ParameterVec4(std::string parameterName, std::string group = "", Vec4f defaultValue = Vec4f(),
                std::string prefix = "");

  using ParameterWrapper<Vec4f>::get;
  using ParameterWrapper<Vec4f>::set;

  void get(std::vector<ParameterField>& fields) override;
  void set(const std::vector<ParameterField>& fields) override;
  void sendValue(osc::Send& sender, std::string prefix = "") override;
};

// Red, green, blue, alpha.
class ParameterColor : public ParameterWrapper<Color> {
 public:
  ParameterColor(std::string parameterName, std::string group = "", Color defaultValue = Color(),
                 std::string prefix = "");

  using ParameterWrapper<Color>::get;
  using ParameterWrapper<Color>::set;

  void get(std::vector<ParameterField>& fields) override;
  void set(const std::vector<ParameterField>& fields) override;
  void sendValue(osc::Send& sender, std::string prefix = "") override;
};

// A 16-bit set of choices; sent as a 32-bit integer.
class ParameterChoice : public ParameterWrapper<uint16_t> {
 public:
  ParameterChoice(std::string parameterName, std::string group = "", uint16_t defaultValue = 0,
                  std::string prefix = "");

  using ParameterWrapper<uint16_t>::get;
  using ParameterWrapper<uint16_t>::set;

  void get(std::vector<ParameterField>& fields) override;
  void set(const std::vector<ParameterField>& fields) override;
  void sendValue(osc::Send& sender, std::string prefix = "") override;
};

// A momentary event; its OSC form is a message without arguments.
class Trigger : public ParameterWrapper<bool> {
 public:
  Trigger(std::string parameterName, std::string group = "", std::string prefix = "");

  using ParameterWrapper<bool>::get;
  using ParameterWrapper<bool>::set;

  float asFloat() override { return get() ? 1.0f : 0.0f; }
  void setFromFloat(float value) override { set(value != 0.0f, nullptr); }
  void sendValue(osc::Send& sender, std::string prefix = "") override;
};

}  // namespace vl
