#pragma once

#include <cstdint>

#include "math/vl_Mat4.hpp"
#include "math/vl_Pose.hpp"
#include "math/vl_Vec.hpp"

namespace vl {

// One hand controller as the headset last read it. Button masks use the runtime's bits
// (1 << button id): 1 menu, 2 grip, 32 touchpad, 33 trigger.
struct VRController {
  int deviceIndex = -1;  // -1 until the runtime names the device of its hand
  Mat4f mat{1.f};
  Pose pose;
  Vec3f vel{0.f, 0.f, 0.f};  // change of position since the previous frame
  std::uint64_t buttonsHeld = 0, buttonsPressed = 0, buttonsReleased = 0;
  bool touchpadPressed = false, touchpadTouched = false;
  bool triggerPressed = false, triggerTouched = false;
  bool systemPressed = false;
  float touchpadX = 0.f, touchpadY = 0.f;
  float touchpadDX = 0.f, touchpadDY = 0.f;
  bool triggerOn = false;
  float triggerThreshold = 0.9f;
  float triggerValue = 0.f;
  bool gripPressed = false;

  bool pressed(int button) const { return (buttonsPressed >> button) & 1u; }
  bool released(int button) const { return (buttonsReleased >> button) & 1u; }
  bool held(int button) const { return (buttonsHeld >> button) & 1u; }
};

}  // namespace vl
