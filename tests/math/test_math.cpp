#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "math/vl_Color.hpp"
#include "math/vl_Mat4.hpp"

using namespace vl;

TEST(Quat, ProductComposesRotationsRightToLeft) {
  const double h = std::numbers::pi / 2;
  Quatd aboutZ = Quatd::fromAxisAngle(h, {0.0, 0.0, 1.0});
  Quatd aboutY = Quatd::fromAxisAngle(h, {0.0, 1.0, 0.0});
  // Rotate x by y first (to -z), then by z (stays -z).
  Vec3d v = (aboutZ * aboutY).rotate({1.0, 0.0, 0.0});
  EXPECT_NEAR(v[0], 0.0, 1e-12);
  EXPECT_NEAR(v[1], 0.0, 1e-12);
  EXPECT_NEAR(v[2], -1.0, 1e-12);
  // A zero quaternion normalises to the identity rather than to NaNs.
  EXPECT_EQ(Quatd(0, 0, 0, 0).normalized(), Quatd::identity());
}

TEST(Pose, ViewMatrixInvertsModelMatrix) {
  Pose p({1.0, -2.0, 3.5}, Quatd::fromAxisAngle(0.7, {0.3, 1.0, -0.2}));
  Mat4f id = viewMatrix(p) * modelMatrix(p);
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) EXPECT_NEAR(id[c][r], c == r ? 1.f : 0.f, 1e-5f);
  // The identity pose looks down -z.
  Vec3d f = Pose().uf();
  EXPECT_EQ(f, Vec3d(0.0, 0.0, -1.0));
}

TEST(Color, HsvSectorsMatchTheStandardConversion) {
  struct Case {
    float h, s, v, r, g, b;
  } cases[] = {
      {0.f, 1.f, 1.f, 1.f, 0.f, 0.f},       {1.f / 6, 1.f, 1.f, 1.f, 1.f, 0.f},
      {2.f / 6, 1.f, 1.f, 0.f, 1.f, 0.f},   {0.5f, 1.f, 1.f, 0.f, 1.f, 1.f},
      {4.f / 6, 1.f, 1.f, 0.f, 0.f, 1.f},   {5.f / 6, 1.f, 1.f, 1.f, 0.f, 1.f},
      {1.25f, 1.f, 0.7f, 0.35f, 0.7f, 0.f}, {-0.75f, 1.f, 0.7f, 0.35f, 0.7f, 0.f},
      {0.3f, 0.f, 0.4f, 0.4f, 0.4f, 0.4f},  {0.999999f, 1.f, 1.f, 1.f, 0.f, 0.f},
  };
  for (auto c : cases) {
    Color col = Color::fromHSV(c.h, c.s, c.v);
    EXPECT_NEAR(col.r, c.r, 1e-4f) << c.h;
    EXPECT_NEAR(col.g, c.g, 1e-4f) << c.h;
    EXPECT_NEAR(col.b, c.b, 1e-4f) << c.h;
    EXPECT_EQ(col.a, 1.f);
  }
  // The selection form gives exactly what the textbook jump over the six sectors gives, for
  // hues far outside one turn too.
  auto textbook = [](float hue, float v) {
    const float h = hue - std::floor(hue), sector = h * 6.f;
    const int i = std::min(int(sector), 5);
    const float f = sector - float(i), p = 0.f, q = v * (1.f - f), t = v * (1.f - (1.f - f));
    const Color table[6] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
    return table[i];
  };
  for (float hue = -40.f; hue < 40.f; hue += 0.0137f) {
    EXPECT_EQ(Color::fromHSV(hue, 1.f, 0.7f), textbook(hue, 0.7f)) << hue;
  }
  EXPECT_EQ(Color::fromHSV(3e9f, 1.f, 0.5f), Color(0.5f, 0.f, 0.f));
  EXPECT_TRUE(std::isnan(Color::fromHSV(NAN, 1.f, 1.f).b));
}
