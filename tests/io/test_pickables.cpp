// Rays against boxes and the collection's dispatch, with every distance worked out by hand
// (the pointer's ray is shown by a real click in tests/application).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

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

TEST(PickableManager, DragMovesTheGrabbedItemAlongThePointer) {
  Probe box("box", {0, 0, -5});
  PickableManager m;
  m << box;
  m.moveOnDrag(true);
  m.pick(ray({0, 0, 0}, {0, 0, -1}));  // takes hold at (0, 0, -4)
  m.drag(ray({0, 0, 0}, {1, 0, -4}));  // the point held keeps its distance, 4
  const Vec3d p = box.pose.get().position, held = Vec3d{1, 0, -4}.normalized() * 4.0;
  EXPECT_NEAR(p[0], held[0], 1e-9);
  EXPECT_NEAR(p[2], held[2] - 1, 1e-9);
  m.unpick(ray({0, 0, 0}, {0, 0, -1}));
  m.drag(ray({0, 0, 0}, {0, 1, -1}));
  EXPECT_EQ(box.pose.get().position, p);
}
