// Navigation: the smoothed pose and the keys and drags that drive it.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "io/vl_NavInputControl.hpp"

using vl::Keyboard;
using vl::Mouse;
using vl::Nav;
using vl::NavInputControl;
using vl::Pose;
using vl::Quatd;
using vl::Vec3d;

namespace {

constexpr double kV = 0.125;                              // move speed
constexpr double kT = 2.0 * std::numbers::pi / 180.0;     // turn speed, radians
constexpr double kDrag = 0.2 * std::numbers::pi / 180.0;  // radians per dragged pixel

Keyboard down(int key, bool shift = false, bool ctrl = false, bool alt = false) {
  return Keyboard(key, true, shift, ctrl, alt);
}
Keyboard up(int key) {
  return Keyboard(key, false);
}

Mouse drag(int button, int dx, int dy) {
  Mouse m;
  m.position(100, 100);
  m.buttonEvent(button, true);
  m.position(100 + dx, 100 + dy);
  return m;
}

void expectNear(const Vec3d& a, const Vec3d& b, double eps = 1e-12) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], eps) << "component " << i;
}

bool still(const Nav& n) {
  const Vec3d zero{0.0, 0.0, 0.0};
  return n.move() == zero && n.moveSmooth() == zero && n.spin() == zero && n.spinSmooth() == zero &&
         n.turn() == zero && n.nudge() == zero;
}

}  // namespace

TEST(Nav, HoldingForwardMovesNStepsOfSpeedAlongForward) {
  for (const Pose start : {Pose{}, Pose({1, 2, 3}, Quatd::fromAxisAngle(0.7, {0.3, 1.0, 0.2}))}) {
    Nav n(start);
    NavInputControl c(n);
    EXPECT_FALSE(c.keyDown(down('w')));
    for (int i = 0; i < 7; ++i) n.step();
    expectNear(n.pos(), start.position + start.uf() * (7 * kV));
    EXPECT_FALSE(c.keyUp(up('w')));
    n.step();
    expectNear(n.pos(), start.position + start.uf() * (7 * kV));
  }
  // Identity looks down −z.
  Nav n;
  NavInputControl c(n);
  c.keyDown(down('w'));
  n.step();
  expectNear(n.pos(), {0.0, 0.0, -kV});
  expectNear(n.uz(), {0.0, 0.0, -1.0});
}

TEST(Nav, SmoothingEasesInAndCoastsToRest) {
  Nav n;
  NavInputControl c(n);
  n.smooth(0.5);
  c.keyDown(down('d'));
  n.step();
  EXPECT_NEAR(n.pos()[0], 0.5 * kV, 1e-15);
  n.step();
  EXPECT_NEAR(n.pos()[0], (0.5 + 0.75) * kV, 1e-15);
  c.keyUp(up('d'));
  const double before = n.pos()[0];
  n.step();
  EXPECT_NEAR(n.pos()[0] - before, 0.375 * kV, 1e-15) << "keeps half of the last move";
  for (int i = 0; i < 100; ++i) n.step();
  EXPECT_NEAR(n.pos()[0], (1.25 + 0.75) * kV, 1e-12) << "geometric coast to rest";
  // Step size scales the velocities.
  Nav m;
  m.moveU(1.0);
  m.step(0.25);
  EXPECT_NEAR(m.pos()[1], 0.25, 1e-15);
  EXPECT_EQ(m.lastStep(), 0.25);
}

TEST(Nav, EveryNavigationKeySetsItsVelocityAndIsConsumed) {
  struct Case {
    int key;
    int which;  // 0..2 move x y z, 3..5 spin turn pitch roll
    double value;
  };
  const Case cases[] = {{'a', 0, -kV},
                        {'d', 0, kV},
                        {'c', 1, -kV},
                        {'e', 1, kV},
                        {'w', 2, kV},
                        {'x', 2, -kV},
                        {Keyboard::LEFT, 3, kT},
                        {Keyboard::RIGHT, 3, -kT},
                        {Keyboard::UP, 4, kT},
                        {Keyboard::DOWN, 4, -kT},
                        {'q', 5, kT},
                        {'z', 5, -kT}};
  for (const Case& k : cases) {
    Nav n;
    NavInputControl c(n);
    EXPECT_FALSE(c.keyDown(down(k.key))) << k.key;
    const double got = k.which < 3 ? n.move()[k.which] : n.spin()[k.which - 3];
    EXPECT_NEAR(got, k.value, 1e-15) << k.key;
    EXPECT_FALSE(c.keyUp(up(k.key))) << k.key;
    EXPECT_TRUE(still(n)) << k.key;
  }
  Nav n;
  NavInputControl c(n);
  EXPECT_TRUE(c.keyDown(down('f')));
  EXPECT_TRUE(c.keyUp(up('f')));
  EXPECT_TRUE(c.keyUp(up('s')));
  EXPECT_TRUE(still(n));

  c.keyDown(down('d', false, false, true));
  EXPECT_NEAR(n.move()[0], 10 * kV, 1e-15);
  c.keyDown(down('d', true));
  EXPECT_NEAR(n.move()[0], 0.1 * kV, 1e-15);
  c.keyDown(down('d', true, false, true));
  EXPECT_NEAR(n.move()[0], kV, 1e-15);
  c.keyDown(down(Keyboard::LEFT, true, false, false));
  EXPECT_NEAR(n.spin()[0], kT, 1e-15) << "modifiers scale moves, not turns";
}

TEST(Nav, TurnsFollowTheCameraConvention) {
  // Left looks left, anchored to the geometry; the other axes' signs follow from the
  // rotation below, whose axis-angle convention the math tests check against geometry.
  {
    Nav n;
    n.turnRate(kT);
    n.step();
    expectNear(n.uz(), {-std::sin(kT), 0.0, -std::cos(kT)});
  }
  // All three at once: turn about y, then pitch about x, then roll about z, in the pose's frame.
  Nav n({{0, 0, 0}, Quatd::fromAxisAngle(0.4, {1.0, 0.0, 0.0})});
  n.spin() = Vec3d{0.3, -0.2, 0.1};
  n.step();
  const Quatd expected =
      Quatd::fromAxisAngle(0.4, {1.0, 0.0, 0.0}) * Quatd::fromAxisAngle(0.3, {0.0, 1.0, 0.0}) *
      Quatd::fromAxisAngle(-0.2, {1.0, 0.0, 0.0}) * Quatd::fromAxisAngle(0.1, {0.0, 0.0, 1.0});
  EXPECT_NEAR(n.quat().w, expected.w, 1e-12);
  EXPECT_NEAR(n.quat().x, expected.x, 1e-12);
  EXPECT_NEAR(n.quat().y, expected.y, 1e-12);
  EXPECT_NEAR(n.quat().z, expected.z, 1e-12);
  EXPECT_NEAR(n.quat().mag(), 1.0, 1e-15);
}

TEST(Nav, ControlHeldKeysNeverMoveTheCamera) {
  Nav n({{1, 2, 3}, Quatd::fromAxisAngle(0.5, {0.0, 1.0, 0.0})});
  n.setHome(Pose{});
  n.moveR(0.5);  // an ongoing move that ctrl-s must not halt
  NavInputControl c(n);
  for (int key : std::initializer_list<int>{'a', 'd', 'c', 'e', 'w', 'x', 'q', 'z', 's', '`',
                                            int(Keyboard::LEFT), int(Keyboard::RIGHT),
                                            int(Keyboard::UP), int(Keyboard::DOWN)}) {
    for (bool alt : {false, true}) {
      EXPECT_TRUE(c.keyDown(down(key, false, true, alt))) << key;
    }
  }
  EXPECT_EQ(n.move(), (Vec3d{0.5, 0.0, 0.0}));
  EXPECT_EQ(n.spin(), (Vec3d{0.0, 0.0, 0.0}));
  EXPECT_EQ(n.pullBack(), 0.0);
  n.moveR(0.0);
  for (int i = 0; i < 3; ++i) n.step();
  expectNear(n.pos(), {1, 2, 3});
  expectNear(n.uz(), Pose({}, Quatd::fromAxisAngle(0.5, {0.0, 1.0, 0.0})).uf());
}

TEST(Nav, AltArrowsScalePullBackGeometrically) {
  Nav n;
  NavInputControl c(n);
  EXPECT_FALSE(c.keyDown(down(Keyboard::DOWN, false, false, true)));
  EXPECT_EQ(n.pullBack(), 0.0) << "nothing to grow from";
  n.pullBack(2.0);
  for (int i = 1; i <= 5; ++i) {
    EXPECT_FALSE(c.keyDown(down(Keyboard::UP, false, false, true)));
    EXPECT_NEAR(n.pullBack(), 2.0 * std::pow(0.8, i), 1e-12);
  }
  for (int i = 1; i <= 5; ++i) {
    c.keyDown(down(Keyboard::DOWN, false, false, true));
    EXPECT_NEAR(n.pullBack(), 2.0 * std::pow(0.8, 5) * std::pow(1.25, i), 1e-12);
  }
  EXPECT_EQ(n.spin(), (Vec3d{0.0, 0.0, 0.0})) << "alt arrows do not pitch";
  n.pullBack(-1.0);
  EXPECT_EQ(n.pullBack(), 0.0);
}

TEST(Nav, TransformedPoseSitsBehindByThePullBack) {
  Nav n({{1, 0, 0}, Quatd::fromAxisAngle(std::numbers::pi / 2, {0.0, 1.0, 0.0})});
  n.pullBack(2.0);
  n.smooth(0.5);
  n.step();
  EXPECT_NEAR(n.pullBackCurrent(), 1.0, 1e-15);
  n.smooth(0.0);
  n.step();
  // Facing −x after a quarter turn left: pulled back towards +x.
  expectNear(n.transformed().position, {3.0, 0.0, 0.0});
  EXPECT_EQ(n.transformed().orientation, n.orientation);
  expectNear(n.pos(), {1.0, 0.0, 0.0});
  n.pullBack(0.0);
  n.step();
  EXPECT_EQ(n.transformed(), static_cast<const Pose&>(n));
}

TEST(Nav, MouseDragsNeedMouseNavigation) {
  Nav n;
  NavInputControl c(n);
  EXPECT_TRUE(c.mouseDrag(drag(Mouse::LEFT, 10, -5)));
  EXPECT_TRUE(c.mouseDrag(drag(Mouse::RIGHT, 10, 50)));
  n.step();
  EXPECT_EQ(n.quat(), Quatd{});
  EXPECT_EQ(n.pullBack(), 0.0);

  c.mouseNavigation(true);
  EXPECT_FALSE(c.mouseDrag(drag(Mouse::LEFT, 10, -5)));
  EXPECT_FALSE(c.mouseDrag(drag(Mouse::LEFT, 4, 0)));  // drags between steps add up
  expectNear(n.turn(), {-14 * kDrag, 5 * kDrag, 0.0});
  n.step();
  EXPECT_EQ(n.turn(), (Vec3d{0.0, 0.0, 0.0})) << "one-shot turns are used once";
  expectNear(n.spinSmooth(), {-14 * kDrag, 5 * kDrag, 0.0});
  n.step();
  expectNear(n.spinSmooth(), {0.0, 0.0, 0.0});

  EXPECT_FALSE(c.mouseDrag(drag(Mouse::RIGHT, -3, 50)));
  EXPECT_NEAR(n.turn()[2], -3 * kDrag, 1e-15);
  EXPECT_NEAR(n.pullBack(), 1.0, 1e-12);
  c.mouseDrag(drag(Mouse::RIGHT, 0, -500));
  EXPECT_EQ(n.pullBack(), 0.0);
  EXPECT_TRUE(c.mouseDrag(drag(Mouse::EXTRA, 5, 5)));
}

TEST(Nav, HaltHomeAndInactiveControl) {
  Nav n({{1, 2, 3}, Quatd{2.0, 0.0, 0.0, 0.0}});
  NavInputControl c(n);
  n.setHome(Pose({0, 0, 1.5}));
  c.keyDown(down('w'));
  c.keyDown(down('q'));
  n.turn() = Vec3d{0.1, 0.2, 0.3};
  n.nudge() = Vec3d{1.0, 1.0, 1.0};
  EXPECT_FALSE(c.keyDown(down('s')));
  EXPECT_TRUE(still(n));
  EXPECT_EQ(n.quat(), Quatd{}) << "halt normalises the orientation";
  EXPECT_EQ(n.pos(), (Vec3d{1, 2, 3}));

  c.keyDown(down('e'));
  n.step();
  EXPECT_FALSE(c.keyDown(down('`')));
  EXPECT_TRUE(still(n));
  EXPECT_EQ(static_cast<const Pose&>(n), Pose({0, 0, 1.5}));
  EXPECT_EQ(n.transformed(), Pose({0, 0, 1.5}));

  c.active(false);
  EXPECT_TRUE(c.keyDown(down('w')));
  EXPECT_TRUE(c.keyDown(down(Keyboard::UP, false, false, true)));
  c.mouseNavigation(true);
  EXPECT_TRUE(c.mouseDrag(drag(Mouse::LEFT, 5, 5)));
  n.move() = Vec3d{0.0, 0.0, 1.0};
  EXPECT_TRUE(c.keyUp(up('w')));
  EXPECT_EQ(n.move()[2], 1.0);
  EXPECT_EQ(n.turn(), (Vec3d{0.0, 0.0, 0.0}));
}
