// Shape builders: winding agrees with the normals, appended shapes keep their own indices.
#include <gtest/gtest.h>

#include "graphics/vl_Shapes.hpp"

using namespace vl;

namespace {
// Every triangle winds counter-clockwise seen from the side its vertex normals point to.
void expectOutwardWinding(const Mesh& m) {
  ASSERT_EQ(m.primitive(), Mesh::TRIANGLES);
  ASSERT_EQ(m.indices().size() % 3, 0u);
  ASSERT_EQ(m.normals().size(), m.vertices().size());
  ASSERT_EQ(m.texCoords().size(), m.vertices().size());
  for (const Vec3f& n : m.normals()) EXPECT_NEAR(n.mag(), 1.f, 1e-5f);
  int degenerate = 0;
  for (std::size_t i = 0; i < m.indices().size(); i += 3) {
    unsigned a = m.indices()[i], b = m.indices()[i + 1], c = m.indices()[i + 2];
    ASSERT_LT(std::max({a, b, c}), m.vertices().size());
    Vec3f face = cross(m.vertices()[b] - m.vertices()[a], m.vertices()[c] - m.vertices()[a]);
    if (face.mag() < 1e-7f) {  // pole triangles of a sphere collapse
      ++degenerate;
      continue;
    }
    Vec3f n = m.normals()[a] + m.normals()[b] + m.normals()[c];
    EXPECT_GT(face.dot(n), 0.f) << "triangle " << i / 3;
  }
  EXPECT_LT(degenerate * 4, static_cast<int>(m.indices().size() / 3));
}
}  // namespace

TEST(Shapes, WindingFollowsNormals) {
  Mesh cube, sphere, torus, rect;
  EXPECT_EQ(addCube(cube, 2.f), 24);
  EXPECT_EQ(cube.indices().size(), 36u);
  for (const Vec3f& v : cube.vertices())
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(std::fabs(v[k]), 1.f);
  expectOutwardWinding(cube);

  EXPECT_EQ(addSphere(sphere, 0.5f, 12, 6), 13 * 7);
  for (const Vec3f& v : sphere.vertices()) EXPECT_NEAR(v.mag(), 0.5f, 1e-5f);
  expectOutwardWinding(sphere);

  addTorus(torus, 0.2f, 1.f, 8, 12);
  for (std::size_t i = 0; i < torus.vertices().size(); ++i) {
    // Each vertex lies at the tube radius from the ring, along its normal.
    Vec3f v = torus.vertices()[i] - torus.normals()[i] * 0.2f;
    EXPECT_NEAR(std::hypot(v[0], v[1]), 1.f, 1e-5f);
    EXPECT_NEAR(v[2], 0.f, 1e-5f);
  }
  expectOutwardWinding(torus);

  addRect(rect, 0.f, 0.f, 2.f, 1.f);
  expectOutwardWinding(rect);
}

TEST(Shapes, AppendedShapesIndexTheirOwnVertices) {
  Mesh m;
  addCube(m);
  addCube(m, 3.f);
  ASSERT_EQ(m.vertices().size(), 48u);
  for (std::size_t i = 36; i < 72; ++i) {
    EXPECT_GE(m.indices()[i], 24u);
    EXPECT_FLOAT_EQ(std::fabs(m.vertices()[m.indices()[i]][0]), 1.5f);
  }
  expectOutwardWinding(m);
  m.reset();
  EXPECT_TRUE(m.vertices().empty() && m.indices().empty() && m.normals().empty());
}
