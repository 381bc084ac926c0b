#pragma once

#include "io/vl_Nav.hpp"
#include "io/vl_WindowEventHandler.hpp"

namespace vl {

// Turns keys (and, when enabled, mouse drags) into velocities of a Nav.
//   a/d left/right, c/e down/up, w/x forward/back; arrows turn and pitch; q/z roll;
//   s halts, ` goes home; alt-Up/alt-Down shrink/grow the pull-back.
//   Alt makes moves 10 times faster, shift 10 times slower. Keys held with control are left
//   for the application.
class NavInputControl : public WindowEventHandler {
 public:
  explicit NavInputControl(Nav& nav, double moveSpeed = 0.125, double turnSpeedDegrees = 2.0)
      : mNav(&nav), mMoveSpeed(moveSpeed), mTurnSpeed(turnSpeedDegrees) {}

  bool keyDown(const Keyboard& k) override;
  bool keyUp(const Keyboard& k) override;
  bool mouseDrag(const Mouse& m) override;

  Nav& nav() { return *mNav; }
  void nav(Nav& n) { mNav = &n; }
  double moveSpeed() const { return mMoveSpeed; }
  void moveSpeed(double v) { mMoveSpeed = v; }
  // Degrees per step.
  double turnSpeed() const { return mTurnSpeed; }
  void turnSpeed(double degrees) { mTurnSpeed = degrees; }
  bool mouseNavigation() const { return mMouseNav; }
  void mouseNavigation(bool on) { mMouseNav = on; }
  // An inactive control lets every event pass.
  bool active() const { return mActive; }
  void active(bool on) { mActive = on; }

 private:
  Nav* mNav;
  double mMoveSpeed;
  double mTurnSpeed;
  bool mMouseNav = false;
  bool mActive = true;
};

}  // namespace vl
