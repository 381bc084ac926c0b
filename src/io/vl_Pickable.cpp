#include "io/vl_Pickable.hpp"

#include "graphics/vl_Graphics.hpp"

namespace vl {

Pickable::Pickable(std::string name)
    : hover("hover", name, 0.f),
      selected("selected", name, 0.f),
      pose("pose", name),
      scaleVec("scaleVec", name, Vec3f{1.f, 1.f, 1.f}),
      scale("scale", name, 1.f),
      mName(std::move(name)) {
  scale.registerChangeCallback([this](float s) { scaleVec.set(Vec3f{s, s, s}); });
  bundle << hover << selected << pose << scale << scaleVec;
}

Hit Pickable::intersectPoint(const Vec3d& point) {
  return intersect(Rayd{point, Vec3d{0.0, 0.0, -1.0}});
}

bool Pickable::event(PickEvent& e) {
  bool used = false;
  if (!mChildren.empty()) {
    PickEvent local = e;
    if (mTestChildren) local.ray = toLocal(e.ray);
    for (Pickable* child : mChildren) used |= child->event(local);
  }
  if (used) return true;
  Hit h = intersect(e.ray);
  return onEvent(e, h);
}

Rayd Pickable::toLocal(const Rayd& ray) {
  const Pose p = pose.get();
  const Vec3f sf = scaleVec.get();
  const Vec3d s{sf[0], sf[1], sf[2]};
  const Quatd inverse = p.orientation.conjugate();
  Vec3d o = inverse.rotate(ray.o - p.position);
  Vec3d d = inverse.rotate(ray.d);
  for (std::size_t i = 0; i < 3; ++i) {
    o[i] /= s[i];
    d[i] /= s[i];
  }
  return {o, d.normalized()};
}

void Pickable::grab(const Vec3d& point, const Pose& pointer) {
  mPrevPose = pose.get();
  mSelectPose = Pose(point, pointer.orientation);
  mSelectOffset = Pose(mPrevPose.position - point, mPrevPose.orientation);
}

void Pickable::dragTo(const Vec3d& point) {
  pose.set(Pose(point + mSelectOffset.position, mPrevPose.orientation));
}

void Pickable::pushMatrix(Graphics& g) {
  const Pose p = pose.get();
  const Vec3f s = scaleVec.get();
  g.pushMatrix();
  g.translate(float(p.position[0]), float(p.position[1]), float(p.position[2]));
  g.rotate(p.orientation);
  g.scale(s[0], s[1], s[2]);
}

void Pickable::popMatrix(Graphics& g) {
  g.popMatrix();
}

}  // namespace vl
