#include "AppParameters.hpp"

#include <cmath>
#include <numbers>

namespace {
constexpr float kWide = 99999.0f;
}

AppParameters::AppParameters()
    : goToHome("goToHome", "", ""),
      makePitchMap("makePitchMap", "", ""),
      makePitchMapChromatic("makePitchMapChromatic", "", ""),
      screenshot("screenshot", "", ""),
      showStaticAtom("Show Static Atom", "Real-time", 0.0f, "", 0.0f, 1.0f),
      keyboardMode("KeyboardMode", "Real-time", 2, ""),
      triggerPresetSequence("Trigger Preset Sequence", "", 0.0f, "", 0.0f, 1.0f),
      availableSequences("Available Sequences", "", 0, ""),
      defaultPresets("DefaultPresets", "", 0, ""),
      storePitch("StorePitch", "", 1.0f, "", 0.0f, 1.0f),
      storeStartState("StoreStartState", "", 1.0f, "", 0.0f, 1.0f),
      storePose("StorePose", "", 1.0f, "", 0.0f, 1.0f),
      octaveOffset("OctaveOffset", "Real-time", 0, "", -4, 4),
      showPositionMarker("ShowPositionMarker", "", 0.0f, "", 0.0f, 1.0f),
      spreadX("spreadX", "", 0.2f, "", 0.0f, 5.0f),
      spreadY("spreadY", "", 0.0f, "", 0.0f, 5.0f),
      spreadZ("spreadZ", "", 0.0f, "", 0.0f, 5.0f),
      planeElevation("planeElevation", "", 0.0f, "", -90.0f, 90.0f),
      planeRotation("planeRotation", "", 0.0f, "", -180.0f, 180.0f),
      lineRotation("lineRotation", "", 0.0f, "", -180.0f, 180.0f),
      randomX("randomX", "", 0.0f, "", 0.0f, 1.0f),
      randomY("randomY", "", 0.0f, "", 0.0f, 1.0f),
      randomZ("randomZ", "", 0.0f, "", 0.0f, 1.0f),
      randomSize("randomSize", "", 0.0f, "", 0.0f, 5.0f),
      quatRotation("quatRotation", "", 0.0f, "", -180.0f, 180.0f),
      quatRotation2("quatRotation2", "", 0.0f, "", -180.0f, 180.0f),
      highShelfFreq("highShelfFreq", "", 2500.0f, "", 400.0f, 8000.0f),
      highShelfRes("highShelfRes", "", 0.1f, "", 0.00001f, 100.0f),
      filterType("filterType", "", 0, ""),
      useShelfFilters("useShelfFilters", "", 0.0f, "", 0.0f, 1.0f),
      startDrone("startDrone", "", 1.0f, "", 0.0f, 1.0f),
      mx("mx", "", 0.0f, "", -kWide, kWide),
      my("my", "", 0.0f, "", -kWide, kWide),
      mz("mz", "", 0.0f, "", -kWide, kWide) {
  // Filled here as well as by the application's start-up, so that a menu never holds an index
  // without a text.
  keyboardMode.setElements(keyboardModeNames());
  defaultPresets.setElements(defaultPresetNames());
  filterType.setElements(filterTypeNames());

  // Each rotation's callback runs before its own value is stored: it uses the new value for
  // its own term and the stored value of the other.
  quatRotation.registerChangeCallback([this](float value, vl::ValueSource* source) {
    applyOrientation(value, quatRotation2.get(), source);
  });
  quatRotation2.registerChangeCallback([this](float value, vl::ValueSource* source) {
    applyOrientation(quatRotation.get(), value, source);
  });

  highShelfFreq.registerChangeCallback([this](float value) {
    if (onOutputFilterFrequency) onOutputFilterFrequency(value);
  });
  highShelfRes.registerChangeCallback([this](float value) {
    if (onOutputFilterResonance) onOutputFilterResonance(value);
  });
  filterType.registerChangeCallback([this](int32_t index) {
    if (onOutputFilterType) onOutputFilterType(index);
  });
}

const std::vector<std::string>& AppParameters::keyboardModeNames() {
  static const std::vector<std::string> names{"Presets", "Navigation", "Events"};
  return names;
}

const std::vector<std::string>& AppParameters::defaultPresetNames() {
  static const std::vector<std::string> names{"Flower",        "Filaments",     "Fine",
                                              "Floating Sail", "Ghost",         "Momentary Spires",
                                              "Rose",          "Spool-Unspool", "Whirlwing"};
  return names;
}

const std::vector<std::string>& AppParameters::filterTypeNames() {
  // Index i selects biquad type i.
  static const std::vector<std::string> names{"low pass",    "high pass",  "resonant",
                                              "band reject", "all_pass",   "peaking",
                                              "low_shelf",   "high shelf", "smoothing"};
  return names;
}

vl::Quatd AppParameters::orientationFor(double rotation, double rotation2) {
  const double a = rotation * std::numbers::pi / 360.0;  // half angles
  const double b = rotation2 * std::numbers::pi / 360.0;
  const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
  return {ca * cb, -sa * sb, ca * sb, sa * cb};
}

void AppParameters::applyOrientation(float rotation, float rotation2, vl::ValueSource* source) {
  vl::ParameterPose* target = mOrientationTarget.load();
  if (!target) return;
  vl::Pose pose = target->get();
  pose.orientation = orientationFor(rotation, rotation2);
  target->set(pose, source);
}

std::vector<vl::ParameterMeta*> AppParameters::parameters() {
  return {&goToHome,
          &makePitchMap,
          &makePitchMapChromatic,
          &screenshot,
          &showStaticAtom,
          &keyboardMode,
          &triggerPresetSequence,
          &availableSequences,
          &defaultPresets,
          &storePitch,
          &storeStartState,
          &storePose,
          &octaveOffset,
          &showPositionMarker,
          &spreadX,
          &spreadY,
          &spreadZ,
          &planeElevation,
          &planeRotation,
          &lineRotation,
          &randomX,
          &randomY,
          &randomZ,
          &randomSize,
          &quatRotation,
          &quatRotation2,
          &highShelfFreq,
          &highShelfRes,
          &filterType,
          &useShelfFilters,
          &startDrone,
          &mx,
          &my,
          &mz};
}

std::vector<vl::ParameterMeta*> AppParameters::positionPresetParameters() {
  return {&spreadX,        &spreadY, &spreadZ, &planeRotation, &lineRotation,
          &planeElevation, &randomX, &randomY, &randomZ,       &randomSize};
}
