#pragma once

#include "math/vl_Color.hpp"
#include "math/vl_Vec.hpp"

// One node of the atom's ring.
struct Particle {
  vl::Vec3d position;          // world position in simulation units
  vl::Vec3d spin;              // spin vector of the spinor sampled here
  vl::Vec3d displacement;      // gathered during a step, zeroed at its start
  vl::Vec3d displacementRate;  // added to the displacement before integration
  vl::Color colour;

  // Position, spin and both displacements zero, colour white: where a particle goes when its
  // numbers have run away.
  void fail() {
    position = spin = displacement = displacementRate = vl::Vec3d();
    colour = vl::Color(1.f, 1.f, 1.f, 1.f);
  }
};

static_assert(sizeof(Particle) == 112, "Particle is twelve doubles and four floats");
