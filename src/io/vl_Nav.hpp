#pragma once

#include "math/vl_Pose.hpp"

namespace vl {

// A camera pose driven by velocities, with exponential smoothing so that it coasts to rest.
//
// Axes follow the pose convention: ux is right, uy is up and uz is FORWARD, which is the pose's
// −z (the camera looks down −z), so uz() == Pose::uf(). Moves and nudges are given in these
// axes (right, up, forward); spins are turn (about up), pitch (about right) and roll.
// The transformed pose is the pose moved back along uz by the pull-back distance: that is
// where the viewpoint looks from.
class Nav : public Pose {
 public:
  Nav() = default;
  explicit Nav(const Pose& p) : Pose(p), mTransformed(p), mHome(p) {}

  // Advances by a step of size s (1 = one frame's worth of the velocities).
  void step(double s = 1.0);
  // Stops every motion: velocities, smoothed values, pending turns and nudges.
  void halt();
  // Halts and returns to the home pose.
  void home();
  // Makes the current pose (or the given one) the home pose.
  void setHome() { mHome = *this; }
  void setHome(const Pose& p) { mHome = p; }
  const Pose& homePose() const { return mHome; }
  // Replaces the pose; motion state is kept.
  void set(const Pose& p);

  Vec3d uz() const { return uf(); }

  // 0 = none, towards 1 = heavy.
  void smooth(double v) { mSmooth = v; }
  double smooth() const { return mSmooth; }
  double lastStep() const { return mStep; }

  // Velocities per step along right, up, forward; set by the input control.
  Vec3d& move() { return mMove0; }
  const Vec3d& move() const { return mMove0; }
  void moveR(double v) { mMove0[0] = v; }
  void moveU(double v) { mMove0[1] = v; }
  void moveF(double v) { mMove0[2] = v; }
  const Vec3d& moveSmooth() const { return mMove1; }

  // Rates per step, radians: turn, pitch, roll.
  Vec3d& spin() { return mSpin0; }
  const Vec3d& spin() const { return mSpin0; }
  void turnRate(double r) { mSpin0[0] = r; }
  void pitchRate(double r) { mSpin0[1] = r; }
  void rollRate(double r) { mSpin0[2] = r; }
  const Vec3d& spinSmooth() const { return mSpin1; }

  // One-shot turn (turn, pitch, roll, radians) and nudge (right, up, forward), used up by the
  // next step.
  Vec3d& turn() { return mTurn; }
  const Vec3d& turn() const { return mTurn; }
  Vec3d& nudge() { return mNudge; }
  const Vec3d& nudge() const { return mNudge; }

  // Target distance to pull back; the current distance follows it with the smoothing.
  void pullBack(double d) { mPullBack0 = d < 0.0 ? 0.0 : d; }
  double pullBack() const { return mPullBack0; }
  double pullBackCurrent() const { return mPullBack1; }

  // The pose the viewpoint uses; stays at the same address for the life of the Nav.
  const Pose& transformed() const { return mTransformed; }

 private:
  void updateTransformed();

  Vec3d mMove0{0.0, 0.0, 0.0}, mMove1{0.0, 0.0, 0.0};
  Vec3d mSpin0{0.0, 0.0, 0.0}, mSpin1{0.0, 0.0, 0.0};
  Vec3d mTurn{0.0, 0.0, 0.0}, mNudge{0.0, 0.0, 0.0};
  double mSmooth = 0.0;
  double mStep = 1.0;
  double mPullBack0 = 0.0, mPullBack1 = 0.0;
  Pose mTransformed;
  Pose mHome;
};

}  // namespace vl
