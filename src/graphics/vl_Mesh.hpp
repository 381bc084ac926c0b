#pragma once

#include <vector>

#include "math/vl_Color.hpp"
#include "math/vl_Vec.hpp"

namespace vl {

// Vertex data on the CPU side: positions with optional per-vertex colours, texture
// coordinates and normals (each used only when it has one entry per vertex), and optional
// indices.
class Mesh {
 public:
  // Values are the OpenGL primitive enums.
  enum Primitive : unsigned {
    POINTS = 0x0000,
    LINES = 0x0001,
    LINE_LOOP = 0x0002,
    LINE_STRIP = 0x0003,
    TRIANGLES = 0x0004,
    TRIANGLE_STRIP = 0x0005,
    TRIANGLE_FAN = 0x0006,
  };

  explicit Mesh(Primitive p = TRIANGLES) : mPrimitive(p) {}

  Primitive primitive() const { return mPrimitive; }
  Mesh& primitive(Primitive p) {
    mPrimitive = p;
    return *this;
  }

  Mesh& vertex(float x, float y, float z = 0.f) { return vertex(Vec3f{x, y, z}); }
  Mesh& vertex(const Vec3f& v) {
    mVertices.push_back(v);
    return *this;
  }
  Mesh& color(float r, float g, float b, float a = 1.f) { return color(Color{r, g, b, a}); }
  Mesh& color(const Color& c) {
    mColors.push_back(c);
    return *this;
  }
  Mesh& texCoord(float u, float v) {
    mTexCoords.push_back({u, v});
    return *this;
  }
  Mesh& normal(float x, float y, float z) { return normal(Vec3f{x, y, z}); }
  Mesh& normal(const Vec3f& n) {
    mNormals.push_back(n);
    return *this;
  }
  Mesh& index(unsigned i) {
    mIndices.push_back(i);
    return *this;
  }

  std::vector<Vec3f>& vertices() { return mVertices; }
  const std::vector<Vec3f>& vertices() const { return mVertices; }
  std::vector<Color>& colors() { return mColors; }
  const std::vector<Color>& colors() const { return mColors; }
  std::vector<Vec2f>& texCoords() { return mTexCoords; }
  const std::vector<Vec2f>& texCoords() const { return mTexCoords; }
  std::vector<Vec3f>& normals() { return mNormals; }
  const std::vector<Vec3f>& normals() const { return mNormals; }
  std::vector<unsigned>& indices() { return mIndices; }
  const std::vector<unsigned>& indices() const { return mIndices; }

  // Empties every array; the primitive stays.
  void reset();

 private:
  Primitive mPrimitive;
  std::vector<Vec3f> mVertices;
  std::vector<Color> mColors;
  std::vector<Vec2f> mTexCoords;
  std::vector<Vec3f> mNormals;
  std::vector<unsigned> mIndices;
};

}  // namespace vl
