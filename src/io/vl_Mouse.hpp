#pragma once

namespace vl {

// The pointer as the window last saw it: position in window pixels (y down), the change since
// the previous position, which button changed last and how, a down flag per button and the
// last scroll offsets.
class Mouse {
 public:
  static constexpr int LEFT = 0;
  static constexpr int MIDDLE = 1;
  static constexpr int RIGHT = 2;
  static constexpr int EXTRA = 3;
  static constexpr int NUM_BUTTONS = 4;

  int x() const { return mX; }
  int y() const { return mY; }
  int dx() const { return mDX; }
  int dy() const { return mDY; }
  // The button that changed last, and whether that change pressed it.
  int button() const { return mButton; }
  bool down() const { return mDown; }
  bool down(int button) const { return button >= 0 && button < NUM_BUTTONS && mButtons[button]; }
  bool left() const { return mButtons[LEFT]; }
  bool middle() const { return mButtons[MIDDLE]; }
  bool right() const { return mButtons[RIGHT]; }
  bool extra() const { return mButtons[EXTRA]; }
  // True while any of left, middle or right is held: motion is then a drag.
  bool dragging() const { return mButtons[LEFT] || mButtons[MIDDLE] || mButtons[RIGHT]; }
  double scrollX() const { return mScrollX; }
  double scrollY() const { return mScrollY; }

  void position(int x, int y) {
    mDX = x - mX;
    mDY = y - mY;
    mX = x;
    mY = y;
  }
  void buttonEvent(int button, bool down) {
    if (button < 0 || button >= NUM_BUTTONS) button = EXTRA;
    mButton = button;
    mDown = down;
    mButtons[button] = down;
  }
  void scroll(double x, double y) {
    mScrollX = x;
    mScrollY = y;
  }

 private:
  int mX = 0, mY = 0;
  int mDX = 0, mDY = 0;
  int mButton = LEFT;
  bool mDown = false;
  bool mButtons[NUM_BUTTONS] = {false, false, false, false};
  double mScrollX = 0.0, mScrollY = 0.0;
};

}  // namespace vl
