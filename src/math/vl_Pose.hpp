#pragma once

#include "math/vl_Quat.hpp"
#include "math/vl_Vec.hpp"

namespace vl {

// A position and an orientation. The camera convention of the whole framework: ux is right,
// uy is up and uf is forward, which is −z in the pose's own frame (OpenGL looks down −z).
struct Pose {
  Vec3d position{0.0, 0.0, 0.0};
  Quatd orientation{};

  constexpr Pose() = default;
  constexpr Pose(const Vec3d& p, const Quatd& q = {}) : position(p), orientation(q) {}

  Vec3d& pos() { return position; }
  const Vec3d& pos() const { return position; }
  Quatd& quat() { return orientation; }
  const Quatd& quat() const { return orientation; }

  Vec3d ux() const { return orientation.toVectorX(); }
  Vec3d uy() const { return orientation.toVectorY(); }
  Vec3d uf() const { return -orientation.toVectorZ(); }

  friend constexpr bool operator==(const Pose&, const Pose&) = default;
};

}  // namespace vl
