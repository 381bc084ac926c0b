// The baseline of the wave-function benchmarks, shared by the programs that build it with
// different flags: the plain transcription of the formulas over one step's sample points.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "application/PlainWaveFunction.hpp"
#include "math/vl_Vec.hpp"

// Each program gets its own copy, compiled with its own flags.
namespace {

constexpr int kParticles = 512;
constexpr double kStep = 0.02;  // the gradient's finite-difference step

struct Setting {
  double n, l, J, j, f, w;
};
constexpr Setting kSettings[3] = {
    {3, 2, 2.5, 0.5, 0.002, 1}, {4, 1, 1.5, -0.5, -0.001, 0.8}, {2, 1, 0.5, 0.5, 0.003, 0.6}};

// Sample points of a tilted ring of radius 0.8 around a point off the origin, as the ring
// reset places them (already multiplied by the spatial scale).
std::vector<vl::Vec3d> ringPoints() {
  std::vector<vl::Vec3d> points;
  const double tilt = 0.4;
  for (int k = 0; k < kParticles; ++k) {
    const double a = 2.0 * std::numbers::pi * k / kParticles;
    const double x = 0.8 * std::cos(a), y = 0.8 * std::sin(a);
    points.push_back(vl::Vec3d(0.2 + x, -0.1 + y * std::cos(tilt), 0.3 + y * std::sin(tilt)) +
                     vl::Vec3d(1e-5, 1e-5, 1e-5));
  }
  return points;
}

const vl::Vec3d kOffsets[6] = {{kStep, 0, 0},  {-kStep, 0, 0}, {0, kStep, 0},
                               {0, -kStep, 0}, {0, 0, kStep},  {0, 0, -kStep}};

void plainStep(benchmark::State& state) {
  PlainWaveFunction wf[3];
  for (int k = 0; k < 3; ++k) {
    const Setting& s = kSettings[k];
    wf[k].configure(s.n, s.l, s.J, s.j, s.w);
    wf[k].phase = std::polar(1.0, 0.3 * k);
  }
  const std::vector<vl::Vec3d> points = ringPoints();
  for (auto _ : state) {
    double sink = 0.0;
    for (const auto& p : points) {
      for (int e = -1; e < 6; ++e) {
        const vl::Vec3d q = e < 0 ? p : p + kOffsets[e];
        double sum[4] = {0, 0, 0, 0};
        for (const auto& w : wf) {
          double v[4];
          w.evaluate(q[0], q[1], q[2], v);
          for (int c = 0; c < 4; ++c) sum[c] += v[c];
        }
        sink += sum[0] + sum[1] + sum[2] + sum[3];
      }
    }
    benchmark::DoNotOptimize(sink);
  }
}

}  // namespace
