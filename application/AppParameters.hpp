#pragma once

// The application's own parameters, in construction order, with the rules that tie them to
// their targets. The application object holds them as a member or base; the framework's
// "gain" (group "sound", prefix "vantapp") lives in the framework's base class.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "math/vl_Quat.hpp"
#include "ui/vl_Parameter.hpp"

class AppParameters {
 public:
  AppParameters();
  AppParameters(const AppParameters&) = delete;
  AppParameters& operator=(const AppParameters&) = delete;

  vl::Trigger goToHome;
  vl::Trigger makePitchMap;
  vl::Trigger makePitchMapChromatic;
  vl::Trigger screenshot;
  vl::ParameterBool showStaticAtom;  // "Show Static Atom": the mode switch
  vl::ParameterMenu keyboardMode;    // "Presets", "Navigation", "Events"
  vl::ParameterBool triggerPresetSequence;
  vl::ParameterMenu availableSequences;  // filled with the sequence names found
  vl::ParameterMenu defaultPresets;
  vl::ParameterBool storePitch;
  vl::ParameterBool storeStartState;
  vl::ParameterBool storePose;
  vl::ParameterInt octaveOffset;
  vl::ParameterBool showPositionMarker;
  // Voice placement, stored in position presets.
  vl::Parameter spreadX;
  vl::Parameter spreadY;
  vl::Parameter spreadZ;
  vl::Parameter planeElevation;  // degrees
  vl::Parameter planeRotation;   // degrees
  vl::Parameter lineRotation;    // degrees
  vl::Parameter randomX;
  vl::Parameter randomY;
  vl::Parameter randomZ;
  vl::Parameter randomSize;
  // Orientation of the static voice, degrees: about z, then about the turned y axis.
  vl::Parameter quatRotation;
  vl::Parameter quatRotation2;
  // Output filters.
  vl::Parameter highShelfFreq;  // Hz
  vl::Parameter highShelfRes;
  vl::ParameterMenu filterType;  // menu index = filter type number
  vl::ParameterBool useShelfFilters;
  vl::ParameterBool startDrone;  // enables the automatic return to static-atom mode
  // Navigation velocity.
  vl::Parameter mx;
  vl::Parameter my;
  vl::Parameter mz;

  static const std::vector<std::string>& keyboardModeNames();
  static const std::vector<std::string>& defaultPresetNames();
  static const std::vector<std::string>& filterTypeNames();

  // The orientation that "quatRotation" and "quatRotation2" (degrees) give: a turn about z by
  // the first, then about the turned y axis by the second, that is Rz · Ry.
  static vl::Quatd orientationFor(double quatRotation, double quatRotation2);

  // The pose whose orientation follows "quatRotation" and "quatRotation2" (the static voice's
  // "_pose"); null leaves the rule idle. A change of either rotation keeps the pose's position
  // and replaces its orientation, passing the change's source on so that the peer that sent
  // the rotation (and computes the same pose itself) is not sent the pose.
  void setOrientationTarget(vl::ParameterPose* pose) { mOrientationTarget.store(pose); }
  vl::ParameterPose* orientationTarget() const { return mOrientationTarget.load(); }

  // Output filter hooks, for the application once its per-channel biquads exist: each is
  // called with the new (clamped) value on the setting thread. Install before the parameters
  // are exposed to other threads.
  std::function<void(float)> onOutputFilterFrequency;  // "highShelfFreq"
  std::function<void(float)> onOutputFilterResonance;  // "highShelfRes"
  std::function<void(int)> onOutputFilterType;         // "filterType" menu index

  // Every parameter in construction order.
  std::vector<vl::ParameterMeta*> parameters();
  // The rows that position presets store after the voice's pose and size, in their stored
  // order (plane rotation and line rotation before plane elevation).
  std::vector<vl::ParameterMeta*> positionPresetParameters();

 private:
  void applyOrientation(float rotation, float rotation2, vl::ValueSource* source);

  std::atomic<vl::ParameterPose*> mOrientationTarget{nullptr};
};
