#pragma once

// What pickables exchange: a ray, the event a pointer sends along it and what a test of the
// ray against an item found.

#include <cstdint>

#include "math/vl_Pose.hpp"
#include "math/vl_Vec.hpp"

namespace vl {

class Pickable;

struct Rayd {
  Vec3d o{0.0, 0.0, 0.0};   // origin
  Vec3d d{0.0, 0.0, -1.0};  // direction, of length 1
  Vec3d operator()(double t) const { return o + d * t; }
};

// Kinds 0, 1 and 3 come from the mouse hooks; the collection's drag handler sends DRAG.
enum PickEventKind : std::uint32_t { POINT = 0, PICK = 1, DRAG = 2, UNPICK = 3 };

struct PickEvent {
  std::uint32_t kind = POINT;
  Rayd ray;
  Pose pose;       // of the pointing device; identity for the mouse
  Vec3d motion{};  // a drag's movement of the grabbed point, zero otherwise
};

struct Hit {
  bool hit = false;
  Rayd ray;                 // the ray that was tested, in the frame it was given in
  double t = -1.0;          // distance along the ray
  Pickable* obj = nullptr;  // not owned
  Vec3d point() const { return ray(t); }
};

}  // namespace vl
