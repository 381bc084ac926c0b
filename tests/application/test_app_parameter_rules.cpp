// The rules that tie application parameters to their targets: the static voice's orientation
// from "quatRotation" and "quatRotation2", and the output filter hooks.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "application/AppParameters.hpp"
#include "math/vl_Vec.hpp"

using vl::Quatd;
using vl::Vec3d;

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

Quatd about(double degrees, Vec3d axis) {
  return Quatd::fromAxisAngle(degrees * kDeg, axis);
}

// Equal as rotations: q and -q turn vectors alike.
::testing::AssertionResult sameRotation(const Quatd& a, const Quatd& b, double tol = 1e-6) {
  const double dot = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  if (std::abs(std::abs(dot) - 1.0) < tol) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << a << " vs " << b;
}

void expectNear(const Vec3d& a, const Vec3d& b) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], 1e-9) << "component " << i;
}

}  // namespace

TEST(StaticVoiceOrientation, IsATurnAboutZThenAboutTheTurnedY) {
  const Vec3d z{0, 0, 1}, y{0, 1, 0};
  for (double r1 : {0.0, 30.0, -75.0, 90.0, 180.0}) {
    for (double r2 : {0.0, 45.0, -120.0, 90.0, -180.0}) {
      SCOPED_TRACE(testing::Message() << r1 << ", " << r2);
      const Quatd q = AppParameters::orientationFor(r1, r2);
      EXPECT_NEAR(q.magSqr(), 1.0, 1e-12);
      EXPECT_TRUE(sameRotation(q, about(r1, z) * about(r2, y)));
      // As a vector map: the y turn acts in the frame that the z turn produced.
      const Vec3d v{0.3, -0.7, 0.2};
      expectNear(q.rotate(v), about(r1, z).rotate(about(r2, y).rotate(v)));
    }
  }
  // Worked by hand: 90° about z sends x to y; then 90° about the turned y sends x to −z.
  expectNear(AppParameters::orientationFor(90, 0).rotate({1, 0, 0}), {0, 1, 0});
  expectNear(AppParameters::orientationFor(0, 90).rotate({1, 0, 0}), {0, 0, -1});
  expectNear(AppParameters::orientationFor(90, 90).rotate({1, 0, 0}), {0, 0, -1});
  expectNear(AppParameters::orientationFor(90, 90).rotate({0, 0, 1}), {0, 1, 0});
}

TEST(StaticVoiceOrientation, EitherRotationKeepsThePositionAndUsesBothValues) {
  AppParameters app;
  vl::ParameterPose pose("_pose");
  pose.set(vl::Pose(Vec3d{1.5, -2.0, 0.25}, about(10, {1, 0, 0})));
  app.setOrientationTarget(&pose);

  app.quatRotation.set(30.0f);
  EXPECT_TRUE(sameRotation(pose.get().orientation, AppParameters::orientationFor(30, 0)));
  app.quatRotation2.set(-60.0f);
  EXPECT_TRUE(sameRotation(pose.get().orientation, AppParameters::orientationFor(30, -60)));
  app.quatRotation.set(45.0f);  // the other term is the stored -60
  EXPECT_TRUE(sameRotation(pose.get().orientation, AppParameters::orientationFor(45, -60)));
  EXPECT_EQ(pose.get().position, (Vec3d{1.5, -2.0, 0.25}));

  app.quatRotation2.set(500.0f);  // clamped before it reaches the rule
  EXPECT_TRUE(sameRotation(pose.get().orientation, AppParameters::orientationFor(45, 180)));
}

TEST(StaticVoiceOrientation, PassesTheChangesSourceToThePose) {
  AppParameters app;
  vl::ParameterPose pose("_pose");
  app.setOrientationTarget(&pose);
  std::vector<vl::ValueSource*> sources;
  pose.registerChangeCallback([&](vl::Pose, vl::ValueSource* s) { sources.push_back(s); });

  vl::ValueSource peer{"127.0.0.1", 9011};
  app.quatRotation.set(20.0f, &peer);
  app.quatRotation2.set(20.0f);
  EXPECT_EQ(sources, (std::vector<vl::ValueSource*>{&peer, nullptr}));
}

TEST(StaticVoiceOrientation, WithoutATargetNothingHappensAndTargetsCanChange) {
  AppParameters app;
  app.quatRotation.set(90.0f);  // no target: must not crash
  EXPECT_EQ(app.quatRotation.get(), 90.0f);

  vl::ParameterPose first("_pose"), second("_pose");
  app.setOrientationTarget(&first);
  app.quatRotation2.set(90.0f);
  app.setOrientationTarget(&second);
  app.quatRotation.set(0.0f);
  EXPECT_TRUE(sameRotation(first.get().orientation, AppParameters::orientationFor(90, 90)));
  EXPECT_TRUE(sameRotation(second.get().orientation, AppParameters::orientationFor(0, 90)));
  app.setOrientationTarget(nullptr);
  app.quatRotation.set(-90.0f);
  EXPECT_TRUE(sameRotation(second.get().orientation, AppParameters::orientationFor(0, 90)));
}

TEST(OutputFilterHooks, ReceiveClampedValuesOnlyOnceInstalled) {
  AppParameters app;
  app.highShelfFreq.set(1000.0f);  // no hooks yet
  std::vector<float> freqs, resonances;
  std::vector<int> types;
  app.onOutputFilterFrequency = [&](float v) { freqs.push_back(v); };
  app.onOutputFilterResonance = [&](float v) { resonances.push_back(v); };
  app.onOutputFilterType = [&](int v) { types.push_back(v); };

  app.highShelfFreq.set(12000.0f);
  app.highShelfFreq.set(100.0f);
  app.highShelfRes.set(0.0f);
  app.highShelfRes.set(2.0f);
  app.filterType.selectElement("peaking");
  app.filterType.set(8);

  EXPECT_EQ(freqs, (std::vector<float>{8000.0f, 400.0f}));
  EXPECT_EQ(resonances, (std::vector<float>{0.00001f, 2.0f}));
  EXPECT_EQ(types, (std::vector<int>{5, 8}));
}
