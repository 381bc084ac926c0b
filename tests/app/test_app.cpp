// The app's life: hooks in their order, frame timing, the frame mutex, and the messages of
// domains that fail. Runs against a real window on a virtual display.
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/vl_App.hpp"

using namespace vl;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

struct HookApp : App {
  std::vector<std::string> log;
  std::vector<double> dts;
  std::atomic<int> frames{0};
  int quitAfter = 5;

  void onInit() override {
    log.push_back("onInit");
    EXPECT_TRUE(defaultWindow().created());
  }
  void onCreate() override { log.push_back("onCreate"); }
  void onAnimate(double dt) override {
    if (dts.empty()) log.push_back("onAnimate");
    dts.push_back(dt);
  }
  void onDraw(Graphics&) override {
    if (frames == 0) log.push_back("onDraw");
    if (++frames >= quitAfter) quit();
  }
  void onExit() override { log.push_back("onExit"); }
};

// A domain of the app's own whose every life-cycle step can be made to fail.
struct ScriptedDomain : AsynchronousDomain {
  bool initResult = true, startResult = true, stopResult = true, cleanupResult = true;
  int starts = 0, stops = 0;
  bool init(ComputationDomain*) override { return initResult; }
  bool cleanup(ComputationDomain*) override { return cleanupResult; }
  bool start() override {
    ++starts;
    return startResult;
  }
  bool stop() override {
    ++stops;
    return stopResult;
  }
};

struct FrontDomainApp : HookApp {
  std::shared_ptr<ScriptedDomain> front = std::make_shared<ScriptedDomain>();
  FrontDomainApp() { mDomainList.insert(mDomainList.begin(), front); }
};

struct DerivedOSCDomain : OSCDomain {};

}  // namespace

TEST(App, HooksRunInTheirOrderAndAnimateGetsThePacedDuration) {
  HookApp app;
  app.quitAfter = 20;
  app.start();
  EXPECT_EQ(app.log,
            (std::vector<std::string>{"onInit", "onCreate", "onAnimate", "onDraw", "onExit"}));
  EXPECT_EQ(app.frames, 20);
  ASSERT_EQ(app.dts.size(), 20u);
  EXPECT_EQ(app.dts[0], 0.0);
  const double interval = app.graphicsDomain()->intervalNs() / 1e9;
  int exact = 0;
  for (size_t i = 1; i < app.dts.size(); ++i) {
    EXPECT_GE(app.dts[i], interval);
    if (app.dts[i] == interval) ++exact;
  }
  // Frames of a trivial draw are far shorter than the interval, so they are paced exactly
  // (a loaded machine may make a few overrun, which are then measured as they were).
  EXPECT_GE(exact, 5);
}

TEST(App, ClosingTheWindowEndsTheLoopAfterThatFrame) {
  struct ClosingApp : HookApp {
    void onDraw(Graphics& g) override {
      HookApp::onDraw(g);
      if (frames == 3) defaultWindow().close();
    }
  } app;
  app.quitAfter = 1000;
  app.start();
  EXPECT_EQ(app.frames, 3);
  EXPECT_EQ(app.log.back(), "onExit");
}

TEST(App, AnotherThreadHoldingTheFrameMutexExcludesItselfFromFrames) {
  HookApp app;
  app.quitAfter = 1000000;
  std::atomic<bool> held{false};
  int framesWhileHeld = -1;
  std::thread other([&] {
    while (app.frames < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    {
      std::lock_guard<std::mutex> lock(app.graphicsDomain()->mutex());
      held = true;
      int before = app.frames;
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      framesWhileHeld = app.frames - before;
    }
    int after = app.frames;
    while (app.frames < after + 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    app.quit();
  });
  app.start();
  other.join();
  EXPECT_TRUE(held);
  EXPECT_EQ(framesWhileHeld, 0);
}

TEST(App, WindowsOfAnotherDisplayModeDrawWithTheDefaultPrograms) {
  OpenGLGraphicsDomain gd;
  gd.init();
  gd.nextWindowProperties.displayMode = Window::DOUBLE_BUF | Window::DEPTH_BUF;
  auto wd = gd.newWindow();
  ASSERT_TRUE(wd->hasWindow());
  EXPECT_EQ(wd->window().displayMode(), Window::DOUBLE_BUF | Window::DEPTH_BUF);
  // One frame: a red square over the whole frame in the default uniform colour program.
  unsigned char middle[4] = {0, 0, 0, 0};
  GLenum error = GL_NO_ERROR;
  wd->onDraw = [&](Graphics& g) {
    while (glGetError() != GL_NO_ERROR) {
    }
    g.clear(0, 0, 0);
    g.resetMatrixStack();
    Mesh square(Mesh::TRIANGLE_STRIP);
    square.vertex(-1, -1).vertex(1, -1).vertex(-1, 1).vertex(1, 1);
    g.color(1, 0, 0);
    g.draw(square);
    glReadPixels(wd->window().fbWidth() / 2, wd->window().fbHeight() / 2, 1, 1, GL_RGBA,
                 GL_UNSIGNED_BYTE, middle);
    error = glGetError();
  };
  ASSERT_TRUE(wd->tick());
  EXPECT_EQ(error, static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_EQ((std::vector<int>{middle[0], middle[1], middle[2]}), (std::vector<int>{255, 0, 0}));
  gd.closeWindow(wd);
  gd.cleanup();
}

TEST(App, AFailedStartSkipsLaterStartsButTheFailedDomainIsStillStopped) {
  FrontDomainApp app;
  app.front->startResult = false;
  CaptureStdout();
  CaptureStderr();
  app.start();
  std::string out = GetCapturedStdout();
  std::string err = GetCapturedStderr();
  EXPECT_EQ(app.front->starts, 1);
  EXPECT_EQ(app.front->stops, 1);
  EXPECT_NE(err.find("ERROR starting domain \n"), std::string::npos);
  // The unknown domain is warned about once and the graphics domain never ran its loop.
  EXPECT_NE(out.find("WARNING: Domain unknown for auto connection\n"), std::string::npos);
  EXPECT_EQ(out.find("WARNING: Domain unknown for auto connection", out.find("WARNING") + 1),
            std::string::npos);
  EXPECT_EQ(app.frames, 0);
  EXPECT_EQ(app.log, (std::vector<std::string>{"onInit", "onExit"}));
}

TEST(App, LifeCycleFailuresAreReportedAndTheSequenceGoesOn) {
  FrontDomainApp app;
  app.front->initResult = false;
  app.front->stopResult = false;
  app.front->cleanupResult = false;
  app.quitAfter = 2;
  CaptureStderr();
  app.start();
  std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("ERROR initializing domain \n"), std::string::npos);
  EXPECT_NE(err.find("ERROR stopping domain \n"), std::string::npos);
  EXPECT_NE(err.find("ERROR cleaning up domain \n"), std::string::npos);
  EXPECT_EQ(err.find("ERROR starting domain"), std::string::npos);
  EXPECT_EQ(app.front->starts, 1);
  EXPECT_EQ(app.front->stops, 1);
  EXPECT_EQ(app.frames, 2);
}

TEST(App, ADomainDerivedFromAKnownTypeIsNotAutoConnected) {
  HookApp app;
  app.newDomain<DerivedOSCDomain>();
  app.quitAfter = 1;
  CaptureStdout();
  app.start();
  EXPECT_NE(GetCapturedStdout().find("WARNING: Domain unknown for auto connection"),
            std::string::npos);
}

TEST(App, TheDefaultWindowBeforeStartIsReportedNotDereferenced) {
  HookApp app;
  CaptureStderr();
  Window& w = app.defaultWindow();
  EXPECT_FALSE(w.created());
  EXPECT_EQ(GetCapturedStderr(),
            "ERROR: calling function for Window before window is available!\n");
}
