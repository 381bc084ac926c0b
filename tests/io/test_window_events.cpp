// Real X input (xdotool) into a real window: translation, modifiers, repeats, buttons,
// drags, scrolling and navigation by key (full screen by key is shown with the app's own
// key controls in tests/app).
#include <gtest/gtest.h>

#include <numbers>

#include "XdoTool.hpp"
#include "io/vl_NavInputControl.hpp"
#include "io/vl_Window.hpp"

using vl::Keyboard;
using vl::Mouse;
using vl::Window;

namespace {

// Counts what GLFW itself delivers, before the window filters it.
int gRawRepeats = 0;
GLFWkeyfun gWindowKeyCallback = nullptr;
void countingKeyCallback(GLFWwindow* h, int key, int scancode, int action, int mods) {
  if (action == GLFW_REPEAT) ++gRawRepeats;
  gWindowKeyCallback(h, key, scancode, action, mods);
}

struct Event {
  std::string kind;  // "down"/"up" keys, or a mouse kind
  int code;          // key code or mouse button
  bool shift = false, ctrl = false, alt = false;
  int x = 0, y = 0, dx = 0, dy = 0;
  double scroll = 0;
};

class WindowEvents : public testing::Test {
 protected:
  void SetUp() override {
    vl::initializeWindowManager();
    title =
        std::string("vl-events-") + testing::UnitTest::GetInstance()->current_test_info()->name();
    win.title(title);
    ASSERT_TRUE(win.create(false));
    gRawRepeats = 0;
    gWindowKeyCallback = glfwSetKeyCallback(win.windowHandle(), countingKeyCallback);
    win.onKeyDown = [this](const Keyboard& k) { return key("down", k); };
    win.onKeyUp = [this](const Keyboard& k) { return key("up", k); };
    win.onMouseDown = [this](const Mouse& m) { return mouse("mouseDown", m); };
    win.onMouseUp = [this](const Mouse& m) { return mouse("mouseUp", m); };
    win.onMouseMove = [this](const Mouse& m) { return mouse("mouseMove", m); };
    win.onMouseDrag = [this](const Mouse& m) { return mouse("mouseDrag", m); };
    win.onMouseScroll = [this](const Mouse& m) { return mouse("mouseScroll", m); };
    id = xdo::findWindow(title);
    ASSERT_NE(id, "");
    ASSERT_TRUE(xdo::focus(id));
  }

  bool key(const char* kind, const Keyboard& k) {
    if (k.key() != 0) events.push_back({kind, k.key(), k.shift(), k.ctrl(), k.alt()});
    return true;
  }
  bool mouse(const char* kind, const Mouse& m) {
    Event e{kind, m.button()};
    e.x = m.x();
    e.y = m.y();
    e.dx = m.dx();
    e.dy = m.dy();
    e.scroll = m.scrollY();
    events.push_back(e);
    return true;
  }
  int count(const std::string& kind) const {
    int n = 0;
    for (auto& e : events) n += e.kind == kind;
    return n;
  }
  // Runs an xdotool command, then handles events until n events of the kind have arrived.
  bool sendAndWait(const std::vector<std::string>& args, const std::string& kind, int n) {
    if (xdo::run(args) != 0) return false;
    return xdo::pumpUntil([&] { return count(kind) >= n; }, 5.0);
  }
  const Event* last(const std::string& kind) const {
    for (auto it = events.rbegin(); it != events.rend(); ++it)
      if (it->kind == kind) return &*it;
    return nullptr;
  }

  Window win;
  std::string title, id;
  std::vector<Event> events;
};

}  // namespace

TEST_F(WindowEvents, KeysArriveTranslatedWithTheirModifiers) {
  ASSERT_TRUE(sendAndWait({"key", "shift+a", "ctrl+q", "alt+Left", "Escape", "F3", "Return",
                           "grave", "ctrl+shift+KP_5"},
                          "up", 8));
  struct Expect {
    int code;
    bool shift, ctrl, alt;
  };
  const Expect expected[] = {
      {'a', true, false, false},  {'q', false, true, false},  {Keyboard::LEFT, false, false, true},
      {27, false, false, false},  {258, false, false, false}, {3, false, false, false},
      {'`', false, false, false}, {'5', true, true, false}};
  std::vector<Event> downs;
  for (auto& e : events)
    if (e.kind == "down") downs.push_back(e);
  ASSERT_EQ(downs.size(), std::size(expected));
  for (size_t i = 0; i < downs.size(); ++i) {
    EXPECT_EQ(downs[i].code, expected[i].code) << i;
    EXPECT_EQ(downs[i].shift, expected[i].shift) << i;
    EXPECT_EQ(downs[i].ctrl, expected[i].ctrl) << i;
    EXPECT_EQ(downs[i].alt, expected[i].alt) << i;
  }
  EXPECT_EQ(win.keyboard().key(), '5');
  EXPECT_FALSE(win.keyboard().down());
}

TEST_F(WindowEvents, HoldingAKeyGivesOneDownAndOneUp) {
  ASSERT_TRUE(sendAndWait({"keydown", "w"}, "down", 1));
  // Held: the server repeats it (pressing again does too, whatever the repeat settings).
  xdo::pumpFor(0.7);
  ASSERT_EQ(xdo::run({"keydown", "w", "keydown", "w"}), 0);
  ASSERT_TRUE(xdo::pumpUntil([] { return gRawRepeats >= 2; }, 5.0)) << "no repeats to ignore";
  ASSERT_TRUE(sendAndWait({"keyup", "w"}, "up", 1));
  xdo::pumpFor(0.2);
  EXPECT_EQ(count("down"), 1);
  EXPECT_EQ(count("up"), 1);
  EXPECT_EQ(last("down")->code, 'w');
  EXPECT_EQ(last("up")->code, 'w');
}

TEST_F(WindowEvents, ButtonsDragsAndScrolling) {
  vl::Nav nav;
  vl::NavInputControl control(nav);
  control.mouseNavigation(true);
  win.append(control);

  ASSERT_TRUE(sendAndWait({"mousemove", "--window", id, "100", "100"}, "mouseMove", 1));
  EXPECT_TRUE(xdo::pumpUntil([&] { return win.mouse().x() == 100 && win.mouse().y() == 100; }, 5));
  ASSERT_TRUE(sendAndWait({"mousedown", "1"}, "mouseDown", 1));
  EXPECT_EQ(last("mouseDown")->code, Mouse::LEFT);
  EXPECT_EQ(last("mouseDown")->x, 100);
  EXPECT_TRUE(win.mouse().left());

  ASSERT_TRUE(sendAndWait({"mousemove", "--window", id, "130", "120"}, "mouseDrag", 1));
  ASSERT_TRUE(xdo::pumpUntil([&] { return win.mouse().x() == 130; }, 5.0));
  int dx = 0, dy = 0;
  for (auto& e : events)
    if (e.kind == "mouseDrag") dx += e.dx, dy += e.dy;
  EXPECT_EQ(dx, 30);
  EXPECT_EQ(dy, 20);
  const double k = 0.2 * std::numbers::pi / 180.0;
  EXPECT_NEAR(nav.turn()[0], -30 * k, 1e-12) << "the navigation saw the same drag";
  EXPECT_NEAR(nav.turn()[1], -20 * k, 1e-12);

  ASSERT_TRUE(sendAndWait({"mouseup", "1"}, "mouseUp", 1));
  EXPECT_FALSE(win.mouse().left());
  ASSERT_TRUE(sendAndWait({"click", "3"}, "mouseUp", 2));
  EXPECT_EQ(last("mouseDown")->code, Mouse::RIGHT);
  EXPECT_EQ(last("mouseUp")->code, Mouse::RIGHT);
  ASSERT_TRUE(sendAndWait({"click", "2"}, "mouseUp", 3));
  EXPECT_EQ(last("mouseUp")->code, Mouse::MIDDLE);
  ASSERT_TRUE(sendAndWait({"click", "--clearmodifiers", "8"}, "mouseUp", 4));
  EXPECT_EQ(last("mouseUp")->code, Mouse::EXTRA);

  ASSERT_TRUE(sendAndWait({"click", "4"}, "mouseScroll", 1));
  EXPECT_EQ(last("mouseScroll")->scroll, 1.0);
  ASSERT_TRUE(sendAndWait({"click", "5"}, "mouseScroll", 2));
  EXPECT_EQ(last("mouseScroll")->scroll, -1.0);
  EXPECT_EQ(count("mouseDown"), 4) << "wheel clicks are scrolls, not buttons";
}

TEST_F(WindowEvents, NavigationFollowsHeldKeysButNotControlKeys) {
  vl::Nav nav;
  vl::NavInputControl control(nav);
  win.append(control);
  ASSERT_TRUE(sendAndWait({"keydown", "w"}, "down", 1));
  EXPECT_EQ(nav.move()[2], 0.125);
  ASSERT_TRUE(sendAndWait({"keyup", "w"}, "up", 1));
  EXPECT_EQ(nav.move()[2], 0.0);

  ASSERT_TRUE(sendAndWait({"keydown", "ctrl+w"}, "down", 2));
  EXPECT_EQ(nav.move()[2], 0.0);
  EXPECT_TRUE(last("down")->ctrl) << "control keys go on to the application";
  ASSERT_TRUE(sendAndWait({"keyup", "ctrl+w"}, "up", 2));
}
