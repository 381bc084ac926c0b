#include "io/vl_PickableManager.hpp"

#include <algorithm>

namespace vl {

PickableManager& PickableManager::add(Pickable& p) {
  mPickables.push_back(&p);
  return *this;
}

void PickableManager::remove(Pickable& p) {
  std::erase(mPickables, &p);
  if (mLastHover.obj == &p) mLastHover = {};
  if (mLastPick.obj == &p) mLastPick = {};
  if (mGrabbed == &p) mGrabbed = nullptr;
}

bool PickableManager::event(PickEvent& e) {
  Hit closest;
  double best = 1e10;
  for (Pickable* p : mPickables) {
    Hit h = p->intersect(e.ray);
    if (h.hit && h.t < best) {
      best = h.t;
      closest = h;
    }
  }
  bool used = false;
  for (Pickable* p : mPickables) {
    if (p != closest.obj && p->selected.get() == 0.f && e.kind != POINT && e.kind != UNPICK)
      continue;
    used |= p->event(e);
  }
  if (e.kind == POINT) mLastHover = closest;
  if (e.kind == PICK) mLastPick = closest;
  return used;
}

bool PickableManager::send(std::uint32_t kind, const Rayd& ray, const Pose& pointer) {
  PickEvent e;
  e.kind = kind;
  e.ray = ray;
  e.pose = pointer;
  const bool used = event(e);
  if (kind == UNPICK) mGrabbed = nullptr;
  return used;
}

bool PickableManager::pick(const Rayd& ray, const Pose& pointer) {
  const bool used = send(PICK, ray, pointer);
  mGrabbed = nullptr;
  if (mLastPick.hit && mLastPick.obj->selected.get() != 0.f) {
    mGrabbed = mLastPick.obj;
    mGrabPoint = mLastPick.point();
    mGrabbed->grab(mGrabPoint, pointer);
  }
  return used;
}

bool PickableManager::drag(const Rayd& ray) {
  if (!mGrabbed || mGrabbed->selected.get() == 0.f) return false;
  const Vec3d point = ray(mLastPick.t);
  if (mMoveOnDrag) mGrabbed->dragTo(point);
  PickEvent e;
  e.kind = DRAG;
  e.ray = ray;
  e.motion = point - mGrabPoint;
  mGrabPoint = point;
  return event(e);
}

Rayd PickableManager::pickRay(double x, double y, int w, int h, const Mat4f& projection,
                              const Mat4f& view) {
  const double u = 2.0 * x / w - 1.0, v = 2.0 * (h - y) / h - 1.0;
  const glm::dmat4 toWorld = glm::inverse(glm::dmat4(projection) * glm::dmat4(view));
  glm::dvec4 nearPoint = toWorld * glm::dvec4(u, v, -1.0, 1.0);
  glm::dvec4 farPoint = toWorld * glm::dvec4(u, v, 1.0, 1.0);
  nearPoint /= nearPoint.w;
  farPoint /= farPoint.w;
  const Vec3d o{nearPoint.x, nearPoint.y, nearPoint.z};
  const Vec3d f{farPoint.x, farPoint.y, farPoint.z};
  return {o, (f - o).normalized()};
}

}  // namespace vl
