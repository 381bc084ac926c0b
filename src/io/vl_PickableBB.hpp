#pragma once

#include "io/vl_Pickable.hpp"

namespace vl {

// A pickable whose extent is a box, lower and upper corners in its own frame.
class PickableBB : public Pickable {
 public:
  explicit PickableBB(std::string name = "pickableBB") : Pickable(std::move(name)) {}

  void box(const Vec3f& min, const Vec3f& max) {
    mMin = min;
    mMax = max;
  }
  const Vec3f& boxMin() const { return mMin; }
  const Vec3f& boxMax() const { return mMax; }

  // Hit at the box's first wall along the ray, or at its far wall when the ray starts inside;
  // the distance is in the parent's units for a uniform scale.
  Hit intersect(const Rayd& ray) override;

  // The slab test in the box's frame: the distance to the box along a unit ray, −1 when the
  // ray misses it or the box is behind it.
  float intersectBox(const Rayd& local) const;

 private:
  Vec3f mMin{0.f, 0.f, 0.f}, mMax{0.f, 0.f, 0.f};
};

}  // namespace vl
