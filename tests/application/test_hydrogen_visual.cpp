// Needle and mesh geometry of the atom's visual, without a display.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "HydrogenAtom.hpp"
#include "HydrogenVisual.hpp"

namespace {

constexpr int kN = HydrogenVisual::kParticles;

// A ring of particles with radial spins of varying length and distinct colours, so that every
// needle and every vertex is different.
std::vector<Particle> ring() {
  std::vector<Particle> ps(kN);
  for (int k = 0; k < kN; ++k) {
    const double a = 2.0 * M_PI * k / kN;
    ps[k].position = vl::Vec3d(std::cos(a), std::sin(a), 0.01 * k);
    ps[k].spin = vl::Vec3d(std::cos(a), std::sin(a), 0.5) * (0.001 * (1 + k % 7));
    ps[k].colour = vl::Color(float(k) / kN, 0.5f, 1.f - float(k) / kN, 0.9f);
  }
  return ps;
}

void expectNear(const vl::Vec3f& got, const vl::Vec3d& want, const char* what, int k) {
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 1e-6) << what << " " << k;
}

void expectColour(const vl::Color& got, const vl::Color& want, const char* what, int k) {
  for (int c = 0; c < 4; ++c) EXPECT_NEAR(got[c], want[c], 1e-6) << what << " " << k;
}

}  // namespace

TEST(HydrogenVisual, NeedlesRunFromAQuarterBehindToTheFullLengthAhead) {
  std::vector<Particle> ps = ring();
  HydrogenVisual visual(ps);
  visual.init();
  visual.parameters().thick.set(0.5f);  // needles 16 spins long
  visual.parameters().drawType.set(1);
  visual.step();
  for (int k : {0, 1, 200, 511}) {
    const vl::Vec3d tail = ps[k].position - ps[k].spin * 4.0;
    const vl::Vec3d head = ps[k].position + ps[k].spin * 16.0;
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(visual.needlePoints()[2 * k][c], tail[c], 1e-15);
      EXPECT_NEAR(visual.needlePoints()[2 * k + 1][c], head[c], 1e-15);
    }
    // Lines: tail, head, tail, head, colours unscaled.
    const auto& v = visual.mesh().vertices();
    const auto& col = visual.mesh().colors();
    expectNear(v[4 * k], tail, "tail", k);
    expectNear(v[4 * k + 1], head, "head", k);
    expectNear(v[4 * k + 2], tail, "tail again", k);
    expectNear(v[4 * k + 3], head, "head again", k);
    expectColour(col[4 * k], vl::Color(0, 0, 0, 0.8f), "tail colour", k);
    expectColour(col[4 * k + 1], ps[k].colour, "head colour", k);
    expectColour(col[4 * k + 3], ps[k].colour, "head colour again", k);
  }
  EXPECT_EQ(visual.primitive(), vl::Mesh::LINES);
  EXPECT_EQ(visual.mesh().vertices().size(), size_t(HydrogenVisual::kVertices));
}

TEST(HydrogenVisual, RibbonInterpolatesMidpointsAcrossTheWrapAndFadesItsColours) {
  std::vector<Particle> ps = ring();
  HydrogenVisual visual(ps);
  visual.init();
  visual.parameters().howTranslucent.set(0.5f);
  visual.level = 0.25f;
  visual.step();
  EXPECT_EQ(visual.primitive(), vl::Mesh::TRIANGLE_STRIP);
  auto tail = [&](int k) { return ps[k].position - ps[k].spin * 8.0; };
  auto head = [&](int k) { return ps[k].position + ps[k].spin * 32.0; };
  const auto& v = visual.mesh().vertices();
  const auto& col = visual.mesh().colors();
  // Neighbours k - 1, k, k + 1, k + 2, wrapping at both ends of the ring.
  const int cases[][5] = {
      {0, 511, 0, 1, 2}, {7, 6, 7, 8, 9}, {510, 509, 510, 511, 0}, {511, 510, 511, 0, 1}};
  for (const auto& c : cases) {
    const int k = c[0];
    auto mid = [&](auto end) {
      return end(c[1]) * (-1.0 / 16) + end(c[2]) * (9.0 / 16) + end(c[3]) * (9.0 / 16) +
             end(c[4]) * (-1.0 / 16);
    };
    expectNear(v[4 * k], tail(k), "tail", k);
    expectNear(v[4 * k + 1], head(k), "head", k);
    expectNear(v[4 * k + 2], mid(tail), "tail midpoint", k);
    expectNear(v[4 * k + 3], mid(head), "head midpoint", k);
    const float fade = 0.5f * 0.25f;
    const vl::Color faded(ps[k].colour.r, ps[k].colour.g, ps[k].colour.b, ps[k].colour.a * fade);
    expectColour(col[4 * k], vl::Color(0, 0, 0, 0.8f * fade), "tail colour", k);
    expectColour(col[4 * k + 1], faded, "head colour", k);
    expectColour(col[4 * k + 2], vl::Color(0, 0, 0, 0.8f * fade), "tail colour", k);
    expectColour(col[4 * k + 3], faded, "head colour", k);
  }
  // The fade is applied afresh each frame, not compounded.
  visual.step();
  EXPECT_NEAR(visual.mesh().colors()[1].a, ps[0].colour.a * 0.125f, 1e-7);
}

TEST(HydrogenVisual, ThickZeroCollapsesEveryNeedleToItsParticle) {
  std::vector<Particle> ps = ring();
  HydrogenVisual visual(ps);
  visual.init();
  visual.parameters().thick.set(0.f);
  for (int type : {0, 1}) {
    visual.parameters().drawType.set(type);
    visual.step();
    for (int k = 0; k < kN; ++k) {
      expectNear(visual.mesh().vertices()[4 * k], ps[k].position, "tail", k);
      expectNear(visual.mesh().vertices()[4 * k + 1], ps[k].position, "head", k);
    }
  }
}

TEST(HydrogenVisual, TranslucencyOrEnvelopeZeroHidesOnlyTheRibbon) {
  std::vector<Particle> ps = ring();
  HydrogenVisual visual(ps);
  visual.init();
  for (int which = 0; which < 2; ++which) {
    visual.parameters().howTranslucent.set(which == 0 ? 0.f : 1.f);
    visual.level = which == 0 ? 1.f : 0.f;
    visual.parameters().drawType.set(0);
    visual.step();
    for (const vl::Color& c : visual.mesh().colors()) ASSERT_EQ(c.a, 0.f);
    visual.parameters().drawType.set(2);
    visual.step();
    EXPECT_FLOAT_EQ(visual.mesh().colors()[0].a, 0.8f);
    EXPECT_FLOAT_EQ(visual.mesh().colors()[1].a, ps[0].colour.a);
  }
}

TEST(HydrogenVisual, ParticleInItsFailStateIsAWhiteHeadAtTheOrigin) {
  HydrogenAtom atom;
  atom.init();
  atom.step(0);
  atom.particles()[42].fail();
  HydrogenVisual visual(atom.particles());
  visual.init();
  visual.parameters().drawType.set(1);
  visual.step();
  expectNear(visual.mesh().vertices()[4 * 42], vl::Vec3d(), "tail", 42);
  expectNear(visual.mesh().vertices()[4 * 42 + 1], vl::Vec3d(), "head", 42);
  expectColour(visual.mesh().colors()[4 * 42 + 1], vl::Color(1, 1, 1, 1), "head", 42);
}
