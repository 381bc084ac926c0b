#include "io/vl_NavInputControl.hpp"

#include <numbers>

namespace vl {

namespace {
constexpr double kDegree = std::numbers::pi / 180.0;
}

bool NavInputControl::keyDown(const Keyboard& k) {
  if (!mActive || k.ctrl()) return true;
  Nav& n = *mNav;
  if (k.alt()) {
    if (k.key() == Keyboard::UP) {
      n.pullBack(n.pullBack() * 0.8);
      return false;
    }
    if (k.key() == Keyboard::DOWN) {
      n.pullBack(n.pullBack() / 0.8);
      return false;
    }
  }
  double v = mMoveSpeed;
  if (k.alt()) v *= 10.0;
  if (k.shift()) v *= 0.1;
  const double t = mTurnSpeed * kDegree;
  switch (k.key()) {
    case 'a':
      n.moveR(-v);
      break;
    case 'd':
      n.moveR(v);
      break;
    case 'c':
      n.moveU(-v);
      break;
    case 'e':
      n.moveU(v);
      break;
    case 'w':
      n.moveF(v);
      break;
    case 'x':
      n.moveF(-v);
      break;
    case Keyboard::LEFT:
      n.turnRate(t);
      break;
    case Keyboard::RIGHT:
      n.turnRate(-t);
      break;
    case Keyboard::UP:
      n.pitchRate(t);
      break;
    case Keyboard::DOWN:
      n.pitchRate(-t);
      break;
    case 'q':
      n.rollRate(t);
      break;
    case 'z':
      n.rollRate(-t);
      break;
    case 's':
      n.halt();
      break;
    case '`':
      n.home();
      break;
    default:
      return true;
  }
  return false;
}

bool NavInputControl::keyUp(const Keyboard& k) {
  if (!mActive) return true;
  Nav& n = *mNav;
  switch (k.key()) {
    case 'a':
    case 'd':
      n.moveR(0);
      break;
    case 'c':
    case 'e':
      n.moveU(0);
      break;
    case 'w':
    case 'x':
      n.moveF(0);
      break;
    case Keyboard::LEFT:
    case Keyboard::RIGHT:
      n.turnRate(0);
      break;
    case Keyboard::UP:
    case Keyboard::DOWN:
      n.pitchRate(0);
      break;
    case 'q':
    case 'z':
      n.rollRate(0);
      break;
    default:
      return true;
  }
  return false;
}

bool NavInputControl::mouseDrag(const Mouse& m) {
  if (!mActive || !mMouseNav) return true;
  constexpr double k = 0.2 * kDegree;
  Nav& n = *mNav;
  // Several drags can arrive between two steps: add them up so that no motion is lost.
  if (m.left()) {
    n.turn()[0] += -m.dx() * k;
    n.turn()[1] += -m.dy() * k;
    return false;
  }
  if (m.right()) {
    n.turn()[2] += m.dx() * k;
    n.pullBack(n.pullBack() + m.dy() * 0.02);
    return false;
  }
  return true;
}

}  // namespace vl
