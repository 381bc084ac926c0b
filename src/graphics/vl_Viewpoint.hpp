#pragma once

#include "math/vl_Mat4.hpp"
#include "math/vl_Pose.hpp"

namespace vl {

// Camera optics. The focal length and eye separation feed the stereo displacement of the
// default shaders; the rest builds the projection.
struct Lens {
  double fovy = 30.0;  // vertical field of view, degrees
  double near = 0.1;
  double far = 100.0;
  double focalLength = 6.0;
  double eyeSep = 0.02;

  Mat4f projection(float aspect) const {
    return glm::perspective(glm::radians(static_cast<float>(fovy)), aspect,
                            static_cast<float>(near), static_cast<float>(far));
  }
};

// What the graphics draws through: a lens and the pose it looks from. The pose is not owned;
// a window's viewpoint follows its navigator's transformed pose.
class Viewpoint {
 public:
  Viewpoint() = default;
  explicit Viewpoint(const Pose& p, const Lens& l = {}) : mPose(&p), mLens(l) {}

  void pose(const Pose& p) { mPose = &p; }
  const Pose& pose() const { return mPose ? *mPose : mOwnPose; }
  Lens& lens() { return mLens; }
  const Lens& lens() const { return mLens; }

  Mat4f viewMatrix() const { return vl::viewMatrix(pose()); }
  Mat4f projMatrix(float aspect) const { return mLens.projection(aspect); }

 private:
  const Pose* mPose = nullptr;
  Pose mOwnPose;
  Lens mLens;
};

}  // namespace vl
