#include "graphics/vl_VAO.hpp"

#include <epoxy/gl.h>

#include <algorithm>

#include "core/vl_Warn.hpp"

namespace vl {

void VAO::onCreate() {
  GLuint id = 0;
  glGenVertexArrays(1, &id);
  mID = id;
}

void VAO::onDestroy() {
  GLuint id = mID;
  glDeleteVertexArrays(1, &id);
}

void VAO::bind() {
  validate();
  glBindVertexArray(mID);
}

void VAO::unbind() {
  glBindVertexArray(0);
}

void VAO::attribPointer(unsigned index, int components, unsigned type, bool normalized, int stride,
                        std::size_t offset) {
  glVertexAttribPointer(index, components, type, normalized ? GL_TRUE : GL_FALSE, stride,
                        reinterpret_cast<const void*>(offset));
}

void VAO::enableAttrib(unsigned index) {
  glEnableVertexAttribArray(index);
}
void VAO::disableAttrib(unsigned index) {
  glDisableVertexAttribArray(index);
}

// The attribute arrays are handed to OpenGL as packed floats.
static_assert(sizeof(Vec3f) == 3 * sizeof(float) && sizeof(Vec2f) == 2 * sizeof(float));
static_assert(sizeof(Color) == 4 * sizeof(float));

template <class T>
static bool perVertex(const std::vector<T>& v, std::size_t n) {
  return n > 0 && v.size() == n;
}

void EasyVAO::release() {
  for (BufferObject* b : {&mPositions, &mColors, &mTexCoords, &mNormals, &mIndices}) b->destroy();
  destroy();
  mUploaded = false;
  mCount = 0;
}

void EasyVAO::update(const Mesh& mesh) {
  bind();
  const std::size_t n = mesh.vertices().size();
  auto upload = [&](BufferObject& buf, Attribute a, const void* src, std::size_t bytes, int comps,
                    bool use) {
    mEnabled[a] = use;
    if (!use) {
      disableAttrib(a);
      return;
    }
    buf.data(bytes, src);
    attribPointer(a, comps);
    enableAttrib(a);
  };
  upload(mPositions, POSITION, mesh.vertices().data(), n * sizeof(Vec3f), 3, n > 0);
  upload(mColors, COLOR, mesh.colors().data(), n * sizeof(Color), 4, perVertex(mesh.colors(), n));
  upload(mTexCoords, TEXCOORD, mesh.texCoords().data(), n * sizeof(Vec2f), 2,
         perVertex(mesh.texCoords(), n));
  upload(mNormals, NORMAL, mesh.normals().data(), n * sizeof(Vec3f), 3,
         perVertex(mesh.normals(), n));

  mIndexed = !mesh.indices().empty();
  const auto& idx = mesh.indices();
  if (mIndexed && *std::max_element(idx.begin(), idx.end()) >= n) {
    // OpenGL would read past the vertex buffers; draw nothing instead.
    VL_WARN_ONCE("mesh index %u out of range of %zu vertices, mesh not drawn\n",
                 *std::max_element(idx.begin(), idx.end()), n);
    mCount = 0;
  } else if (mIndexed) {
    // The element buffer binding is part of the VAO's state.
    mIndices.data(mesh.indices().size() * sizeof(unsigned), mesh.indices().data());
    mCount = static_cast<int>(mesh.indices().size());
  } else {
    mCount = static_cast<int>(n);
  }
  mPrimitive = mesh.primitive();
  mUploaded = true;
  unbind();
}

void EasyVAO::draw() {
  if (!mUploaded || mCount == 0) return;
  bind();
  // Constant attribute values are context state, not VAO state: set them at each draw.
  if (!mEnabled[COLOR]) glVertexAttrib4f(COLOR, 1.f, 1.f, 1.f, 1.f);
  if (!mEnabled[TEXCOORD]) glVertexAttrib2f(TEXCOORD, 0.f, 0.f);
  if (!mEnabled[NORMAL]) glVertexAttrib3f(NORMAL, 0.f, 0.f, 1.f);
  if (mIndexed)
    glDrawElements(mPrimitive, mCount, GL_UNSIGNED_INT, nullptr);
  else
    glDrawArrays(mPrimitive, 0, mCount);
}

}  // namespace vl
