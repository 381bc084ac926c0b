#pragma once

#include <array>
#include <cmath>

#include "WaveTables.hpp"
#include "math/vl_Vec.hpp"

// The geometry of one sample point, shared by every wave function evaluated there:
// distance, polar and azimuthal angles as sines and cosines (with the small offsets that keep
// the origin and the z axis well defined), and the powers sin^k(theta) and e^{i k phi} up to
// the largest |m| in use.
struct SphericalPoint {
  static constexpr double kEpsilon = 1e-6;

  double r = kEpsilon;
  double cosTheta = 0.0, sinTheta = 0.0;
  double cosPhi = 0.0, sinPhi = 0.0;
  int powers = 0;  // entries 0 ... powers of the tables below are filled
  // Left unset beyond `powers`: filling them costs more than the rest of a point's geometry.
  std::array<double, WaveTables::kMaxAbsM + 1> sinThetaPow;
  std::array<double, WaveTables::kMaxAbsM + 1> cosMPhi;
  std::array<double, WaveTables::kMaxAbsM + 1> sinMPhi;

  SphericalPoint() = default;
  SphericalPoint(const vl::Vec3d& p, int maxAbsM) { set(p, maxAbsM); }

  void set(const vl::Vec3d& p, int maxAbsM) {
    const double x = p[0], y = p[1], z = p[2];
    double xy2 = x * x + y * y;
    double r2 = xy2 + z * z;
    if (!(r2 < 1e300)) {
      setFar(p);
    } else {
      const double rhoXY = std::sqrt(xy2) + kEpsilon;
      r = std::sqrt(r2) + kEpsilon;
      const double invR = 1.0 / r, invRhoXY = 1.0 / rhoXY;
      cosTheta = z * invR;
      sinTheta = rhoXY * invR;
      cosPhi = x * invRhoXY;
      sinPhi = y * invRhoXY;
    }
    fillPowers(maxAbsM);
  }

  // Far out the squares would overflow: take the angles from the point scaled down by a
  // power of two (exact), where the small offsets vanish anyway, and cap the distance.
  void setFar(const vl::Vec3d& p) {
    constexpr double kDown = 0x1p-600, kUp = 0x1p600;
    const double x = p[0] * kDown, y = p[1] * kDown, z = p[2] * kDown;
    const double rhoXY = std::hypot(x, y), radius = std::hypot(x, y, z);
    cosTheta = z / radius;
    sinTheta = rhoXY / radius;
    cosPhi = rhoXY > 0.0 ? x / rhoXY : 1.0;
    sinPhi = rhoXY > 0.0 ? y / rhoXY : 0.0;
    r = radius < 0x1p423 ? radius * kUp : 1.7976931348623157e308;
  }

  // e^{i k phi} by repeated complex multiplication, sin^k(theta) by repeated products.
  void fillPowers(int maxAbsM) {
    powers = maxAbsM < 0 ? 0 : (maxAbsM > WaveTables::kMaxAbsM ? WaveTables::kMaxAbsM : maxAbsM);
    sinThetaPow[0] = 1.0;
    cosMPhi[0] = 1.0;
    sinMPhi[0] = 0.0;
    for (int k = 1; k <= powers; ++k) {
      sinThetaPow[k] = sinThetaPow[k - 1] * sinTheta;
      cosMPhi[k] = cosMPhi[k - 1] * cosPhi - sinMPhi[k - 1] * sinPhi;
      sinMPhi[k] = cosMPhi[k - 1] * sinPhi + sinMPhi[k - 1] * cosPhi;
    }
  }
};
