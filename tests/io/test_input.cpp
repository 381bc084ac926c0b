// Input translation and the handler chain, fed through the window's native entry points
// (no display needed: these paths never touch GLFW).
#include <gtest/gtest.h>

#include <map>

#include "RecordingHandler.hpp"
#include "io/vl_Window.hpp"

using vl::Keyboard;
using vl::Mouse;
using vl::Window;

namespace {

constexpr int kPress = 1, kRelease = 0, kRepeat = 2;  // GLFW actions
constexpr int kShift = 1, kCtrl = 2, kAlt = 4;        // GLFW modifier bits; 8 (super) is ignored

// The whole GLFW-to-framework key table, written out independently of the implementation.
std::map<int, int> expectedKeyTable() {
  std::map<int, int> t;
  for (int k : {32, 39, 59, 61, 91, 92, 93, 96}) t[k] = k;
  for (int k = 44; k <= 57; ++k) t[k] = k;
  for (int k = 65; k <= 90; ++k) t[k] = k + 32;
  const std::map<int, int> special{{256, 27},  {257, 3},   {258, 9},   {259, 8},   {260, 268},
                                   {261, 127}, {262, 271}, {263, 269}, {264, 272}, {265, 270},
                                   {266, 274}, {267, 273}, {268, 276}, {269, 275}};
  t.insert(special.begin(), special.end());
  for (int i = 0; i < 12; ++i) t[290 + i] = 256 + i;
  // Keypad: what its keys show; its Enter is Enter.
  for (int i = 0; i < 10; ++i) t[320 + i] = '0' + i;
  const std::map<int, int> keypad{{330, '.'}, {331, '/'}, {332, '*'}, {333, '-'},
                                  {334, '+'}, {335, 3},   {336, '='}};
  t.insert(keypad.begin(), keypad.end());
  return t;
}

struct Recorded {
  std::vector<Keyboard> keys;
  std::vector<std::string> mouse;
};

void record(Window& w, Recorded& r) {
  w.onKeyDown = [&r](const Keyboard& k) {
    r.keys.push_back(k);
    return true;
  };
  w.onKeyUp = w.onKeyDown;
  auto note = [&r](const char* what) {
    return [&r, what](const Mouse& m) {
      r.mouse.push_back(std::string(what) + ":" + std::to_string(m.button()) + "@" +
                        std::to_string(m.x()) + "," + std::to_string(m.y()));
      return true;
    };
  };
  w.onMouseDown = note("down");
  w.onMouseUp = note("up");
  w.onMouseDrag = note("drag");
  w.onMouseMove = note("move");
  w.onMouseScroll = note("scroll");
}

}  // namespace

TEST(KeyTranslation, WholeTableAndNothingElse) {
  const auto table = expectedKeyTable();
  for (int k = -1; k <= 400; ++k) {
    auto it = table.find(k);
    const int expected = it == table.end() ? 0 : it->second;
    EXPECT_EQ(Window::translateKey(k), expected) << "GLFW key " << k;
  }
}

TEST(KeyTranslation, PressReleaseRepeatAndModifiers) {
  Window w;
  Recorded r;
  record(w, r);
  w.nativeKey(65, kPress, kShift);
  w.nativeKey(65, kRepeat, kShift);
  w.nativeKey(65, kRepeat, kShift);
  w.nativeKey(65, kRelease, 0);
  ASSERT_EQ(r.keys.size(), 2u) << "repeats must not reach anybody";
  EXPECT_EQ(r.keys[0].key(), 'a');
  EXPECT_TRUE(r.keys[0].down());
  EXPECT_TRUE(r.keys[0].shift());
  EXPECT_FALSE(r.keys[1].down());
  EXPECT_FALSE(r.keys[1].shift());

  // Every combination of the three modifier bits, with super ignored.
  for (int mods = 0; mods < 16; ++mods) {
    w.nativeKey(81, kPress, mods);
    const Keyboard& k = r.keys.back();
    EXPECT_EQ(k.key(), 'q');
    EXPECT_EQ(k.shift(), bool(mods & kShift)) << mods;
    EXPECT_EQ(k.ctrl(), bool(mods & kCtrl)) << mods;
    EXPECT_EQ(k.alt(), bool(mods & kAlt)) << mods;
    EXPECT_EQ(w.keyboard().ctrl(), bool(mods & kCtrl));
  }

  // Mouse button events carry modifiers too.
  w.nativeMouseButton(0, kPress, kCtrl | kAlt, 1, 1);
  EXPECT_TRUE(w.keyboard().ctrl());
  EXPECT_TRUE(w.keyboard().alt());
  EXPECT_FALSE(w.keyboard().shift());
}

TEST(MouseTranslation, ButtonsPositionsDragAndScroll) {
  EXPECT_EQ(Window::translateButton(0), Mouse::LEFT);
  EXPECT_EQ(Window::translateButton(1), Mouse::RIGHT);
  EXPECT_EQ(Window::translateButton(2), Mouse::MIDDLE);
  for (int b = 3; b <= 7; ++b) EXPECT_EQ(Window::translateButton(b), Mouse::EXTRA);

  Window w;
  Recorded r;
  record(w, r);
  w.nativeCursorPos(10.4, 20.6);  // rounded
  w.nativeMouseButton(1, kPress, 0, 12.5, 20.0);
  EXPECT_TRUE(w.mouse().right());
  EXPECT_FALSE(w.mouse().left());
  w.nativeCursorPos(15.0, 18.0);
  EXPECT_EQ(w.mouse().dx(), 2);  // from the position read at the press (13, 20)
  EXPECT_EQ(w.mouse().dy(), -2);
  w.nativeMouseButton(1, kRelease, 0, 15.0, 18.0);
  w.nativeCursorPos(16.0, 18.0);
  // The extra buttons do not turn motion into a drag.
  w.nativeMouseButton(5, kPress, 0, 16.0, 18.0);
  EXPECT_TRUE(w.mouse().extra());
  w.nativeCursorPos(17.0, 18.0);
  w.nativeMouseButton(5, kRelease, 0, 17.0, 18.0);
  w.nativeMouseButton(2, kPress, 0, 17.0, 18.0);
  w.nativeCursorPos(18.0, 18.0);
  w.nativeMouseButton(2, kRelease, 0, 18.0, 18.0);
  w.nativeScroll(0.0, -3.0);
  const std::vector<std::string> expected{"move:0@10,21", "down:2@13,20", "drag:2@15,18",
                                          "up:2@15,18",   "move:2@16,18", "down:3@16,18",
                                          "move:3@17,18", "up:3@17,18",   "down:1@17,18",
                                          "drag:1@18,18", "up:1@18,18",   "scroll:1@18,18"};
  EXPECT_EQ(r.mouse, expected);
  EXPECT_EQ(w.mouse().scrollY(), -3.0);
  EXPECT_FALSE(w.mouse().down());  // the last change was a release
}

TEST(HandlerChain, ConsumedEventsStillReachTheWindowCallbacks) {
  Window w;
  std::vector<std::string> log;
  RecordingHandler a("a", log), b("b", log), c("c", log);
  b.consume = {"keyDown", "mouseDown", "mouseScroll"};
  w.append(a).append(b).append(c);
  w.onKeyDown = [&](const Keyboard& k) {
    log.push_back("window:keyDown:" + std::to_string(k.key()));
    return true;
  };
  w.onMouseDown = [&](const Mouse&) {
    log.push_back("window:mouseDown");
    return true;
  };
  w.onMouseScroll = [&](const Mouse&) {
    log.push_back("window:mouseScroll");
    return true;
  };

  w.nativeKey(256, kPress, 0);
  w.nativeKey(256, kRelease, 0);
  w.nativeMouseButton(0, kPress, 0, 0, 0);
  w.nativeScroll(0, 1);
  const std::vector<std::string> expected{
      "a:keyDown:27",    "b:keyDown:27",    "window:keyDown:27",  // c skipped, window called
      "a:keyUp:27",      "b:keyUp:27",      "c:keyUp:27",         // b only stops key downs
      "a:mouseDown:0",   "b:mouseDown:0",   "window:mouseDown",
      "a:mouseScroll:1", "b:mouseScroll:1", "window:mouseScroll"};
  EXPECT_EQ(log, expected);
}

TEST(HandlerChain, MembershipOrderAndLifetime) {
  std::vector<std::string> log;
  Window w, other;
  RecordingHandler a("a", log), b("b", log), c("c", log);

  w.append(a).append(a).prepend(a).insert(a, 0);
  EXPECT_EQ(w.handlers().size(), 1u) << "adding twice does nothing";
  w.prepend(b).insert(c, 99);  // out-of-range index appends
  EXPECT_EQ(w.handlers(), (std::vector<vl::WindowEventHandler*>{&b, &a, &c}));
  EXPECT_TRUE(a.attached());
  EXPECT_EQ(&a.window(), &w);
  // No native window: nobody is told a size yet.
  EXPECT_TRUE(log.empty());

  // Joining another window leaves the first one.
  other.append(a);
  EXPECT_EQ(w.handlers(), (std::vector<vl::WindowEventHandler*>{&b, &c}));
  EXPECT_EQ(&a.window(), &other);

  w.remove(b);
  EXPECT_FALSE(b.attached());
  w.remove(b);  // not a member: nothing happens
  EXPECT_EQ(w.handlers().size(), 1u);

  {
    RecordingHandler temp("t", log);
    w.append(temp);
    EXPECT_EQ(w.handlers().size(), 2u);
  }
  EXPECT_EQ(w.handlers().size(), 1u) << "a destroyed handler leaves its window";

  other.destroy();
  EXPECT_FALSE(a.attached());
  EXPECT_TRUE(other.handlers().empty());
}

TEST(HandlerChain, HandlersMayLeaveTheChainWhileItRuns) {
  struct Leaver : vl::WindowEventHandler {
    vl::WindowEventHandler* victim = nullptr;
    bool keyDown(const Keyboard&) override {
      if (victim) victim->removeFromWindow();
      removeFromWindow();
      return true;
    }
  };
  std::vector<std::string> log;
  Window w;
  Leaver leaver;
  RecordingHandler removed("removed", log), last("last", log);
  leaver.victim = &removed;
  w.append(leaver).append(removed).append(last);
  w.nativeKey(87, kPress, 0);
  EXPECT_EQ(log, std::vector<std::string>{"last:keyDown:119"});
  EXPECT_EQ(w.handlers(), std::vector<vl::WindowEventHandler*>{&last});
}

// Full-screen sizes against the windowed rectangle are shown with a real window in
// test_window.cpp.
TEST(WindowSize, FramebufferChangesReportTheWindowSizeAndKeepAFiniteDensity) {
  Window w;
  std::vector<std::string> log;
  RecordingHandler h("h", log);
  w.append(h);
  int resized = 0;
  w.onResize = [&](int, int) { ++resized; };

  w.nativeWindowSize(800, 600);
  EXPECT_EQ(w.dimensions(), (Window::Dim{50, 50, 800, 600}));
  w.nativeFramebufferSize(1600, 1200);
  EXPECT_FLOAT_EQ(w.pixelDensity(), 2.0f);
  EXPECT_EQ(h.lastWidth, 800) << "framebuffer changes report the window size";
  EXPECT_EQ(resized, 2);
  EXPECT_EQ(log.size(), 2u);

  // A minimised window reports zero sizes: the density must stay finite.
  w.nativeWindowSize(0, 0);
  w.nativeFramebufferSize(0, 0);
  EXPECT_FLOAT_EQ(w.pixelDensity(), 2.0f);
}
