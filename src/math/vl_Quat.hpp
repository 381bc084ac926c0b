#pragma once

#include <cmath>
#include <ostream>

#include "math/vl_Vec.hpp"

namespace vl {

// Rotation quaternion stored as w, x, y, z (the order in which poses are sent and stored).
template <class T>
struct Quat {
  T w = 1, x = 0, y = 0, z = 0;

  constexpr Quat() = default;
  constexpr Quat(T w_, T x_, T y_, T z_) : w(w_), x(x_), y(y_), z(z_) {}
  template <class U>
  constexpr explicit Quat(const Quat<U>& q)
      : w(static_cast<T>(q.w)),
        x(static_cast<T>(q.x)),
        y(static_cast<T>(q.y)),
        z(static_cast<T>(q.z)) {}

  static constexpr Quat identity() { return {}; }
  static Quat fromAxisAngle(T radians, const Vec<3, T>& axis) {
    Vec<3, T> a = axis.normalized();
    T s = std::sin(radians / 2);
    return {std::cos(radians / 2), a[0] * s, a[1] * s, a[2] * s};
  }

  constexpr T magSqr() const { return w * w + x * x + y * y + z * z; }
  T mag() const { return std::sqrt(magSqr()); }
  Quat normalized() const {
    T m = mag();
    return m > T(0) ? Quat{w / m, x / m, y / m, z / m} : Quat{};
  }
  Quat& normalize() { return *this = normalized(); }
  constexpr Quat conjugate() const { return {w, -x, -y, -z}; }

  // Hamilton product: (a * b) applied to a vector rotates by b first, then by a.
  friend constexpr Quat operator*(const Quat& a, const Quat& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
            a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
  }
  Quat& operator*=(const Quat& b) { return *this = *this * b; }
  friend constexpr bool operator==(const Quat&, const Quat&) = default;

  constexpr Vec<3, T> rotate(const Vec<3, T>& v) const {
    // v' = v + 2w(q×v) + 2 q×(q×v), with q the vector part.
    Vec<3, T> q{x, y, z};
    Vec<3, T> t = cross(q, v) * T(2);
    return v + t * w + cross(q, t);
  }
  constexpr Vec<3, T> toVectorX() const { return rotate({T(1), T(0), T(0)}); }
  constexpr Vec<3, T> toVectorY() const { return rotate({T(0), T(1), T(0)}); }
  constexpr Vec<3, T> toVectorZ() const { return rotate({T(0), T(0), T(1)}); }

  // Column-major 3x3 rotation matrix (m[col * 3 + row]), as OpenGL lays out matrices.
  template <class M>
  void toMatrix3(M& m) const {
    Vec<3, T> cx = toVectorX(), cy = toVectorY(), cz = toVectorZ();
    for (int r = 0; r < 3; ++r) {
      m[0 * 3 + r] = cx[r];
      m[1 * 3 + r] = cy[r];
      m[2 * 3 + r] = cz[r];
    }
  }
};

template <class T>
std::ostream& operator<<(std::ostream& os, const Quat<T>& q) {
  return os << "Quat(" << q.w << ", " << q.x << ", " << q.y << ", " << q.z << ')';
}

using Quatf = Quat<float>;
using Quatd = Quat<double>;

}  // namespace vl
