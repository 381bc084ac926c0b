#pragma once

#include "math/vl_Color.hpp"
#include "math/vl_Vec.hpp"

namespace vl {

// A light of the default lit shaders. The position is homogeneous: w = 0 makes it a
// direction (towards the light), w = 1 a point. It is given in world coordinates and
// carried into eye space by the view matrix when uploaded.
struct Light {
  Color ambient{0.f, 0.f, 0.f, 1.f};
  Color diffuse{1.f, 1.f, 1.f, 1.f};
  Color specular{1.f, 1.f, 1.f, 1.f};
  Vec4f position{0.f, 0.f, 1.f, 0.f};

  Light& pos(float x, float y, float z) {
    position = {x, y, z, 1.f};
    return *this;
  }
  Light& dir(float x, float y, float z) {
    position = {x, y, z, 0.f};
    return *this;
  }
};

// Surface reflectances of the lit material program.
struct Material {
  Color ambient{0.2f, 0.2f, 0.2f, 1.f};
  Color diffuse{0.8f, 0.8f, 0.8f, 1.f};
  Color specular{0.f, 0.f, 0.f, 1.f};
  float shininess = 5.f;
};

}  // namespace vl
