#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

#include "WaveSuperposition.hpp"
#include "application/PlainWaveFunction.hpp"

namespace {

struct Setting {
  double n, l, J, j, w;
};

// Sets up the optimised states and their plain transcriptions alike.
void configureBoth(WaveSuperposition& atom, PlainWaveFunction* plain, const Setting* s,
                   std::mt19937_64& rng) {
  std::uniform_real_distribution<double> angle(-3.0, 3.0);
  for (int k = 0; k < 3; ++k) {
    atom.configure(k, s[k].n, s[k].l, s[k].J, s[k].j, 0.0, s[k].w);
    plain[k].configure(s[k].n, s[k].l, s[k].J, s[k].j, s[k].w);
    const std::complex<double> phase = std::polar(1.0 + 0.5 * angle(rng), angle(rng));
    atom.state(k).phase = phase;
    plain[k].phase = phase;
  }
}

Spinor plainSum(const PlainWaveFunction* plain, const vl::Vec3d& p, Spinor* each) {
  Spinor sum;
  for (int k = 0; k < 3; ++k) {
    double v[4];
    plain[k].evaluate(p[0], p[1], p[2], v);
    each[k] = {v[0], v[1], v[2], v[3]};
    sum += each[k];
  }
  return sum;
}

double relativeError(const Spinor& got, const Spinor& want) {
  const double scale = norm(want);
  return scale > 0.0 ? norm(got - want) / scale : norm(got);
}

}  // namespace

// The shared geometry, the shared decay and the block layout only reorder rounding: the sums
// stay within 1e-9 relative of the plain formulas, for the point and its gradient neighbours,
// whether the block is given its points or built from the stencils' centres as the atom does.
TEST(WaveSuperposition, AgreesWithPlainFormulas) {
  const Setting settings[][3] = {
      {{3, 2, 2.5, 0.5, 1}, {4, 1, 1.5, -0.5, 0.8}, {2, 1, 0.5, 0.5, 0.6}},   // common decay
      {{7, 3, 3.5, 2.5, 1}, {5, 4, 3.5, -3.5, 0.5}, {6, 2, 1.5, -1.5, 0.9}},  // one exp each
      {{1, 0, 0.5, 0.5, 1}, {6, 5, 5.5, 5.5, 1}, {8, 4, 4.5, -4.5, 1}},
      {{4, 3, 3.5, -2.5, 0.3}, {0, 0, 0, 0, 0}, {2, 0, 0.5, -0.5, 1}},  // one state unset
  };
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  int checked = 0;
  for (const auto& s : settings) {
    WaveSuperposition atom;
    PlainWaveFunction plain[3];
    configureBoth(atom, plain, s, rng);
    for (double h : {0.02, 0.3, 1.0}) {
      for (double radius : {0.05, 0.8, 4.0, 25.0, 120.0}) {
        for (int trial = 0; trial < 16; ++trial) {
          // Odd trials: neighbours along a ring, as the atom samples them (one exponential
          // and its series serve the block); even ones scattered (an exponential each).
          vl::Vec3d centres[PointBlock::kGroups], pts[PointBlock::kMaxPoints];
          const vl::Vec3d start = vl::Vec3d(unit(rng), unit(rng), unit(rng)) * radius;
          const vl::Vec3d along = vl::Vec3d(unit(rng), unit(rng), unit(rng)) * 0.02;
          for (int q = 0; q < PointBlock::kGroups; ++q) {
            const vl::Vec3d c = trial % 2 ? start + along * double(q)
                                          : vl::Vec3d(unit(rng), unit(rng), unit(rng)) * radius;
            centres[q] = c;
            const int b = q * PointBlock::kGroupSize;
            pts[b] = c;
            for (int a = 0; a < 3; ++a) {
              vl::Vec3d e;
              e[a] = h;
              pts[b + 1 + 2 * a] = c + e;
              pts[b + 2 + 2 * a] = c - e;
            }
          }
          Spinor sums[PointBlock::kMaxPoints], each[3 * PointBlock::kGroups];
          Spinor stencilSums[PointBlock::kMaxPoints], stencilEach[3 * PointBlock::kGroups];
          atom.evaluateBlock(pts, PointBlock::kMaxPoints, sums, each);
          atom.evaluateStencils(centres, PointBlock::kGroups, h, stencilSums, stencilEach);
          for (int i = 0; i < PointBlock::kMaxPoints; ++i) {
            Spinor plainEach[3];
            const Spinor want = plainSum(plain, pts[i], plainEach);
            EXPECT_LT(relativeError(sums[i], want), 1e-9) << "point " << i << " r " << radius;
            EXPECT_LT(relativeError(stencilSums[i], want), 1e-9)
                << "point " << i << " r " << radius;
            Spinor single[3];
            EXPECT_LT(relativeError(atom.evaluate(pts[i], single), want), 1e-9);
            if (i % PointBlock::kGroupSize == 0) {
              for (int k = 0; k < 3; ++k) {
                const int at = (i / PointBlock::kGroupSize) * 3 + k;
                EXPECT_LT(relativeError(each[at], plainEach[k]), 1e-9) << "state " << k;
                EXPECT_LT(relativeError(stencilEach[at], plainEach[k]), 1e-9) << "state " << k;
                EXPECT_LT(relativeError(single[k], plainEach[k]), 1e-9) << "state " << k;
              }
            }
            ++checked;
          }
        }
      }
    }
  }
  EXPECT_EQ(checked, 4 * 3 * 5 * 16 * PointBlock::kMaxPoints);
}

// A block shorter than the lanes fills only its own entries; far and non-finite points are
// handled point by point without disturbing their neighbours.
TEST(WaveSuperposition, PartialBlocksAndFarPoints) {
  WaveSuperposition atom;
  atom.configure(0, 3, 2, 2.5, 0.5, 0.0, 1.0);
  atom.configure(1, 99, 98, 9.5, -9.5, 0.0, 1.0);
  atom.configure(2, 2, 1, 0.5, 0.5, 0.0, 1.0);
  vl::Vec3d pts[4] = {{0.3, 0.2, 0.1}, {1e6, 0, 0}, {1e200, 1e200, -1e200}, {0, 0, 0}};
  Spinor sums[PointBlock::kMaxPoints];
  const Spinor sentinel{7, 7, 7, 7};
  for (auto& s : sums) s = sentinel;
  atom.evaluateBlock(pts, 4, sums);
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(isFinite(sums[i])) << i;
    EXPECT_LT(relativeError(sums[i], atom.evaluate(pts[i])), 1e-12) << i;
  }
  EXPECT_EQ(sums[4], sentinel);
}
