// A real window on the virtual display: creation, settings applied live, full screen,
// display-mode changes and the windowing library's start and errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "RecordingHandler.hpp"
#include "XdoTool.hpp"
#include "io/vl_Window.hpp"

using testing::HasSubstr;
using testing::Not;
using vl::Window;

namespace {

class WindowTest : public testing::Test {
 protected:
  void SetUp() override { vl::initializeWindowManager(); }
};

Window::Dim nativeRect(const Window& w) {
  Window::Dim d;
  glfwGetWindowPos(w.windowHandle(), &d.l, &d.t);
  glfwGetWindowSize(w.windowHandle(), &d.w, &d.h);
  return d;
}

bool pumpUntilRect(const Window& w, const Window::Dim& d) {
  return xdo::pumpUntil([&] { return nativeRect(w) == d; }, 5.0);
}

}  // namespace

TEST_F(WindowTest, CreateReportsAndDestroyForgets) {
  Window w;
  EXPECT_TRUE(w.shouldClose()) << "no window yet";
  testing::internal::CaptureStdout();
  ASSERT_TRUE(w.create(true));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(out, HasSubstr("window opened, size: (640, 480), position: (50, 50)\n"));
  EXPECT_THAT(out, HasSubstr("renderer: llvmpipe"));
  EXPECT_THAT(out, testing::ContainsRegex("opengl window version: [34]\\.[0-9]\n"));
  EXPECT_THAT(out, testing::ContainsRegex("glsl version: [34]\\.[0-9]+"));
  EXPECT_THAT(out, HasSubstr("framebuffer size: 640, 480\npixel density: 1\n"));

  GLFWwindow* handle = w.windowHandle();
  EXPECT_EQ(Window::fromHandle(handle), &w);
  EXPECT_EQ(Window::currentContext(), handle);
  EXPECT_FALSE(w.create(true)) << "one native window at a time";
  EXPECT_EQ(w.windowHandle(), handle);
  EXPECT_EQ(w.fbWidth(), 640);
  EXPECT_FALSE(w.shouldClose());
  w.close();
  EXPECT_TRUE(w.shouldClose());

  w.destroy();
  EXPECT_FALSE(w.created());
  EXPECT_EQ(Window::fromHandle(handle), nullptr);
  EXPECT_EQ(Window::currentContext(), nullptr);

  testing::internal::CaptureStdout();
  ASSERT_TRUE(w.create(false));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "quiet unless asked";
  EXPECT_FALSE(w.shouldClose());
}

TEST_F(WindowTest, HandlersLearnTheSizeWhenTheyJoinAnOpenWindow) {
  std::vector<std::string> log;
  RecordingHandler early("early", log), late("late", log);
  Window w;
  w.dimensions(320, 240);
  w.append(early);
  EXPECT_TRUE(log.empty());
  ASSERT_TRUE(w.create(false));
  w.append(late);
  w.append(late);
  EXPECT_EQ(log, std::vector<std::string>{"late:resize:320"});
  EXPECT_EQ(late.lastHeight, 240);
}

TEST_F(WindowTest, SettingsApplyToTheOpenWindow) {
  Window w;
  w.title("vl-settings-before");
  ASSERT_TRUE(w.create(false));
  int resizedW = 0, resizedH = 0;
  w.onResize = [&](int width, int height) {
    resizedW = width;
    resizedH = height;
  };

  w.dimensions(100, 120, 300, 200);
  EXPECT_TRUE(pumpUntilRect(w, {100, 120, 300, 200}));
  EXPECT_TRUE(xdo::pumpUntil([&] { return resizedW == 300 && resizedH == 200; }, 5.0));
  EXPECT_EQ(w.width(), 300);
  EXPECT_EQ(w.fbHeight(), 200);

  w.cursorHideToggle();
  EXPECT_TRUE(w.cursorHide());
  EXPECT_EQ(glfwGetInputMode(w.windowHandle(), GLFW_CURSOR), GLFW_CURSOR_HIDDEN);
  w.cursorHideToggle();
  EXPECT_EQ(glfwGetInputMode(w.windowHandle(), GLFW_CURSOR), GLFW_CURSOR_NORMAL);

  w.decorated(false);
  EXPECT_EQ(glfwGetWindowAttrib(w.windowHandle(), GLFW_DECORATED), GLFW_FALSE);

  w.title("vl-settings-after");
  EXPECT_NE(xdo::findWindow("vl-settings-after"), "");

  w.cursor(3);
  EXPECT_EQ(w.cursor(), 3);
}

TEST_F(WindowTest, FullScreenSizesLeaveTheWindowedRectangleAlone) {
  Window w;
  ASSERT_TRUE(w.create(false));
  w.fullScreen(true);
  EXPECT_NE(glfwGetWindowMonitor(w.windowHandle()), nullptr);
  EXPECT_TRUE(pumpUntilRect(w, {0, 0, 1280, 800}));
  EXPECT_TRUE(xdo::pumpUntil([&] { return w.fbWidth() == 1280; }, 5.0));
  EXPECT_EQ(w.width(), 1280);
  EXPECT_EQ(w.height(), 800);
  EXPECT_EQ(w.dimensions(), (Window::Dim{50, 50, 640, 480}));

  // A size change while full screen (as the callback reports it) and a new windowed size
  // asked for meanwhile: neither disturbs the screen, the second is used on the way back.
  w.nativeWindowSize(1024, 768);
  EXPECT_EQ(w.dimensions(), (Window::Dim{50, 50, 640, 480}));
  w.dimensions(60, 70, 500, 400);
  xdo::pumpFor(0.1);
  EXPECT_EQ(nativeRect(w), (Window::Dim{0, 0, 1280, 800}));

  w.fullScreenToggle();
  EXPECT_FALSE(w.fullScreen());
  EXPECT_EQ(glfwGetWindowMonitor(w.windowHandle()), nullptr);
  EXPECT_TRUE(pumpUntilRect(w, {60, 70, 500, 400}));
  EXPECT_EQ(w.width(), 500);

  // A monitor index that does not exist means the primary monitor.
  w.fullScreen(true, 7);
  EXPECT_EQ(glfwGetWindowMonitor(w.windowHandle()), glfwGetPrimaryMonitor());
  w.fullScreen(false);
  EXPECT_TRUE(pumpUntilRect(w, {60, 70, 500, 400}));
}

TEST_F(WindowTest, StereoFallsBackToMono) {
  Window w;
  w.displayMode(Window::DEFAULT_BUF | Window::STEREO_BUF);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(w.create(false));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(out, HasSubstr("tried to create stereo window but failed. creating mono window\n"));
  EXPECT_THAT(out, Not(HasSubstr("failed to create window")));
  EXPECT_EQ(w.displayMode(), Window::DEFAULT_BUF);
  EXPECT_FALSE(w.shouldClose());
}

TEST_F(WindowTest, DisplayModeChangeReopensWithTheSameSettings) {
  std::vector<std::string> log;
  RecordingHandler h("h", log);
  Window w;
  w.dimensions(80, 90, 400, 300);
  ASSERT_TRUE(w.create(false));
  w.append(h);
  w.cursorHide(true);
  w.cursor(2);

  testing::internal::CaptureStdout();
  w.displayMode(Window::DOUBLE_BUF | Window::DEPTH_BUF);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_TRUE(w.created());
  EXPECT_EQ(Window::fromHandle(w.windowHandle()), &w);
  EXPECT_EQ(w.displayMode(), Window::DOUBLE_BUF | Window::DEPTH_BUF);
  EXPECT_EQ(glfwGetInputMode(w.windowHandle(), GLFW_CURSOR), GLFW_CURSOR_HIDDEN);
  EXPECT_EQ(w.cursor(), 2);
  EXPECT_EQ(nativeRect(w), (Window::Dim{80, 90, 400, 300}));
  EXPECT_EQ(w.handlers().size(), 1u);

  // Full screen survives a reopening too, and stereo falls back here as well.
  w.fullScreen(true);
  testing::internal::CaptureStdout();
  w.displayMode(Window::DEFAULT_BUF | Window::STEREO_BUF);
  EXPECT_THAT(testing::internal::GetCapturedStdout(),
              HasSubstr("tried to create stereo window but failed. creating mono window"));
  EXPECT_EQ(w.displayMode(), Window::DEFAULT_BUF);
  EXPECT_NE(glfwGetWindowMonitor(w.windowHandle()), nullptr);
  w.fullScreen(false);
  EXPECT_TRUE(pumpUntilRect(w, {80, 90, 400, 300}));
}

TEST_F(WindowTest, LibraryErrorsArePrinted) {
  testing::internal::CaptureStdout();
  glfwWindowHint(0x7777, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "glfw error [65539]: Invalid window hint 0x00007777\n");
}

TEST_F(WindowTest, TerminatingClosesOpenWindows) {
  std::vector<std::string> log;
  RecordingHandler h("h", log);
  Window w;
  ASSERT_TRUE(w.create(false));
  w.append(h);
  vl::terminateWindowManager();
  EXPECT_FALSE(vl::windowManagerInitialized());
  EXPECT_FALSE(w.created());
  EXPECT_TRUE(w.shouldClose());
  EXPECT_EQ(Window::currentContext(), nullptr);
  EXPECT_TRUE(h.attached());
  // Opening again starts the library again.
  EXPECT_TRUE(w.create(false));
  EXPECT_TRUE(vl::windowManagerInitialized());
}

TEST(WindowManagerDeathTest, NoDisplayEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        vl::terminateWindowManager();
        unsetenv("DISPLAY");
        dup2(STDERR_FILENO, STDOUT_FILENO);  // so that the message can be matched
        vl::initializeWindowManager();
      },
      testing::ExitedWithCode(1), "(^|\n)ERROR: could not initialize GLFW\n$");
}
