#pragma once

namespace vl {

// One key event as the window reports it: the framework's key code (letters in lower case,
// special keys with the codes below), whether it went down, and the modifiers held with it.
class Keyboard {
 public:
  // Framework codes of the non-printable keys. Printable keys keep their ASCII code.
  static constexpr int BACKSPACE = 8;
  static constexpr int TAB = 9;
  static constexpr int ENTER = 3;
  static constexpr int ESCAPE = 27;
  static constexpr int DELETE_KEY = 127;  // not DELETE: a Windows header macro
  static constexpr int F1 = 256;          // F1..F12 are 256..267
  static constexpr int F12 = 267;
  static constexpr int INSERT = 268;
  static constexpr int LEFT = 269;
  static constexpr int UP = 270;
  static constexpr int RIGHT = 271;
  static constexpr int DOWN = 272;
  static constexpr int PAGE_DOWN = 273;
  static constexpr int PAGE_UP = 274;
  static constexpr int END = 275;
  static constexpr int HOME = 276;

  Keyboard() = default;
  Keyboard(int key, bool down, bool shift = false, bool ctrl = false, bool alt = false)
      : mKeycode(key), mDown(down), mShift(shift), mAlt(alt), mCtrl(ctrl) {}

  int key() const { return mKeycode; }
  bool down() const { return mDown; }
  bool shift() const { return mShift; }
  bool alt() const { return mAlt; }
  bool ctrl() const { return mCtrl; }
  // The digit 0..9 for the keys '0'..'9', -1 for any other key.
  int keyAsNumber() const { return (mKeycode >= '0' && mKeycode <= '9') ? mKeycode - '0' : -1; }

  void setKey(int key, bool down) {
    mKeycode = key;
    mDown = down;
  }
  void setModifiers(bool shift, bool ctrl, bool alt) {
    mShift = shift;
    mCtrl = ctrl;
    mAlt = alt;
  }

 private:
  int mKeycode = 0;
  bool mDown = false;
  bool mShift = false;
  bool mAlt = false;
  bool mCtrl = false;
};

}  // namespace vl
