#include "app/vl_OpenGLGraphicsDomain.hpp"

#include "io/vl_GLFWOpenGLWindowDomain.hpp"
#include "io/vl_Window.hpp"

namespace vl {

bool OpenGLGraphicsDomain::init(ComputationDomain*) {
  bool ok = initializeSubdomains(true);
  initializeWindowManager();
  runCallbacks(mInitializeCallbacks);
  return initializeSubdomains(false) && ok;
}

bool OpenGLGraphicsDomain::cleanup(ComputationDomain*) {
  runCallbacks(mCleanupCallbacks);
  terminateWindowManager();
  return true;
}

bool OpenGLGraphicsDomain::start() {
  if (mRunning) return true;
  mRunning = true;

  bool ok = initializeSubdomains(true);
  startFPS();
  ok = initializeSubdomains(false) && ok;

  preOnCreate();
  onCreate();
  runCallbacks(mStartCallbacks);

  bool ticked = true;
  while (ticked && !mShouldQuitApp.load() && !mSubDomains.empty()) {
    // The frame is paced before its work, not in the middle of it, so that the mutex is
    // free while the loop sleeps. The simulation still gets the previous frame's duration
    // and the windows the one just measured.
    waitForNextFrame();
    std::lock_guard<std::mutex> frame(mDomainMutex);
    ticked = tickSubdomains(true);
    mTimeDelta = lastFrameDurationNs() / 1e9;
    ticked = tickSubdomains(false) && ticked;
  }
  return stop() && ok;
}

bool OpenGLGraphicsDomain::stop() {
  runCallbacks(mStopCallbacks);
  bool ok = cleanupSubdomains(true);
  onExit();
  postOnExit();
  ok = cleanupSubdomains(false) && ok;
  mRunning = false;
  return ok;
}

std::shared_ptr<GLFWOpenGLWindowDomain> OpenGLGraphicsDomain::newWindow() {
  auto wd = std::make_shared<GLFWOpenGLWindowDomain>();
  addWindow(wd);
  return wd;
}

void OpenGLGraphicsDomain::addWindow(const std::shared_ptr<GLFWOpenGLWindowDomain>& wd) {
  wd->frameRate = [this] { return fps(); };
  addSubDomain(wd, false);
  wd->init(this);
  const WindowSettings& s = nextWindowProperties;
  Window& w = wd->window();
  w.decorated(s.decorated);
  w.cursor(s.cursor);
  w.cursorHide(!s.cursorVisible);
  w.dimensions(s.x, s.y, s.width, s.height);
  w.displayMode(s.displayMode);
  w.fullScreen(s.fullScreen, 0);
  w.title(s.title);
  w.vsync(s.vsync);
}

void OpenGLGraphicsDomain::closeWindow(const std::shared_ptr<GLFWOpenGLWindowDomain>& window) {
  removeSubDomain(window);
}

}  // namespace vl
