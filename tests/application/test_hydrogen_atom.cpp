#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>

#include "HydrogenAtom.hpp"

namespace {

bool finite(const vl::Vec3d& v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// Three active states, as a preset would set them.
void threeStates(AtomSettings& s) {
  s.waves[0] = {3, 2, 2.5, 0.5, 0.002, 1};
  s.waves[1] = {4, 1, 1.5, -0.5, -0.001, 0.8};
  s.waves[2] = {2, 1, 0.5, 0.5, 0.003, 0.6};
}

void expectAllFinite(const HydrogenAtom& atom, const std::string& what) {
  for (int i = 0; i < HydrogenAtom::kParticles; ++i) {
    const Particle& p = atom.particles()[i];
    ASSERT_TRUE(finite(p.position) && finite(p.spin)) << what << " particle " << i;
    for (int c = 0; c < 4; ++c) ASSERT_TRUE(std::isfinite(p.colour[c])) << what << " " << i;
    ASSERT_TRUE(atom.spinors()[i].isFinite()) << what << " spinor " << i;
  }
}

}  // namespace

TEST(HydrogenAtom, ContourTable) {
  HydrogenAtom atom;
  atom.init();
  // exp(-(4 cos(pi i / 512))^2) in single precision.
  EXPECT_NEAR(atom.contourTable()[0], std::exp(-16.0), 1e-6 * std::exp(-16.0));
  EXPECT_NEAR(atom.contourTable()[128], std::exp(-8.0), 1e-5 * std::exp(-8.0));
  EXPECT_NEAR(atom.contourTable()[256], 1.0, 1e-6);
  EXPECT_NEAR(atom.contourTable()[511], std::exp(-16.0), 1e-3 * std::exp(-16.0));
}

TEST(HydrogenAtom, RingResetPlacesAnOrientedCircle) {
  HydrogenAtom atom;
  atom.settings.polyX = 3.0;
  atom.settings.polyBeta = 0.25;  // a quarter turn about x: the ring stands in the xz plane
  atom.reset();
  const auto& ps = atom.particles();
  const double r = 0.08 / (10.0 * 0.1);
  for (int k = 0; k < HydrogenAtom::kParticles; ++k) {
    const vl::Vec3d rel = ps[k].position - vl::Vec3d(0.3, 0.0, 0.0);
    EXPECT_NEAR(rel.mag(), r, 1e-9);
    EXPECT_NEAR(rel[1], 0.0, 1e-7 * r);
  }
  EXPECT_NEAR(ps[0].position[0] - 0.3, r, 1e-9);
  EXPECT_NEAR(ps[128].position[2], r, 1e-7 * r);

  // zoom 1 halves the radius (and the centre).
  atom.settings.zoom = 1.0;
  atom.reset();
  EXPECT_NEAR((atom.particles()[0].position - vl::Vec3d(0.15, 0, 0)).mag(), r / 2, 1e-9);
}

TEST(HydrogenAtom, StepAccumulatorCarriesFractionsAndTriggerClearsIt) {
  HydrogenAtom atom;
  atom.init();
  atom.settings.waves[0] = {1, 0, 0.5, 0.5, 0.01, 0.0};  // silent, but its phase counts steps
  auto steps = [&] { return std::arg(atom.phases()[0]) / (2.0 * std::numbers::pi * 0.01); };

  atom.settings.simulationSpeed = 0.1;
  for (int frame = 1; frame <= 9; ++frame) atom.step(1.0 / 60);
  EXPECT_NEAR(steps(), 0.0, 1e-9);
  atom.step(1.0 / 60);  // the tenth frame
  EXPECT_NEAR(steps(), 1.0, 1e-9);
  for (int frame = 0; frame < 30; ++frame) atom.step(1.0 / 60);
  EXPECT_NEAR(steps(), 4.0, 1e-9);
  EXPECT_DOUBLE_EQ(atom.lastSpeed(), 0.1);

  for (int frame = 0; frame < 5; ++frame) atom.step(1.0 / 60);
  EXPECT_NEAR(atom.stepAccumulator(), 0.5, 1e-9);
  atom.trigger();
  EXPECT_EQ(atom.stepAccumulator(), 0.0);
  EXPECT_TRUE(atom.resetPending());
  EXPECT_EQ(atom.spinors()[5], SpinorValue{});

  atom.settings.simulationSpeed = 4.0;
  atom.setPhases({1.0, 1.0, 1.0});
  atom.step(1.0 / 60);
  EXPECT_NEAR(steps(), 4.0, 1e-9);
  // Beyond the range it is held at 4.
  atom.settings.simulationSpeed = 1e12;
  atom.step(1.0 / 60);
  EXPECT_NEAR(steps(), 8.0, 1e-9);
}

TEST(HydrogenAtom, SilentStatesLeaveOnlySpringsAndSmoothing) {
  HydrogenAtom atom;
  atom.init();
  atom.settings.polyRigid = 0.0;
  atom.settings.polySmooth = 0.0;
  atom.step(0);  // the reset
  const auto before = atom.particles();
  for (int frame = 0; frame < 5; ++frame) atom.step(0);
  for (int i = 0; i < HydrogenAtom::kParticles; ++i) {
    EXPECT_EQ(atom.particles()[i].position, before[i].position);
    EXPECT_EQ(atom.spinors()[i], SpinorValue{});
  }
  // With states sounding, the flow moves the ring.
  threeStates(atom.settings);
  for (int k = 0; k < 3; ++k) atom.markWaveDirty(k);
  atom.step(0);
  EXPECT_GT((atom.particles()[17].position - before[17].position).mag(), 0.0);
}

TEST(HydrogenAtom, FullSmoothingMovesToTheNeighboursMidpoint) {
  HydrogenAtom atom;
  atom.init();
  atom.settings.polyRigid = 0.0;
  atom.settings.polySmooth = 1.0;
  atom.step(0);
  // Distort the ring so that smoothing has something to do.
  auto& ps = atom.particles();
  for (int i = 0; i < HydrogenAtom::kParticles; ++i)
    ps[i].position += vl::Vec3d(0.0, 0.0, 0.01 * std::sin(0.37 * i * i));
  std::vector<vl::Vec3d> expected;
  for (const auto& p : ps) expected.push_back(p.position);
  for (int i = 0; i < HydrogenAtom::kParticles; ++i) {
    const int prev = (i + 511) % 512, next = (i + 1) % 512;
    expected[i] = (expected[prev] + expected[next]) / 2.0;  // prev already moved
  }
  atom.step(0);
  for (int i = 0; i < HydrogenAtom::kParticles; ++i)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(ps[i].position[c], expected[i][c], 1e-15) << i;
}

TEST(HydrogenAtom, SamplesAtTheScaledPosition) {
  for (double zoom : {0.0, 1.0}) {
    HydrogenAtom atom;
    atom.init();
    threeStates(atom.settings);
    atom.settings.zoom = zoom;
    atom.settings.polyVel = 0.0;  // keep the particles where they were sampled
    atom.settings.polyRigid = 0.0;
    atom.settings.polySmooth = 0.0;
    atom.step(0);
    const double s = 10.0 * std::exp2(zoom);
    for (int i : {0, 100, 511}) {
      const vl::Vec3d p = atom.particles()[i].position * s + vl::Vec3d(1e-5, 1e-5, 1e-5);
      const SpinorValue want = atom.waves().evaluate(p);
      EXPECT_LT((atom.spinors()[i] - want).norm(), 1e-12 * want.norm()) << zoom << " " << i;
      const SpinorValue& v = atom.spinors()[i];
      EXPECT_NEAR(atom.particles()[i].spin[2], (v.a * v.a + v.b * v.b) - (v.c * v.c + v.d * v.d),
                  1e-15);
    }
  }
}

TEST(HydrogenAtom, ParticleAtTheOriginIsWellDefined) {
  HydrogenAtom atom;
  atom.init();
  threeStates(atom.settings);
  atom.settings.polyRadius = 0.0;  // every particle at the exact origin
  for (int frame = 0; frame < 3; ++frame) atom.step(0);
  expectAllFinite(atom, "origin");
  EXPECT_FALSE(atom.resetPending());
}

TEST(HydrogenAtom, NonFiniteDisplacementFailsTheParticleAndResetsTheRing) {
  for (double bad : {std::nan(""), double(INFINITY)}) {
    HydrogenAtom atom;
    atom.init();
    atom.settings.polySmooth = 0.0;
    atom.settings.polyRigid = 0.0;  // a NaN times a zero stiffness is still a NaN
    atom.step(0);
    const vl::Vec3d ringPoint = atom.particles()[9].position;
    atom.particles()[10].position[1] = bad;
    atom.step(0);
    // Particle 9's spring to 10 went bad: both went to the fail state.
    EXPECT_TRUE(atom.resetPending());
    EXPECT_EQ(atom.particles()[9].position, vl::Vec3d());
    EXPECT_EQ(atom.particles()[10].position, vl::Vec3d());
    expectAllFinite(atom, "after guard");
    atom.step(0);  // the next frame rebuilds the ring
    EXPECT_FALSE(atom.resetPending());
    EXPECT_NEAR((atom.particles()[9].position - ringPoint).mag(), 0.0, 1e-6);
  }
}

TEST(HydrogenAtom, NaNSpinorIsZeroedAndResetsTheRing) {
  HydrogenAtom atom;
  atom.init();
  threeStates(atom.settings);
  atom.step(0);
  atom.setPhases({std::complex<double>(std::nan(""), 0.0), 1.0, 1.0});
  atom.step(0);
  EXPECT_TRUE(atom.resetPending());
  EXPECT_EQ(atom.spinors()[3], SpinorValue{});
  expectAllFinite(atom, "NaN phase");
}

TEST(HydrogenAtom, ColourRules) {
  HydrogenAtom atom;
  atom.init();
  // All states silent: every hue is the rotation alone; three equal colours at value 0.7.
  atom.settings.hueRotation = 1.0 / 3.0;
  atom.step(0);
  vl::Color c = atom.particles()[7].colour;
  EXPECT_NEAR(c.r, 0.f, 1e-6);
  EXPECT_NEAR(c.g, 2.1f, 1e-6);
  EXPECT_NEAR(c.b, 0.f, 1e-6);
  EXPECT_EQ(c.a, 3.f);

  // Phase colours: saturation comes from "contour"; at 0 every channel is the contour level.
  threeStates(atom.settings);
  for (int k = 0; k < 3; ++k) atom.markWaveDirty(k);
  atom.settings.newColors = false;
  atom.settings.contour = 0.0;
  for (Particle& p : atom.particles()) p.colour = vl::Color(0.f, 0.f, 0.f, 0.f);
  atom.step(0);
  for (int i = 0; i < HydrogenAtom::kParticles; i += 37) {
    c = atom.particles()[i].colour;
    EXPECT_EQ(c.r, c.g);
    EXPECT_EQ(c.g, c.b);
    EXPECT_EQ(c.b, c.a);  // alpha 0 went the same way
    EXPECT_GE(c.r, 0.f);
    EXPECT_LE(c.r, 0.8f);
  }
  // Full saturation: one channel at the value before the contour lift.
  atom.settings.contour = 1.0;
  atom.step(0);
  for (int i = 0; i < HydrogenAtom::kParticles; i += 37) {
    c = atom.particles()[i].colour;
    EXPECT_NEAR(std::max({c.r, c.g, c.b}), 1.f, 1e-6) << i;
    EXPECT_LE(std::min({c.r, c.g, c.b}), 0.81f) << i;
  }
}

TEST(HydrogenAtom, PresetLoadForceResetAndPublication) {
  HydrogenAtom atom;
  atom.init();
  threeStates(atom.settings);
  atom.step(0);
  EXPECT_FALSE(atom.resetPending());
  atom.settings.resetOnLoad = false;
  atom.presetLoaded({std::complex<double>(0.0, 1.0), 2.0, -1.0});
  EXPECT_FALSE(atom.resetPending());
  EXPECT_EQ(atom.phases()[0], std::complex<double>(0.0, 1.0));
  atom.settings.resetOnLoad = true;
  atom.presetLoaded({1.0, 1.0, 1.0});
  EXPECT_TRUE(atom.resetPending());
  atom.step(0);
  // Phases turn by their rotors each step and are what the voice publishes.
  EXPECT_NEAR(std::arg(atom.phases()[2]), 2.0 * std::numbers::pi * 0.003, 1e-12);

  atom.forceReset();
  EXPECT_TRUE(atom.resetPending());
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(atom.phases()[k], std::complex<double>(1.0, 0.0));
    EXPECT_EQ(atom.waves().state(k).rotor, std::complex<double>(1.0, 0.0));
  }
  atom.step(0);  // rotors stay at 1 until their groups are configured again
  EXPECT_EQ(atom.phases()[1], std::complex<double>(1.0, 0.0));
  atom.markWaveDirty(1);
  atom.step(0);
  EXPECT_NEAR(std::arg(atom.phases()[1]), -2.0 * std::numbers::pi * 0.001, 1e-12);
}

TEST(HydrogenAtom, UnsetGroupsContributeNothing) {
  // Groups 2 and 3 keep their unset n = 0: the atom samples group 1 alone.
  HydrogenAtom atom;
  atom.init();
  atom.settings.waves[0] = {3, 2, 2.5, 0.5, 0.002, 1};
  atom.settings.polyVel = 0.0;  // the particles stay where they were sampled
  atom.settings.polyRigid = 0.0;
  atom.step(0);
  EXPECT_FALSE(atom.waves().state(1).active());
  EXPECT_FALSE(atom.waves().state(2).active());
  WaveSuperposition alone;
  alone.configure(0, 3, 2, 2.5, 0.5, 0.002, 1);
  alone.advancePhases();
  for (int i = 0; i < HydrogenAtom::kParticles; i += 64) {
    const vl::Vec3d p = atom.particles()[i].position * 10.0 + vl::Vec3d(1e-5, 1e-5, 1e-5);
    const SpinorValue want = alone.evaluate(p);
    EXPECT_GT(want.norm(), 0.0);
    EXPECT_LT((atom.spinors()[i] - want).norm(), 1e-12 * want.norm()) << i;
  }
}

// Every setting at both ends of its range, with all three states, for 100 frames.
TEST(HydrogenAtom, EveryRangeEndStaysFinite) {
  struct Range {
    const char* name;
    std::function<double&(AtomSettings&)> field;
    double lo, hi;
  };
  const std::vector<Range> ranges = {
      {"polyX", [](AtomSettings& s) -> double& { return s.polyX; }, -99, 99},
      {"polyY", [](AtomSettings& s) -> double& { return s.polyY; }, -99, 99},
      {"polyZ", [](AtomSettings& s) -> double& { return s.polyZ; }, -99, 99},
      {"polyAlpha", [](AtomSettings& s) -> double& { return s.polyAlpha; }, 0, 1},
      {"polyBeta", [](AtomSettings& s) -> double& { return s.polyBeta; }, 0, 1},
      {"polyGamma", [](AtomSettings& s) -> double& { return s.polyGamma; }, 0, 1},
      {"polyRadius", [](AtomSettings& s) -> double& { return s.polyRadius; }, -99, 99},
      {"polyRigid", [](AtomSettings& s) -> double& { return s.polyRigid; }, 0, 1},
      {"polySmooth", [](AtomSettings& s) -> double& { return s.polySmooth; }, 0, 1},
      {"polyVel", [](AtomSettings& s) -> double& { return s.polyVel; }, -9, 9},
      {"der", [](AtomSettings& s) -> double& { return s.der; }, -1, 1},
      {"contour", [](AtomSettings& s) -> double& { return s.contour; }, 0, 1},
      {"zoom", [](AtomSettings& s) -> double& { return s.zoom; }, -99, 99},
      {"hueRotation", [](AtomSettings& s) -> double& { return s.hueRotation; }, 0, 1},
      {"simulationSpeed", [](AtomSettings& s) -> double& { return s.simulationSpeed; }, 0.1, 4},
  };
  std::vector<Range> all = ranges;
  const char* waveNames[6] = {"n", "l", "J", "j", "f", "w"};
  const double lo[6] = {1, 0, -9.5, -9.5, -99, 0}, hi[6] = {99, 99, 9.5, 9.5, 99, 1};
  for (int k = 0; k < 3; ++k)
    for (int f = 0; f < 6; ++f)
      all.push_back({waveNames[f],
                     [k, f](AtomSettings& s) -> double& {
                       WaveSettings& w = s.waves[k];
                       double* fields[6] = {&w.n, &w.l, &w.J, &w.j, &w.f, &w.w};
                       return *fields[f];
                     },
                     lo[f], hi[f]});
  for (const Range& r : all) {
    for (double value : {r.lo, r.hi}) {
      for (bool newColors : {true, false}) {
        if (!newColors && std::string(r.name) != "contour" && std::string(r.name) != "n") continue;
        HydrogenAtom atom;
        atom.init();
        threeStates(atom.settings);
        atom.settings.newColors = newColors;
        r.field(atom.settings) = value;
        for (int frame = 0; frame < 100; ++frame) {
          atom.step(1.0 / 60);
          expectAllFinite(atom, std::string(r.name) + "=" + std::to_string(value));
          if (HasFatalFailure()) return;
        }
      }
    }
  }
}

// The step samples particles in blocks after their springs; a literal in-order transcription
// of the loop (spring, guard, smooth, sample, spin, flow per particle) must give the same ring.
TEST(HydrogenAtom, BlockedStepMatchesTheLoopInOrder) {
  HydrogenAtom atom;
  atom.init();
  threeStates(atom.settings);
  atom.settings.polySmooth = 0.4;
  atom.settings.polyRigid = 0.2;
  atom.settings.polyVel = 0.5;
  atom.settings.polyBeta = 0.1;
  atom.step(0);

  for (int frame = 0; frame < 4; ++frame) {
    std::vector<Particle> ps = atom.particles();
    WaveSuperposition waves = atom.waves();
    waves.advancePhases();
    const AtomSettings& set = atom.settings;
    const double s = atom.scale(), h = set.der;
    for (Particle& p : ps) p.displacement = p.displacementRate = vl::Vec3d();
    std::vector<SpinorValue> spinors(512);
    for (int i = 0; i < 512; ++i) {
      Particle& p = ps[i];
      Particle& next = ps[(i + 1) % 512];
      const Particle& prev = ps[(i + 511) % 512];
      const vl::Vec3d d = next.position - p.position;
      const double g = (d.magSqr() - HydrogenAtom::kRestLengthSquared) * -set.polyRigid;
      p.displacement -= d * g;
      next.displacement += d * g;
      const vl::Vec3d m = (prev.position + next.position) / 2.0;
      p.position += (m - p.position) * set.polySmooth;
      const vl::Vec3d q = p.position * s + vl::Vec3d(1e-5, 1e-5, 1e-5);
      const SpinorValue psi = waves.evaluate(q);
      spinors[i] = psi;
      const double rho = psi.normSquared();
      const double k = rho / (2 * h * (rho * rho + 1e-7));
      for (int e = 0; e < 3; ++e) {
        vl::Vec3d step;
        step[e] = h;
        const SpinorValue delta = waves.evaluate(q + step) - waves.evaluate(q - step);
        p.displacement[e] +=
            (psi.a * delta.b - psi.b * delta.a + psi.c * delta.d - psi.d * delta.c) * k *
            set.polyVel;
      }
    }
    for (Particle& p : ps) p.position += p.displacement;

    atom.step(0);
    for (int i = 0; i < 512; ++i) {
      const vl::Vec3d diff = atom.particles()[i].position - ps[i].position;
      ASSERT_LT(diff.mag(), 1e-12 * ps[i].position.mag()) << "frame " << frame << " particle " << i;
      ASSERT_LT((atom.spinors()[i] - spinors[i]).norm(), 1e-9 * spinors[i].norm()) << i;
    }
  }
}
