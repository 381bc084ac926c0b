#pragma once

#include <vector>

#include "io/vl_Pickable.hpp"
#include "math/vl_Mat4.hpp"

namespace vl {

// The pickables of a scene, in the order they were added: turns pointer rays into pick
// events, finds the closest item under the ray and hands the event to the items. Items not
// under the pointer still see every point and unpick event, and pick events while they are
// selected, so that they can clear their hover and selection. Main thread only.
class PickableManager {
 public:
  // Not owned; the item must outlive the collection or be removed.
  PickableManager& add(Pickable& p);
  PickableManager& operator<<(Pickable& p) { return add(p); }
  void remove(Pickable& p);
  const std::vector<Pickable*>& pickables() const { return mPickables; }

  // Dispatches the event; true when an item used it.
  bool event(PickEvent& e);
  bool point(const Rayd& ray) { return send(POINT, ray); }
  bool pick(const Rayd& ray, const Pose& pointer = {});
  bool unpick(const Rayd& ray) { return send(UNPICK, ray); }
  // The drag handler: with moving on, the item that the last pick selected follows the
  // pointer, keeping the point held at the distance where it was taken; the items then see a
  // DRAG event carrying the point's motion.
  bool drag(const Rayd& ray);
  // Off at construction: a panel's items stay where they were laid out.
  void moveOnDrag(bool on) { mMoveOnDrag = on; }
  bool moveOnDrag() const { return mMoveOnDrag; }

  const Hit& lastHover() const { return mLastHover; }
  const Hit& lastPick() const { return mLastPick; }

  // The ray through a pointer at window pixels (x, y), y down, in a window w × h whose
  // scene is drawn with the given projection and view: from the near plane to the far one.
  static Rayd pickRay(double x, double y, int w, int h, const Mat4f& projection, const Mat4f& view);

 private:
  bool send(std::uint32_t kind, const Rayd& ray, const Pose& pointer = {});

  std::vector<Pickable*> mPickables;
  Hit mLastHover, mLastPick;
  bool mMoveOnDrag = false;
  Pickable* mGrabbed = nullptr;
  Vec3d mGrabPoint{};
};

}  // namespace vl
