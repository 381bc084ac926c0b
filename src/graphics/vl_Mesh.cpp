#include "graphics/vl_Mesh.hpp"

namespace vl {

void Mesh::reset() {
  mVertices.clear();
  mColors.clear();
  mTexCoords.clear();
  mNormals.clear();
  mIndices.clear();
}

}  // namespace vl
