#pragma once

#include "graphics/vl_Mesh.hpp"
#include "graphics/vl_VAO.hpp"

namespace vl {

// A mesh with its own GPU copy. Call update() after changing the arrays; drawing a mesh that
// was never uploaded uploads it first.
class VAOMesh : public Mesh {
 public:
  explicit VAOMesh(Primitive p = TRIANGLES) : Mesh(p) {}

  void update() { mVAO.update(*this); }
  void draw() {
    if (!mVAO.uploaded()) update();
    mVAO.draw();
  }
  EasyVAO& vao() { return mVAO; }

 private:
  EasyVAO mVAO;
};

}  // namespace vl
