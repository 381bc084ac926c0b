// The standard window keys, driven by real X events from xdotool while the app's own main
// loop runs (and pumps the window's events) on a virtual display.
#include <gtest/gtest.h>

#include <memory>

#include "../io/XdoTool.hpp"
#include "app/vl_App.hpp"

using namespace vl;

namespace {

// Runs xdotool commands one after another from inside the main loop, so the loop itself keeps
// the window responsive, and checks a condition after each.
struct KeyScriptApp : App {
  struct Step {
    std::vector<std::string> args;             // xdotool arguments; "%W" is the window id
    std::function<bool(KeyScriptApp&)> until;  // holds once the step's effect is seen
  };
  std::vector<Step> steps;
  size_t current = 0;
  std::string windowId;
  std::unique_ptr<xdo::Process> process;
  int frame = 0;
  int ctrlQFrame = -1;
  bool timedOut = false;
  std::string title = "keys-under-test";

  void onInit() override { defaultWindow().title(title); }

  bool onKeyDown(const Keyboard& k) override {
    if (k.ctrl() && k.key() == 'q') ctrlQFrame = frame;
    return true;
  }

  void onAnimate(double) override {
    ++frame;
    if (frame > 60 * 30) {  // half a minute: something never arrived
      timedOut = true;
      quit();
      return;
    }
    if (process && process->running()) return;
    if (windowId.empty()) {
      if (!process) {
        process = std::make_unique<xdo::Process>(std::vector<std::string>{
            "search", "--sync", "--onlyvisible", "--name", "^" + title + "$"});
        return;
      }
      windowId = process->output().substr(0, process->output().find('\n'));
      process = std::make_unique<xdo::Process>(
          std::vector<std::string>{"windowfocus", "--sync", windowId});
      return;
    }
    if (current > 0 && !steps[current - 1].until(*this)) return;  // wait for the effect
    if (current == steps.size()) {
      quit();
      return;
    }
    // Focus again before every key: leaving or entering full screen remaps the window, and
    // with no window manager nothing gives it the focus back.
    std::vector<std::string> args{"windowfocus", "--sync", "%W"};
    args.insert(args.end(), steps[current].args.begin(), steps[current].args.end());
    for (auto& a : args)
      if (a == "%W") a = windowId;
    process = std::make_unique<xdo::Process>(args);
    ++current;
  }
};

}  // namespace

TEST(StandardKeys, ControlQEndsTheLoopWithinOneFrame) {
  KeyScriptApp app;
  app.steps.push_back({{"key", "--clearmodifiers", "ctrl+q"}, [](KeyScriptApp&) { return false; }});
  app.start();
  ASSERT_FALSE(app.timedOut);
  ASSERT_GE(app.ctrlQFrame, 0);
  EXPECT_LE(app.frame - app.ctrlQFrame, 1);
}

TEST(StandardKeys, EscapeTogglesFullScreenAndControlUTheCursor) {
  KeyScriptApp app;
  auto fullScreenIs = [](bool on) {
    return [on](KeyScriptApp& a) { return a.defaultWindow().fullScreen() == on; };
  };
  auto cursorHiddenIs = [](bool on) {
    return [on](KeyScriptApp& a) { return a.defaultWindow().cursorHide() == on; };
  };
  app.steps = {
      {{"key", "--clearmodifiers", "Escape"}, fullScreenIs(true)},
      {{"key", "--clearmodifiers", "Escape"}, fullScreenIs(false)},
      {{"key", "--clearmodifiers", "ctrl+u"}, cursorHiddenIs(true)},
      {{"key", "--clearmodifiers", "ctrl+u"}, cursorHiddenIs(false)},
  };
  app.start();
  EXPECT_FALSE(app.timedOut) << "stopped waiting at step " << app.current;
  EXPECT_EQ(app.current, app.steps.size());
}
