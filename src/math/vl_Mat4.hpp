#pragma once

// 4x4 matrices come from GLM (column-major, as OpenGL expects); this header adds the
// conversions between GLM and the framework's own vector, quaternion and pose types.
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "math/vl_Pose.hpp"

namespace vl {

using Mat4f = glm::mat4;
using Mat4d = glm::dmat4;

inline glm::vec3 toGlm(const Vec3f& v) {
  return {v[0], v[1], v[2]};
}
inline glm::dvec3 toGlm(const Vec3d& v) {
  return {v[0], v[1], v[2]};
}

// Rotation matrix of a quaternion.
template <class T>
glm::mat<4, 4, T> rotationMatrix(const Quat<T>& q) {
  glm::mat<4, 4, T> m(T(1));
  Vec<3, T> cx = q.toVectorX(), cy = q.toVectorY(), cz = q.toVectorZ();
  for (int r = 0; r < 3; ++r) {
    m[0][r] = cx[r];
    m[1][r] = cy[r];
    m[2][r] = cz[r];
  }
  return m;
}

// Model matrix that places an object at a pose.
inline Mat4f modelMatrix(const Pose& p) {
  glm::dmat4 m = rotationMatrix(p.orientation);
  m[3] = glm::dvec4(p.position[0], p.position[1], p.position[2], 1.0);
  return Mat4f(m);
}

// View matrix of a camera at a pose: the inverse of its model matrix.
inline Mat4f viewMatrix(const Pose& p) {
  glm::dmat4 rt = glm::transpose(rotationMatrix(p.orientation));
  glm::dvec4 t = rt * glm::dvec4(-p.position[0], -p.position[1], -p.position[2], 1.0);
  rt[3] = t;
  return Mat4f(rt);
}

}  // namespace vl
