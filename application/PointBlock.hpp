#pragma once

#include <array>
#include <cmath>

#include "SphericalPoint.hpp"
#include "WaveTables.hpp"
#include "math/vl_Vec.hpp"

// The geometry of a few sample points side by side (a particle's point and its six gradient
// neighbours), laid out so that the loops over the points vectorise. Same quantities and
// offsets as SphericalPoint.
struct PointBlock {
  // Points come in groups of seven neighbours (a particle's point and its six gradient
  // neighbours); a block holds four groups, a whole number of four-lane vectors.
  static constexpr int kGroupSize = 7;
  static constexpr int kGroups = 4;
  static constexpr int kMaxPoints = kGroupSize * kGroups;
  using Row = std::array<double, kMaxPoints>;

  // Whether some lane holds at least `limit` (NaN lanes never do).
  static bool anyAtLeast(const Row& v, double limit) {
    int any = 0;
    for (int i = 0; i < kMaxPoints; ++i) any |= v[i] >= limit;
    return any != 0;
  }
  static bool anyAbove(const Row& v, double limit) {
    int any = 0;
    for (int i = 0; i < kMaxPoints; ++i) any |= v[i] > limit;
    return any != 0;
  }

  int count = 0;
  int powers = 0;
  Row r, cosTheta, sinTheta, cosPhi, sinPhi;
  // sin^k(theta) and e^{i k phi} for k = 1 ... powers (row 0 is left unset).
  std::array<Row, WaveTables::kMaxAbsM + 1> sinThetaPow, cosMPhi, sinMPhi;

  // Sums of the spinor components over the states, one row per component.
  struct Sums {
    Row a, b, c, d;
  };

  // The coordinates of a block's points, one row per axis. Every lane is always computed (a
  // fixed trip count vectorises without remainders); lanes beyond the points repeat the first.
  struct Coordinates {
    Row x, y, z;
    int count = 0;

    void gather(const vl::Vec3d* points, int n) {
      count = n;
      for (int i = 0; i < kMaxPoints; ++i) {
        const vl::Vec3d& p = points[i < n ? i : 0];
        x[i] = p[0];
        y[i] = p[1];
        z[i] = p[2];
      }
    }

    // The stencils of up to kGroups centres: in group q the centre and the points h from it
    // along +x, -x, +y, -y, +z, -z (the same numbers as adding (h, 0, 0) and so on). Groups
    // beyond n repeat the first.
    void stencils(const vl::Vec3d* centres, int n, double h) {
      count = n * kGroupSize;
      for (int q = 0; q < kGroups; ++q) {
        const vl::Vec3d& c = centres[q < n ? q : 0];
        double* px = &x[q * kGroupSize];
        double* py = &y[q * kGroupSize];
        double* pz = &z[q * kGroupSize];
        for (int k = 0; k < kGroupSize; ++k) {
          px[k] = c[0];
          py[k] = c[1];
          pz[k] = c[2];
        }
        px[1] = c[0] + h;
        px[2] = c[0] - h;
        py[3] = c[1] + h;
        py[4] = c[1] - h;
        pz[5] = c[2] + h;
        pz[6] = c[2] - h;
      }
    }
  };

  void set(const vl::Vec3d* points, int n, int maxAbsM) {
    Coordinates c;
    c.gather(points, n);
    set(c, maxAbsM);
  }

  void set(const Coordinates& coordinates, int maxAbsM) {
    const Row &x = coordinates.x, &y = coordinates.y, &z = coordinates.z;
    count = coordinates.count;
    Row rhoXY;
    // Separate passes over the points so that each vectorises.
    Row xy2, r2;
    for (int i = 0; i < kMaxPoints; ++i) {
      xy2[i] = x[i] * x[i] + y[i] * y[i];
      r2[i] = xy2[i] + z[i] * z[i];
    }
    // (A NaN point gives NaN either way.) An integer flag, unlike a running maximum, vectorises.
    const bool far = anyAtLeast(r2, 1e300);
    for (int i = 0; i < kMaxPoints; ++i) {
      rhoXY[i] = std::sqrt(xy2[i]) + SphericalPoint::kEpsilon;
      r[i] = std::sqrt(r2[i]) + SphericalPoint::kEpsilon;
    }
    for (int i = 0; i < kMaxPoints; ++i) {
      // One division for both reciprocals.
      const double inv = 1.0 / (r[i] * rhoXY[i]);
      const double invR = rhoXY[i] * inv, invRhoXY = r[i] * inv;
      cosTheta[i] = z[i] * invR;
      sinTheta[i] = rhoXY[i] * invR;
      cosPhi[i] = x[i] * invRhoXY;
      sinPhi[i] = y[i] * invRhoXY;
    }
    if (far) {
      for (int i = 0; i < kMaxPoints; ++i) {
        if (!(r2[i] >= 1e300)) continue;
        SphericalPoint g;
        g.setFar(vl::Vec3d(x[i], y[i], z[i]));
        r[i] = g.r;
        cosTheta[i] = g.cosTheta;
        sinTheta[i] = g.sinTheta;
        cosPhi[i] = g.cosPhi;
        sinPhi[i] = g.sinPhi;
      }
    }
    powers = maxAbsM < 0 ? 0 : (maxAbsM > WaveTables::kMaxAbsM ? WaveTables::kMaxAbsM : maxAbsM);
    // Row 0 (all ones and zeros) is never read; row 1 is the angles themselves.
    if (powers >= 1) {
      sinThetaPow[1] = sinTheta;
      cosMPhi[1] = cosPhi;
      sinMPhi[1] = sinPhi;
    }
    for (int k = 2; k <= powers; ++k)
      for (int i = 0; i < kMaxPoints; ++i) {
        sinThetaPow[k][i] = sinThetaPow[k - 1][i] * sinTheta[i];
        cosMPhi[k][i] = cosMPhi[k - 1][i] * cosPhi[i] - sinMPhi[k - 1][i] * sinPhi[i];
        sinMPhi[k][i] = cosMPhi[k - 1][i] * sinPhi[i] + sinMPhi[k - 1][i] * cosPhi[i];
      }
  }
};
