#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <string>

#include "HydrogenAtom.hpp"

namespace {

bool finite(const vl::Vec3d& v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

void setGroup(WaveFunctionParameters& g, std::array<float, 6> v) {
  g.n.set(v[0]);
  g.l.set(v[1]);
  g.J.set(v[2]);
  g.j.set(v[3]);
  g.f.set(v[4]);
  g.w.set(v[5]);
}

// Three active states, as a preset would set them.
void threeStates(HydrogenAtom& atom) {
  AtomParameters& p = atom.parameters();
  setGroup(p.wfs1, {3, 2, 2.5, 0.5, 0.002f, 1});
  setGroup(p.wfs2, {4, 1, 1.5, -0.5, -0.001f, 0.8f});
  setGroup(p.wfs3, {2, 1, 0.5, 0.5, 0.003f, 0.6f});
}

void expectAllFinite(const HydrogenAtom& atom, const std::string& what) {
  for (int i = 0; i < HydrogenAtom::kParticles; ++i) {
    const Particle& p = atom.particles()[i];
    ASSERT_TRUE(finite(p.position) && finite(p.spin)) << what << " particle " << i;
    for (int c = 0; c < 4; ++c) ASSERT_TRUE(std::isfinite(p.colour[c])) << what << " " << i;
    ASSERT_TRUE(isFinite(atom.spinors()[i])) << what << " spinor " << i;
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
  atom.parameters().polyX.set(3.0);
  atom.parameters().polyBeta.set(0.25);  // a quarter turn about x: the ring stands in the xz plane
  atom.reset();
  const auto& ps = atom.particles();
  const double r = double(0.08f) / (10.0 * 0.1);  // the parameter holds a float
  for (int k = 0; k < HydrogenAtom::kParticles; ++k) {
    const vl::Vec3d rel = ps[k].position - vl::Vec3d(0.3, 0.0, 0.0);
    EXPECT_NEAR(rel.mag(), r, 1e-9);
    EXPECT_NEAR(rel[1], 0.0, 1e-7 * r);
  }
  EXPECT_NEAR(ps[0].position[0] - 0.3, r, 1e-9);
  EXPECT_NEAR(ps[128].position[2], r, 1e-7 * r);

  // zoom 1 halves the radius (and the centre).
  atom.parameters().zoom.set(1.0);
  atom.reset();
  EXPECT_NEAR((atom.particles()[0].position - vl::Vec3d(0.15, 0, 0)).mag(), r / 2, 1e-9);
}

TEST(HydrogenAtom, StepAccumulatorCarriesFractionsAndTriggerClearsIt) {
  HydrogenAtom atom;
  atom.init();
  // Silent, but its phase counts steps.
  setGroup(atom.parameters().wfs1, {1, 0, 0.5, 0.5, 0.01f, 0.0});
  auto steps = [&] { return std::arg(atom.phases()[0]) / (2.0 * std::numbers::pi * 0.01f); };

  atom.parameters().simulationSpeed.set(0.1);
  for (int frame = 1; frame <= 9; ++frame) atom.step(1.0 / 60);
  EXPECT_NEAR(steps(), 0.0, 1e-9);
  atom.step(1.0 / 60);  // the tenth frame
  EXPECT_NEAR(steps(), 1.0, 1e-9);
  for (int frame = 0; frame < 30; ++frame) atom.step(1.0 / 60);
  EXPECT_NEAR(steps(), 4.0, 1e-9);
  EXPECT_DOUBLE_EQ(atom.lastSpeed(), double(0.1f));  // the parameter holds a float

  for (int frame = 0; frame < 5; ++frame) atom.step(1.0 / 60);
  EXPECT_NEAR(atom.stepAccumulator(), 0.5, 1e-6);
  atom.trigger();
  EXPECT_EQ(atom.stepAccumulator(), 0.0);
  EXPECT_TRUE(atom.resetPending());
  EXPECT_EQ(atom.spinors()[5], Spinor{});

  atom.parameters().simulationSpeed.set(4.0);
  atom.setPhases({1.0, 1.0, 1.0});
  atom.step(1.0 / 60);
  EXPECT_NEAR(steps(), 4.0, 1e-9);
  // Beyond the range it is held at 4.
  atom.parameters().simulationSpeed.set(1e12);
  atom.step(1.0 / 60);
  EXPECT_NEAR(steps(), 8.0, 1e-9);
}

TEST(HydrogenAtom, SilentStatesLeaveOnlySpringsAndSmoothing) {
  HydrogenAtom atom;
  atom.init();
  atom.parameters().polyRigid.set(0.0);
  atom.parameters().polySmooth.set(0.0);
  atom.step(0);  // the reset
  const auto before = atom.particles();
  for (int frame = 0; frame < 5; ++frame) atom.step(0);
  for (int i = 0; i < HydrogenAtom::kParticles; ++i) {
    EXPECT_EQ(atom.particles()[i].position, before[i].position);
    EXPECT_EQ(atom.spinors()[i], Spinor{});
  }
  // With states sounding, the flow moves the ring.
  threeStates(atom);
  atom.step(0);
  EXPECT_GT((atom.particles()[17].position - before[17].position).mag(), 0.0);
}

TEST(HydrogenAtom, FullSmoothingMovesToTheNeighboursMidpoint) {
  HydrogenAtom atom;
  atom.init();
  atom.parameters().polyRigid.set(0.0);
  atom.parameters().polySmooth.set(1.0);
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
    threeStates(atom);
    atom.parameters().zoom.set(zoom);
    atom.parameters().polyVel.set(0.0);  // keep the particles where they were sampled
    atom.parameters().polyRigid.set(0.0);
    atom.parameters().polySmooth.set(0.0);
    atom.step(0);
    const double s = 10.0 * std::exp2(zoom);
    for (int i : {0, 100, 511}) {
      const vl::Vec3d p = atom.particles()[i].position * s + vl::Vec3d(1e-5, 1e-5, 1e-5);
      const Spinor want = atom.waves().evaluate(p);
      EXPECT_LT(norm(atom.spinors()[i] - want), 1e-12 * norm(want)) << zoom << " " << i;
      const Spinor& v = atom.spinors()[i];
      EXPECT_NEAR(atom.particles()[i].spin[2], (v.a * v.a + v.b * v.b) - (v.c * v.c + v.d * v.d),
                  1e-15);
    }
  }
}

TEST(HydrogenAtom, ParticleAtTheOriginIsWellDefined) {
  HydrogenAtom atom;
  atom.init();
  threeStates(atom);
  atom.parameters().polyRadius.set(0.0);  // every particle at the exact origin
  for (int frame = 0; frame < 3; ++frame) atom.step(0);
  expectAllFinite(atom, "origin");
  EXPECT_FALSE(atom.resetPending());
}

TEST(HydrogenAtom, NonFiniteDisplacementFailsTheParticleAndResetsTheRing) {
  for (double bad : {std::nan(""), double(INFINITY)}) {
    HydrogenAtom atom;
    atom.init();
    atom.parameters().polySmooth.set(0.0);
    atom.parameters().polyRigid.set(0.0);  // a NaN times a zero stiffness is still a NaN
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
  threeStates(atom);
  atom.step(0);
  atom.setPhases({std::complex<double>(std::nan(""), 0.0), 1.0, 1.0});
  atom.step(0);
  EXPECT_TRUE(atom.resetPending());
  EXPECT_EQ(atom.spinors()[3], Spinor{});
  expectAllFinite(atom, "NaN phase");
}

TEST(HydrogenAtom, ColourRules) {
  HydrogenAtom atom;
  atom.init();
  // All states silent: every hue is the rotation alone; three equal colours at value 0.7.
  atom.parameters().hueRotation.set(1.0 / 3.0);
  atom.step(0);
  vl::Color c = atom.particles()[7].colour;
  EXPECT_NEAR(c.r, 0.f, 1e-6);
  EXPECT_NEAR(c.g, 2.1f, 1e-6);
  EXPECT_NEAR(c.b, 0.f, 1e-6);
  EXPECT_EQ(c.a, 3.f);

  // With three states, each state's hue is ten times its magnitude at the particle plus the
  // rotation, wrapped into one turn; the particle's colour sums the three.
  for (double rotation : {0.0, 0.37, 1.0}) {
    HydrogenAtom hued;
    hued.init();
    threeStates(hued);
    hued.parameters().hueRotation.set(rotation);
    hued.step(0);
    hued.step(0);
    for (int i = 0; i < HydrogenAtom::kParticles; i += 3) {
      const Particle& p = hued.particles()[i];
      // Sampled where the particle stood before the step moved it.
      const vl::Vec3d at =
          (p.position - p.displacement) * hued.scale() + vl::Vec3d(1e-5, 1e-5, 1e-5);
      Spinor each[3];
      hued.waves().evaluate(at, each);
      float r = 0.f, g = 0.f, b = 0.f;
      for (const Spinor& state : each) {
        const double x = 10.0 * norm(state) + rotation;
        const vl::Color rgb = vl::Color::fromHSV(float(x > 1.0 ? x - std::trunc(x) : x), 1.f, 0.7f);
        r += rgb.r;
        g += rgb.g;
        b += rgb.b;
      }
      EXPECT_NEAR(p.colour.r, r, 1e-4f) << i;
      EXPECT_NEAR(p.colour.g, g, 1e-4f) << i;
      EXPECT_NEAR(p.colour.b, b, 1e-4f) << i;
      EXPECT_EQ(p.colour.a, 3.f);
    }
  }

  // Phase colours: saturation comes from "contour"; at 0 every channel is the contour level.
  threeStates(atom);
  atom.parameters().newColors.set(false);
  atom.parameters().contour.set(0.0);
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
  atom.parameters().contour.set(1.0);
  atom.step(0);
  for (int i = 0; i < HydrogenAtom::kParticles; i += 37) {
    c = atom.particles()[i].colour;
    EXPECT_NEAR(std::max({c.r, c.g, c.b}), 1.f, 1e-6) << i;
    EXPECT_LE(std::min({c.r, c.g, c.b}), 0.81f) << i;
  }
}

TEST(HydrogenAtom, PresetLoadForceResetAndPublication) {
  HydrogenAtom atom;
  VoiceParameters voice;
  atom.init();
  threeStates(atom);
  atom.step(0);
  EXPECT_FALSE(atom.resetPending());

  // A load takes the phases from the resonances, and resets the ring only when asked to.
  atom.parameters().resetOnLoad.set(0);
  voice.reson1R.set(0);
  voice.reson1I.set(1);
  voice.reson2R.set(2);
  voice.reson3R.set(-1);
  atom.presetLoaded(voice);
  EXPECT_FALSE(atom.resetPending());
  EXPECT_EQ(atom.phases()[0], std::complex<double>(0.0, 1.0));
  EXPECT_EQ(atom.phases()[1], std::complex<double>(2.0, 0.0));
  EXPECT_EQ(atom.phases()[2], std::complex<double>(-1.0, 0.0));
  atom.parameters().resetOnLoad.set(1);
  voice.resetResonances();
  atom.presetLoaded(voice);
  EXPECT_TRUE(atom.resetPending());
  atom.step(0);
  // Phases turn by their rotors each step and are published as the resonances.
  EXPECT_NEAR(std::arg(atom.phases()[2]), 2.0 * std::numbers::pi * 0.003f, 1e-12);
  atom.publishResonances(voice);
  EXPECT_FLOAT_EQ(voice.reson3R.get(), float(std::cos(2.0 * std::numbers::pi * 0.003f)));
  EXPECT_FLOAT_EQ(voice.reson3I.get(), float(std::sin(2.0 * std::numbers::pi * 0.003f)));
  EXPECT_FLOAT_EQ(voice.reson1R.get(), float(atom.phases()[0].real()));
  EXPECT_FLOAT_EQ(voice.reson2I.get(), float(atom.phases()[1].imag()));

  // The trigger parameter resets phases and rotors, ahead of a later exchange of phases.
  atom.parameters().forceReset.set(true);
  EXPECT_TRUE(atom.forceResetRequested());
  atom.step(0);
  EXPECT_FALSE(atom.forceResetRequested());
  EXPECT_FALSE(atom.resetPending());  // carried out, and the ring rebuilt in that frame
  for (int k = 0; k < 3; ++k) EXPECT_EQ(atom.waves().state(k).rotor, std::complex<double>(1.0));
  // Fired, then resonances taken: the resonances win, as they would in that order.
  voice.reson2R.set(0.5f);
  voice.reson2I.set(0.0f);
  atom.parameters().forceReset.set(true);
  atom.takeResonances(voice);
  EXPECT_EQ(atom.phases()[1], std::complex<double>(0.5, 0.0));
  EXPECT_TRUE(atom.resetPending());

  atom.forceReset();
  EXPECT_TRUE(atom.resetPending());
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(atom.phases()[k], std::complex<double>(1.0, 0.0));
    EXPECT_EQ(atom.waves().state(k).rotor, std::complex<double>(1.0, 0.0));
  }
  atom.step(0);  // rotors stay at 1 until their groups are configured again
  EXPECT_EQ(atom.phases()[1], std::complex<double>(1.0, 0.0));
  atom.parameters().wfs2.f.set(-0.002f);
  atom.step(0);
  EXPECT_NEAR(std::arg(atom.phases()[1]), -2.0 * std::numbers::pi * 0.002f, 1e-12);
}

TEST(HydrogenAtom, UnsetGroupsContributeNothing) {
  // Groups 2 and 3 keep their unset n = 0: the atom samples group 1 alone.
  HydrogenAtom atom;
  atom.init();
  setGroup(atom.parameters().wfs1, {3, 2, 2.5, 0.5, 0.002f, 1});
  atom.parameters().polyVel.set(0.0);  // the particles stay where they were sampled
  atom.parameters().polyRigid.set(0.0);
  atom.step(0);
  EXPECT_FALSE(atom.waves().state(1).active());
  EXPECT_FALSE(atom.waves().state(2).active());
  WaveSuperposition alone;
  alone.configure(0, 3, 2, 2.5, 0.5, 0.002f, 1);
  alone.advancePhases();
  for (int i = 0; i < HydrogenAtom::kParticles; i += 64) {
    const vl::Vec3d p = atom.particles()[i].position * 10.0 + vl::Vec3d(1e-5, 1e-5, 1e-5);
    const Spinor want = alone.evaluate(p);
    EXPECT_GT(norm(want), 0.0);
    EXPECT_LT(norm(atom.spinors()[i] - want), 1e-12 * norm(want)) << i;
  }
}

// Every parameter of the atom at both ends of its range, with all three states, for 100 frames.
TEST(HydrogenAtom, EveryRangeEndStaysFinite) {
  std::vector<std::string> names;
  {
    HydrogenAtom probe;
    for (vl::ParameterMeta* m : probe.parameters().parameters())
      if (dynamic_cast<vl::Parameter*>(m)) names.push_back(m->getGroup() + "/" + m->getName());
  }
  ASSERT_EQ(names.size(), 22u + 18u);  // the physics floats and switches, and three groups
  for (const std::string& name : names) {
    for (int end = 0; end < 2; ++end) {
      for (bool newColors : {true, false}) {
        if (!newColors && name != "/contour" && name != "wfs1/n") continue;
        HydrogenAtom atom;
        atom.init();
        threeStates(atom);
        atom.parameters().newColors.set(newColors);
        vl::Parameter* target = nullptr;
        for (vl::ParameterMeta* m : atom.parameters().parameters())
          if (m->getGroup() + "/" + m->getName() == name) target = dynamic_cast<vl::Parameter*>(m);
        ASSERT_NE(target, nullptr);
        target->set(end ? target->max() : target->min());
        const std::string what = name + "=" + std::to_string(target->get());
        for (int frame = 0; frame < 100; ++frame) {
          atom.step(1.0 / 60);
          expectAllFinite(atom, what);
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
  threeStates(atom);
  atom.parameters().polySmooth.set(0.4);
  atom.parameters().polyRigid.set(0.2);
  atom.parameters().polyVel.set(0.5);
  atom.parameters().polyBeta.set(0.1);
  atom.step(0);

  for (int frame = 0; frame < 4; ++frame) {
    std::vector<Particle> ps = atom.particles();
    WaveSuperposition waves = atom.waves();
    waves.advancePhases();
    const AtomSettings& set = atom.settings();
    const double s = atom.scale(), h = set.der;
    for (Particle& p : ps) p.displacement = p.displacementRate = vl::Vec3d();
    std::vector<Spinor> spinors(512);
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
      const Spinor psi = waves.evaluate(q);
      spinors[i] = psi;
      const double rho = normSquared(psi);
      const double k = rho / (2 * h * (rho * rho + 1e-7));
      for (int e = 0; e < 3; ++e) {
        vl::Vec3d step;
        step[e] = h;
        const Spinor delta = waves.evaluate(q + step) - waves.evaluate(q - step);
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
      ASSERT_LT(norm(atom.spinors()[i] - spinors[i]), 1e-9 * norm(spinors[i])) << i;
    }
  }
}

// The table of spinors is an array anyone may resize; the atom keeps its 512 entries.
TEST(HydrogenAtom, TableKeepsItsSizeAfterAResize) {
  HydrogenAtom atom;
  atom.init();
  threeStates(atom);
  EXPECT_EQ(atom.size(), 512u);
  atom.resize(16);
  atom.step(0);
  EXPECT_EQ(atom.size(), 512u);
  EXPECT_GT(norm(atom[511]), 0.0);
  // An outside buffer that is too short is never written past its end.
  std::vector<Spinor> shortBuffer(9, Spinor(7, 7, 7, 7));
  atom.source(shortBuffer.data(), 8);
  atom.step(0);
  EXPECT_EQ(shortBuffer[8], Spinor(7, 7, 7, 7));
  EXPECT_NE(shortBuffer[0], Spinor(7, 7, 7, 7));
}
