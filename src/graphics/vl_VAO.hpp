#pragma once

#include "graphics/vl_BufferObject.hpp"
#include "graphics/vl_GPUObject.hpp"
#include "graphics/vl_Mesh.hpp"

namespace vl {

// A vertex array object.
class VAO : public GPUObject {
 public:
  VAO() = default;
  VAO(VAO&&) noexcept = default;
  ~VAO() override { destroy(); }

  void bind();
  static void unbind();
  // Points attribute `index` (VAO bound) at the currently bound array buffer.
  void attribPointer(unsigned index, int components, unsigned type = 0x1406 /* GL_FLOAT */,
                     bool normalized = false, int stride = 0, std::size_t offset = 0);
  void enableAttrib(unsigned index);
  void disableAttrib(unsigned index);

 protected:
  void onCreate() override;
  void onDestroy() override;
};

// A VAO with one buffer per default attribute (position 0, colour 1, texture coordinate 2,
// normal 3) and an index buffer, filled from a Mesh. Attributes the mesh lacks are disabled
// and read constant defaults: white, (0, 0), and the normal (0, 0, 1).
class EasyVAO : public VAO {
 public:
  enum Attribute : unsigned { POSITION = 0, COLOR = 1, TEXCOORD = 2, NORMAL = 3 };

  EasyVAO() = default;
  EasyVAO(EasyVAO&&) noexcept = default;

  // Uploads the mesh's arrays, replacing what was there.
  void update(const Mesh& mesh);
  // Draws everything uploaded with the mesh's primitive.
  void draw();
  // Deletes the array and its buffers (context current); the next draw of a VAOMesh uploads
  // again. For owners that outlive their context.
  void release();
  bool uploaded() const { return mUploaded; }
  unsigned primitive() const { return mPrimitive; }
  int count() const { return mCount; }

 private:
  BufferObject mPositions, mColors, mTexCoords, mNormals;
  BufferObject mIndices{0x8893 /* GL_ELEMENT_ARRAY_BUFFER */};
  bool mEnabled[4] = {false, false, false, false};
  bool mIndexed = false;
  bool mUploaded = false;
  unsigned mPrimitive = Mesh::TRIANGLES;
  int mCount = 0;
};

}  // namespace vl
