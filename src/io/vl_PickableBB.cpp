#include "io/vl_PickableBB.hpp"

#include <algorithm>
#include <limits>

namespace vl {

float PickableBB::intersectBox(const Rayd& local) const {
  // Single precision, as boxes are; a zero direction component gives infinite slab distances,
  // which the comparisons handle.
  float tmin = -std::numeric_limits<float>::infinity();
  float tmax = std::numeric_limits<float>::infinity();
  for (std::size_t i = 0; i < 3; ++i) {
    const float o = float(local.o[i]);
    const float inv = 1.f / float(local.d[i]);
    const float nearPlane = inv < 0.f ? mMax[i] : mMin[i];
    const float farPlane = inv < 0.f ? mMin[i] : mMax[i];
    float tNear = (nearPlane - o) * inv, tFar = (farPlane - o) * inv;
    // The origin on a plane with the ray along it: 0 × ∞; the slab then holds the whole ray.
    if (tNear != tNear) tNear = -std::numeric_limits<float>::infinity();
    if (tFar != tFar) tFar = std::numeric_limits<float>::infinity();
    tmin = std::max(tmin, tNear);
    tmax = std::min(tmax, tFar);
  }
  if (tmin > tmax) return -1.f;
  if (tmin < 0.f) return tmax >= 0.f ? tmax : -1.f;
  return tmin;
}

Hit PickableBB::intersect(const Rayd& ray) {
  const float t = intersectBox(toLocal(ray));
  const double distance = double(t) * double(scaleVec.get()[0]);
  return Hit{distance > 0.0, ray, distance, this};
}

}  // namespace vl
