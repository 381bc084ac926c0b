#include "graphics/vl_Shapes.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vl {

namespace {
constexpr float kTwoPi = 2.f * std::numbers::pi_v<float>;
constexpr float kPi = std::numbers::pi_v<float>;

unsigned base(const Mesh& m) {
  return static_cast<unsigned>(m.vertices().size());
}

// Two triangles of the quad a b c d (counter-clockwise).
void quad(Mesh& m, unsigned a, unsigned b, unsigned c, unsigned d) {
  m.index(a).index(b).index(c).index(a).index(c).index(d);
}
}  // namespace

int addRect(Mesh& m, float x, float y, float w, float h) {
  m.primitive(Mesh::TRIANGLES);
  unsigned b = base(m);
  const float xs[4] = {x, x + w, x + w, x}, ys[4] = {y, y, y + h, y + h};
  const float us[4] = {0, 1, 1, 0}, vs[4] = {0, 0, 1, 1};
  for (int i = 0; i < 4; ++i) m.vertex(xs[i], ys[i], 0.f).normal(0, 0, 1).texCoord(us[i], vs[i]);
  quad(m, b, b + 1, b + 2, b + 3);
  return 4;
}

int addCube(Mesh& m, float size) {
  m.primitive(Mesh::TRIANGLES);
  const float h = size * 0.5f;
  // For each face: its normal and two in-face axes u, v with u × v = normal.
  const Vec3f faces[6][3] = {
      {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
      {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
      {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
  };
  const float corner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  for (const auto& f : faces) {
    unsigned b = base(m);
    for (const auto& c : corner) {
      Vec3f p = (f[0] + f[1] * c[0] + f[2] * c[1]) * h;
      m.vertex(p).normal(f[0]).texCoord((c[0] + 1) * 0.5f, (c[1] + 1) * 0.5f);
    }
    quad(m, b, b + 1, b + 2, b + 3);
  }
  return 24;
}

int addSphere(Mesh& m, float radius, int slices, int stacks) {
  m.primitive(Mesh::TRIANGLES);
  slices = std::max(slices, 3);
  stacks = std::max(stacks, 2);
  unsigned b = base(m);
  // Rows from the north to the south pole; the seam column is duplicated for the texture.
  for (int j = 0; j <= stacks; ++j) {
    float theta = kPi * static_cast<float>(j) / static_cast<float>(stacks);
    for (int i = 0; i <= slices; ++i) {
      float phi = kTwoPi * static_cast<float>(i) / static_cast<float>(slices);
      Vec3f n{std::sin(theta) * std::sin(phi), std::cos(theta), std::sin(theta) * std::cos(phi)};
      m.vertex(n * radius)
          .normal(n)
          .texCoord(static_cast<float>(i) / static_cast<float>(slices),
                    1.f - static_cast<float>(j) / static_cast<float>(stacks));
    }
  }
  const unsigned row = static_cast<unsigned>(slices) + 1;
  for (unsigned j = 0; j < static_cast<unsigned>(stacks); ++j)
    for (unsigned i = 0; i < static_cast<unsigned>(slices); ++i) {
      unsigned a = b + j * row + i;
      quad(m, a, a + row, a + row + 1, a + 1);
    }
  return static_cast<int>(row) * (stacks + 1);
}

int addTorus(Mesh& m, float minor, float major, int sides, int rings) {
  m.primitive(Mesh::TRIANGLES);
  sides = std::max(sides, 3);
  rings = std::max(rings, 3);
  unsigned b = base(m);
  for (int j = 0; j <= rings; ++j) {
    float u = kTwoPi * static_cast<float>(j) / static_cast<float>(rings);
    Vec3f ringDir{std::cos(u), std::sin(u), 0.f};
    for (int i = 0; i <= sides; ++i) {
      float v = kTwoPi * static_cast<float>(i) / static_cast<float>(sides);
      Vec3f n = ringDir * std::cos(v) + Vec3f{0.f, 0.f, std::sin(v)};
      m.vertex(ringDir * major + n * minor)
          .normal(n)
          .texCoord(static_cast<float>(j) / static_cast<float>(rings),
                    static_cast<float>(i) / static_cast<float>(sides));
    }
  }
  const unsigned row = static_cast<unsigned>(sides) + 1;
  for (unsigned j = 0; j < static_cast<unsigned>(rings); ++j)
    for (unsigned i = 0; i < static_cast<unsigned>(sides); ++i) {
      unsigned a = b + j * row + i;
      quad(m, a, a + row, a + row + 1, a + 1);
    }
  return static_cast<int>(row) * (rings + 1);
}

}  // namespace vl
