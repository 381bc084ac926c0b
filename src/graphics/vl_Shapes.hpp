#pragma once

#include "graphics/vl_Mesh.hpp"

namespace vl {

// Shape builders. Each appends indexed triangles with normals and texture coordinates to the
// mesh (offsetting its indices by the vertices already present), sets the primitive to
// TRIANGLES and returns the number of vertices added.

// A cube of the given edge length centred on the origin, flat-shaded (four vertices a face).
int addCube(Mesh& m, float size = 1.f);
// An axis-aligned rectangle in the z = 0 plane facing +z, texture coordinates 0..1.
int addRect(Mesh& m, float x, float y, float w, float h);
// A UV sphere about the y axis.
int addSphere(Mesh& m, float radius = 1.f, int slices = 32, int stacks = 16);
// A torus in the x-y plane: tube radius `minor` around a ring of radius `major`.
int addTorus(Mesh& m, float minor = 0.3f, float major = 0.7f, int sides = 16, int rings = 32);

}  // namespace vl
