// Rays against boxes, the collection's dispatch and the pointer's ray, with every distance
// worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "graphics/vl_Viewpoint.hpp"
#include "io/vl_PickableBB.hpp"
#include "io/vl_PickableManager.hpp"

using namespace vl;

namespace {

Rayd ray(const Vec3d& o, const Vec3d& d) {
  return {o, d.normalized()};
}

// A unit box that records the events it gets and, like a button, is selected by a press on it
// and deselected by one that misses.
struct Probe : PickableBB {
  Probe(std::string name, const Vec3d& at) : PickableBB(std::move(name)) {
    box({-1, -1, -1}, {1, 1, 1});
    pose.set(Pose(at));
  }
  bool onEvent(PickEvent& e, Hit& h) override {
    kinds.push_back(e.kind);
    lastHit = h;
    if (e.kind == PICK) selected.set(h.hit ? 1.f : 0.f);
    return h.hit;
  }
  std::vector<std::uint32_t> kinds;
  Hit lastHit;
};

using Kinds = std::vector<std::uint32_t>;

}  // namespace

TEST(PickableBB, RaysMeetTheBoxInItsOwnFrame) {
  PickableBB b;
  b.box({-1, -1, -1}, {1, 1, 1});
  b.pose.set(Pose({0, 0, -5}));
  Hit h = b.intersect(ray({0, 0, 0}, {0, 0, -1}));
  EXPECT_TRUE(h.hit);
  EXPECT_NEAR(h.t, 4, 1e-6);
  EXPECT_EQ(h.obj, &b);
  EXPECT_NEAR(b.intersect(ray({0, 0, 0}, {1, 1, -4})).t, std::sqrt(18.0), 1e-5);  // a corner
  h = b.intersect(ray({0.5, 0, -5}, {1, 0, 0}));  // from inside: the far wall
  EXPECT_TRUE(h.hit);
  EXPECT_NEAR(h.t, 0.5, 1e-6);
  EXPECT_FALSE(b.intersect(ray({0, 0, 0}, {0, 0, 1})).hit);     // pointing away
  EXPECT_FALSE(b.intersect(ray({0, 1.5, 0}, {0, 0, -1})).hit);  // passing beside

  // A quarter turn about y and a scale of 2: local x runs along world −z, local z along x,
  // so the box covers x 3..4, y 0..2, z −4..0.
  PickableBB turned;
  turned.box({0, 0, 0}, {2, 1, 0.5f});
  turned.pose.set(Pose({3, 0, 0}, Quatd::fromAxisAngle(std::numbers::pi / 2, Vec3d{0, 1, 0})));
  turned.scale.set(2.f);
  EXPECT_NEAR(turned.intersect(ray({0, 0.5, -1}, {1, 0, 0})).t, 3, 1e-5);
  EXPECT_NEAR(turned.intersect(ray({3.5, 3, -2}, {0, -1, 0})).t, 1, 1e-5);
  EXPECT_FALSE(turned.intersect(ray({0, 0.5, 1}, {1, 0, 0})).hit);
}

TEST(PickableManager, NearerOfTwoOverlappingItemsIsTheClosestHit) {
  Probe nearBox("near", {0, 0, -3}), farBox("far", {0, 0, -6});
  PickableManager m;
  m << farBox << nearBox;  // list order is not distance order
  const Rayd r = ray({0, 0, 0}, {0, 0, -1});
  m.pick(r);
  EXPECT_EQ(m.lastPick().obj, &nearBox);
  EXPECT_NEAR(m.lastPick().t, 2, 1e-6);
  EXPECT_EQ(nearBox.kinds, Kinds{PICK});
  EXPECT_TRUE(farBox.kinds.empty());  // not selected: presses go to the closest hit only
  m.point(r);
  m.unpick(r);
  EXPECT_EQ(farBox.kinds, (Kinds{POINT, UNPICK}));
  EXPECT_TRUE(farBox.lastHit.hit);  // it is under the pointer too, only farther
  EXPECT_EQ(m.lastHover().obj, &nearBox);

  farBox.selected.set(1.f);
  m.pick(ray({0, 0, 0}, {0, 0, 1}));  // misses both: the selected ones hear of it
  EXPECT_FALSE(m.lastPick().hit);
  EXPECT_EQ(farBox.kinds.back(), PICK);
  EXPECT_EQ(farBox.selected.get(), 0.f);
  EXPECT_EQ(nearBox.selected.get(), 0.f);
}

TEST(Pickable, ChildrenAreTestedInTheParentsFrame) {
  Probe parent("parent", {10, 0, -5}), child("child", {0, 0, 0});
  parent.box({100, 100, 100}, {101, 101, 101});  // the parent itself is out of reach
  parent.addChild(child);
  PickEvent e;
  e.ray = ray({10, 0, 0}, {0, 0, -1});
  EXPECT_TRUE(parent.event(e));
  EXPECT_NEAR(child.lastHit.t, 4, 1e-6);
  EXPECT_TRUE(parent.kinds.empty());  // a child used it
  e.ray = ray({0, 0, 0}, {0, 0, -1});
  EXPECT_FALSE(parent.event(e));
  EXPECT_EQ(parent.kinds, Kinds{POINT});
}

TEST(PickableManager, DragMovesTheGrabbedItemAlongThePointer) {
  Probe box("box", {0, 0, -5});
  PickableManager m;
  m << box;
  m.drag(ray({0, 0, 0}, {1, 0, -4}));  // nothing held: nothing moves
  m.pick(ray({0, 0, 0}, {0, 0, -1}));  // takes hold at (0, 0, -4)
  m.drag(ray({0, 0, 0}, {1, 0, -4}));
  EXPECT_EQ(box.pose.get().position, (Vec3d{0, 0, -5}));  // moving is off by default
  m.moveOnDrag(true);
  m.drag(ray({0, 0, 0}, {1, 0, -4}));
  const Vec3d held = Vec3d{1, 0, -4}.normalized() * 4.0;  // same distance, new direction
  const Vec3d p = box.pose.get().position;
  EXPECT_NEAR(p[0], held[0], 1e-9);
  EXPECT_NEAR(p[2], held[2] - 1, 1e-9);
  EXPECT_EQ(box.kinds.back(), DRAG);
  m.unpick(ray({0, 0, 0}, {0, 0, -1}));
  m.drag(ray({0, 0, 0}, {0, 1, -1}));
  EXPECT_EQ(box.pose.get().position, p);
}

TEST(PickableManager, PickRayStartsOnTheNearPlaneThroughThePointer) {
  Lens lens;
  lens.fovy = 90;
  lens.near = 0.5;
  const Mat4f proj = lens.projection(2.f), view = viewMatrix(Pose({1, 2, 5}));
  Rayd r = PickableManager::pickRay(400, 200, 800, 400, proj, view);  // the centre
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(r.o[i], (Vec3d{1, 2, 4.5})[i], 1e-5);
    EXPECT_NEAR(r.d[i], (Vec3d{0, 0, -1})[i], 1e-5);
  }
  // The top right corner: at unit depth the view reaches aspect × tan 45° across, 1 up.
  r = PickableManager::pickRay(800, 0, 800, 400, proj, view);
  const Vec3d d = Vec3d{2, 1, -1}.normalized();
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(r.o[i], (Vec3d{2, 2.5, 4.5})[i], 1e-5);
    EXPECT_NEAR(r.d[i], d[i], 1e-5);
  }
}
