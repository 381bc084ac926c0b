#include "io/vl_GLFWOpenGLWindowDomain.hpp"

#include <cmath>

namespace vl {

GLFWOpenGLWindowDomain::GLFWOpenGLWindowDomain() : mNavControl(mNav) {
  window();
  mView.pose(mNav.transformed());

  preOnFrame = [this] {
    // Exponential smoothing whose time constant does not depend on the frame rate.
    mNav.smooth(std::pow(0.0001, mTimeDelta));
    mNav.step(frameRate() * mTimeDelta);
  };
  preOnDraw = [this] {
    Graphics& g = *mGraphics;
    g.defaultFramebuffer();
    g.viewport(0, 0, mWindow->fbWidth(), mWindow->fbHeight());
    g.resetMatrixStack();
    g.camera(mView);
    g.color(1.f, 1.f, 1.f, 1.f);
  };
  onDraw = [](Graphics& g) { g.clear(0.3f, 0.3f, 0.3f, 1.f); };
}

GLFWOpenGLWindowDomain::~GLFWOpenGLWindowDomain() {
  cleanup(nullptr);
}

Window& GLFWOpenGLWindowDomain::window() {
  if (!mWindow) {
    mWindow = std::make_unique<Window>();
    // The drawing state's programs and buffers live and die with the window's context,
    // which a change of display mode replaces.
    mWindow->onContextCreate = [this] { graphics().init(); };
    mWindow->onContextDestroy = [this] { releaseContextObjects(); };
  }
  return *mWindow;
}

void GLFWOpenGLWindowDomain::releaseContextObjects() {
  if (mGraphics) mGraphics->release();
}

bool GLFWOpenGLWindowDomain::init(ComputationDomain*) {
  Window& w = window();
  if (w.created()) return true;
  return w.create(false);  // which initialises the graphics
}

bool GLFWOpenGLWindowDomain::tick() {
  if (!mWindow || mWindow->shouldClose()) return false;
  preOnFrame();
  mWindow->makeCurrent();
  preOnDraw();
  onDraw(*mGraphics);
  postOnDraw();
  mWindow->refresh();
  return true;
}

bool GLFWOpenGLWindowDomain::cleanup(ComputationDomain*) {
  // The drawing state owns GL objects, so it goes first, while its context still exists.
  if (mGraphics && mWindow && mWindow->created()) mWindow->makeCurrent();
  mGraphics.reset();
  if (mWindow) {
    mWindow->destroy();
    mWindow.reset();
  }
  return true;
}

}  // namespace vl
