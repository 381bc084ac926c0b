#include "io/vl_Window.hpp"

#include <epoxy/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unordered_map>

#include "core/vl_Console.hpp"

namespace vl {

namespace {

bool gInitialized = false;
GLFWwindow* gCurrentContext = nullptr;

// Lets the native callbacks find their window.
std::unordered_map<GLFWwindow*, Window*>& windowMap() {
  static std::unordered_map<GLFWwindow*, Window*> map;
  return map;
}

void errorCallback(int code, const char* description) {
  print("glfw error [%d]: %s\n", code, description);
}

void keyCallback(GLFWwindow* h, int key, int /*scancode*/, int action, int mods) {
  if (Window* w = Window::fromHandle(h)) w->nativeKey(key, action, mods);
}

void mouseButtonCallback(GLFWwindow* h, int button, int action, int mods) {
  if (Window* w = Window::fromHandle(h)) {
    double x = 0, y = 0;
    glfwGetCursorPos(h, &x, &y);
    w->nativeMouseButton(button, action, mods, x, y);
  }
}

void cursorPosCallback(GLFWwindow* h, double x, double y) {
  if (Window* w = Window::fromHandle(h)) w->nativeCursorPos(x, y);
}

void scrollCallback(GLFWwindow* h, double x, double y) {
  if (Window* w = Window::fromHandle(h)) w->nativeScroll(x, y);
}

void windowSizeCallback(GLFWwindow* h, int width, int height) {
  if (Window* w = Window::fromHandle(h)) w->nativeWindowSize(width, height);
}

void framebufferSizeCallback(GLFWwindow* h, int width, int height) {
  if (Window* w = Window::fromHandle(h)) w->nativeFramebufferSize(width, height);
}

}  // namespace

void initializeWindowManager() {
  if (gInitialized) return;
  if (!glfwInit()) {
    print("ERROR: could not initialize GLFW\n");
    std::exit(1);
  }
  glfwSetErrorCallback(errorCallback);
  gInitialized = true;
}

void terminateWindowManager() {
  if (!gInitialized) return;
  // glfwTerminate would close the windows behind their owners' backs; close them properly
  // (their handlers stay, should they open again).
  std::vector<Window*> open;
  for (auto& [handle, window] : windowMap()) open.push_back(window);
  for (Window* w : open) w->destroyNative();
  glfwTerminate();
  gInitialized = false;
  gCurrentContext = nullptr;
}

bool windowManagerInitialized() {
  return gInitialized;
}

Window* Window::fromHandle(GLFWwindow* handle) {
  auto it = windowMap().find(handle);
  return it == windowMap().end() ? nullptr : it->second;
}

GLFWwindow* Window::currentContext() {
  return gCurrentContext;
}

Window::~Window() {
  destroy();
}

bool Window::create(bool verbose) {
  if (mHandle) return false;
  initializeWindowManager();
  mHandle = openNative(verbose);
  if (!mHandle) return false;

  makeCurrent();
  glfwSetWindowPos(mHandle, mWindowed.l, mWindowed.t);

  Dim actual;
  glfwGetWindowSize(mHandle, &actual.w, &actual.h);
  glfwGetWindowPos(mHandle, &actual.l, &actual.t);
  if (actual != mWindowed) {
    if (verbose) print("screen dimension different from requested\n");
    mWindowed = actual;
  }

  // libepoxy resolves OpenGL entry points on first use with a current context: nothing to load.
  if (verbose) {
    print("window opened, size: (%d, %d), position: (%d, %d)\n", mWindowed.w, mWindowed.h,
          mWindowed.l, mWindowed.t);
    const GLubyte* renderer = glGetString(GL_RENDERER);
    const GLubyte* glsl = glGetString(GL_SHADING_LANGUAGE_VERSION);
    print("renderer: %s\nopengl window version: %d.%d\nglsl version: %s\n",
          renderer ? reinterpret_cast<const char*>(renderer) : "",
          glfwGetWindowAttrib(mHandle, GLFW_CONTEXT_VERSION_MAJOR),
          glfwGetWindowAttrib(mHandle, GLFW_CONTEXT_VERSION_MINOR),
          glsl ? reinterpret_cast<const char*>(glsl) : "");
  }

  glfwGetFramebufferSize(mHandle, &mFramebufferW, &mFramebufferH);
  updatePixelDensity();
  if (verbose) {
    print("framebuffer size: %d, %d\npixel density: %g\n", mFramebufferW, mFramebufferH,
          double(mPixelDensity));
  }

  installCallbacks();
  applyVSync();
  windowMap()[mHandle] = this;
  if (onContextCreate) onContextCreate();
  return true;
}

GLFWwindow* Window::openNative(bool verbose) {
  const bool stereo = (mDisplayMode & STEREO_BUF) != 0;
  auto hint = [&](bool withStereo) {
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    glfwWindowHint(GLFW_AUTO_ICONIFY, GLFW_FALSE);
    glfwWindowHint(GLFW_DECORATED, mDecorated ? GLFW_TRUE : GLFW_FALSE);
    glfwWindowHint(GLFW_STEREO, withStereo ? GLFW_TRUE : GLFW_FALSE);
  };
  auto open = [&] {
    return glfwCreateWindow(mWindowed.w, mWindowed.h, mTitle.c_str(), nullptr, nullptr);
  };

  hint(stereo);
  if (GLFWwindow* h = open()) return h;
  if (!stereo) {
    if (verbose) print("failed to create window\n");
    return nullptr;
  }
  hint(false);
  if (GLFWwindow* h = open()) {
    mDisplayMode &= ~STEREO_BUF;
    print("tried to create stereo window but failed. creating mono window\n");
    return h;
  }
  if (verbose) {
    print("failed to create stereo window, and also failed to create mono window\n");
  }
  return nullptr;
}

void Window::installCallbacks() {
  glfwSetKeyCallback(mHandle, keyCallback);
  glfwSetFramebufferSizeCallback(mHandle, framebufferSizeCallback);
  glfwSetMouseButtonCallback(mHandle, mouseButtonCallback);
  glfwSetCursorPosCallback(mHandle, cursorPosCallback);
  glfwSetWindowSizeCallback(mHandle, windowSizeCallback);
  glfwSetScrollCallback(mHandle, scrollCallback);
}

void Window::destroyNative() {
  if (!mHandle) return;
  GLFWwindow* const previous = gCurrentContext;
  if (onContextDestroy) {
    makeCurrent();
    onContextDestroy();
  }
  windowMap().erase(mHandle);
  if (gCurrentContext == mHandle) gCurrentContext = nullptr;
  glfwDestroyWindow(mHandle);
  if (previous && previous != mHandle && gCurrentContext != previous) {
    glfwMakeContextCurrent(previous);
    gCurrentContext = previous;
  }
  mHandle = nullptr;
}

void Window::destroy() {
  destroyNative();
  for (WindowEventHandler* h : mHandlers) h->mWindow = nullptr;
  mHandlers.clear();
}

bool Window::shouldClose() const {
  return !mHandle || glfwWindowShouldClose(mHandle);
}

void Window::close() {
  if (mHandle) glfwSetWindowShouldClose(mHandle, GLFW_TRUE);
}

void Window::makeCurrent() {
  if (mHandle && gCurrentContext != mHandle) {
    glfwMakeContextCurrent(mHandle);
    gCurrentContext = mHandle;
  }
}

void Window::refresh() {
  if (mHandle) glfwSwapBuffers(mHandle);
  if (gInitialized) glfwPollEvents();
}

Window& Window::dimensions(const Dim& d) {
  mWindowed = d;
  if (mHandle && !mFullScreen) {
    glfwSetWindowPos(mHandle, d.l, d.t);
    glfwSetWindowSize(mHandle, d.w, d.h);
  }
  return *this;
}

Window& Window::displayMode(int mode) {
  if (mode == mDisplayMode) return *this;
  mDisplayMode = mode;
  if (mHandle) {
    destroyNative();
    if (create(false)) {
      cursor(mCursor);
      cursorHide(mCursorHide);
      if (mFullScreen) applyFullScreen();
    }
  }
  return *this;
}

Window& Window::title(const std::string& t) {
  mTitle = t;
  if (mHandle) glfwSetWindowTitle(mHandle, mTitle.c_str());
  return *this;
}

Window& Window::cursor(int style) {
  mCursor = style;
  return *this;
}

Window& Window::cursorHide(bool hide) {
  mCursorHide = hide;
  if (mHandle) {
    glfwSetInputMode(mHandle, GLFW_CURSOR, hide ? GLFW_CURSOR_HIDDEN : GLFW_CURSOR_NORMAL);
  }
  return *this;
}

Window& Window::fullScreen(bool on, int monitor) {
  if (on && !mFullScreen && mHandle) {
    // Keep where the window was, so that leaving full screen puts it back there.
    glfwGetWindowPos(mHandle, &mWindowed.l, &mWindowed.t);
  }
  mFullScreen = on;
  mMonitor = monitor;
  if (mHandle) applyFullScreen();
  return *this;
}

void Window::applyFullScreen() {
  if (mFullScreen) {
    int count = 0;
    GLFWmonitor** monitors = glfwGetMonitors(&count);
    GLFWmonitor* m = (mMonitor >= 0 && mMonitor < count) ? monitors[mMonitor] : nullptr;
    if (!m) m = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = m ? glfwGetVideoMode(m) : nullptr;
    if (!mode) {
      // Nothing to fill: stay in the window rather than claim a full screen that isn't.
      mFullScreen = false;
      return;
    }
    mFullScreenDim = Dim{0, 0, mode->width, mode->height};
    glfwSetWindowMonitor(mHandle, m, 0, 0, mode->width, mode->height, mode->refreshRate);
  } else {
    glfwSetWindowMonitor(mHandle, nullptr, mWindowed.l, mWindowed.t, mWindowed.w, mWindowed.h,
                         GLFW_DONT_CARE);
  }
  applyVSync();
}

Window& Window::decorated(bool on) {
  mDecorated = on;
  if (mHandle) glfwSetWindowAttrib(mHandle, GLFW_DECORATED, on ? GLFW_TRUE : GLFW_FALSE);
  return *this;
}

Window& Window::vsync(bool on) {
  mVSync = on;
  if (mHandle) applyVSync();
  return *this;
}

void Window::applyVSync() {
  makeCurrent();
  glfwSwapInterval(mVSync ? 1 : 0);
}

void Window::updatePixelDensity() {
  if (mFramebufferW > 0 && width() > 0) {
    mPixelDensity = float(mFramebufferW) / float(width());
  }
}

Window& Window::insert(WindowEventHandler& h, int index) {
  if (std::find(mHandlers.begin(), mHandlers.end(), &h) != mHandlers.end()) return *this;
  h.removeFromWindow();
  h.mWindow = this;
  index = std::clamp(index, 0, int(mHandlers.size()));
  mHandlers.insert(mHandlers.begin() + index, &h);
  if (mHandle) h.resize(width(), height());
  return *this;
}

Window& Window::remove(WindowEventHandler& h) {
  auto it = std::find(mHandlers.begin(), mHandlers.end(), &h);
  if (it != mHandlers.end()) {
    mHandlers.erase(it);
    h.mWindow = nullptr;
  }
  return *this;
}

template <class F>
void Window::callHandlers(F&& f) {
  // A handler may change the chain (leave it, close the window): walk a copy and skip
  // whoever is no longer attached here.
  const std::vector<WindowEventHandler*> chain = mHandlers;
  for (WindowEventHandler* h : chain) {
    if (std::find(mHandlers.begin(), mHandlers.end(), h) == mHandlers.end()) continue;
    if (!f(*h)) break;
  }
}

void Window::setModifiers(int mods) {
  mKeyboard.setModifiers(mods & 1, mods & 2, mods & 4);
}

void Window::nativeKey(int glfwKey, int action, int mods) {
  if (action == GLFW_REPEAT) return;
  const bool down = action == GLFW_PRESS;
  setModifiers(mods);
  mKeyboard.setKey(translateKey(glfwKey), down);
  const Keyboard k = mKeyboard;
  if (down) {
    callHandlers([&](WindowEventHandler& h) { return h.keyDown(k); });
    onKeyDown(k);
  } else {
    callHandlers([&](WindowEventHandler& h) { return h.keyUp(k); });
    onKeyUp(k);
  }
}

void Window::nativeMouseButton(int glfwButton, int action, int mods, double x, double y) {
  setModifiers(mods);
  mMouse.position(int(std::lround(x)), int(std::lround(y)));
  const bool down = action == GLFW_PRESS;
  mMouse.buttonEvent(translateButton(glfwButton), down);
  const Mouse m = mMouse;
  if (down) {
    callHandlers([&](WindowEventHandler& h) { return h.mouseDown(m); });
    onMouseDown(m);
  } else {
    callHandlers([&](WindowEventHandler& h) { return h.mouseUp(m); });
    onMouseUp(m);
  }
}

void Window::nativeCursorPos(double x, double y) {
  mMouse.position(int(std::lround(x)), int(std::lround(y)));
  const Mouse m = mMouse;
  if (m.dragging()) {
    callHandlers([&](WindowEventHandler& h) { return h.mouseDrag(m); });
    onMouseDrag(m);
  } else {
    callHandlers([&](WindowEventHandler& h) { return h.mouseMove(m); });
    onMouseMove(m);
  }
}

void Window::nativeScroll(double x, double y) {
  mMouse.scroll(x, y);
  const Mouse m = mMouse;
  callHandlers([&](WindowEventHandler& h) { return h.mouseScroll(m); });
  onMouseScroll(m);
}

void Window::nativeWindowSize(int w, int h) {
  Dim& d = mFullScreen ? mFullScreenDim : mWindowed;
  d.w = w;
  d.h = h;
  updatePixelDensity();
  callHandlers([&](WindowEventHandler& handler) { return handler.resize(w, h); });
  onResize(w, h);
}

void Window::nativeFramebufferSize(int w, int h) {
  mFramebufferW = w;
  mFramebufferH = h;
  updatePixelDensity();
  const int ww = width(), wh = height();
  callHandlers([&](WindowEventHandler& handler) { return handler.resize(ww, wh); });
  onResize(ww, wh);
}

int Window::translateKey(int k) {
  if (k >= GLFW_KEY_A && k <= GLFW_KEY_Z) return k + ('a' - 'A');
  switch (k) {
    case GLFW_KEY_SPACE:
    case GLFW_KEY_APOSTROPHE:
    case GLFW_KEY_SEMICOLON:
    case GLFW_KEY_EQUAL:
    case GLFW_KEY_LEFT_BRACKET:
    case GLFW_KEY_BACKSLASH:
    case GLFW_KEY_RIGHT_BRACKET:
    case GLFW_KEY_GRAVE_ACCENT:
      return k;
    case GLFW_KEY_ESCAPE:
      return Keyboard::ESCAPE;
    case GLFW_KEY_ENTER:
      return Keyboard::ENTER;
    case GLFW_KEY_TAB:
      return Keyboard::TAB;
    case GLFW_KEY_BACKSPACE:
      return Keyboard::BACKSPACE;
    case GLFW_KEY_INSERT:
      return Keyboard::INSERT;
    case GLFW_KEY_DELETE:
      return Keyboard::DELETE_KEY;
    case GLFW_KEY_RIGHT:
      return Keyboard::RIGHT;
    case GLFW_KEY_LEFT:
      return Keyboard::LEFT;
    case GLFW_KEY_DOWN:
      return Keyboard::DOWN;
    case GLFW_KEY_UP:
      return Keyboard::UP;
    case GLFW_KEY_PAGE_UP:
      return Keyboard::PAGE_UP;
    case GLFW_KEY_PAGE_DOWN:
      return Keyboard::PAGE_DOWN;
    case GLFW_KEY_HOME:
      return Keyboard::HOME;
    case GLFW_KEY_END:
      return Keyboard::END;
    // The keypad types what its keys show.
    case GLFW_KEY_KP_DECIMAL:
      return '.';
    case GLFW_KEY_KP_DIVIDE:
      return '/';
    case GLFW_KEY_KP_MULTIPLY:
      return '*';
    case GLFW_KEY_KP_SUBTRACT:
      return '-';
    case GLFW_KEY_KP_ADD:
      return '+';
    case GLFW_KEY_KP_ENTER:
      return Keyboard::ENTER;
    case GLFW_KEY_KP_EQUAL:
      return '=';
    default:
      break;
  }
  if (k >= GLFW_KEY_COMMA && k <= GLFW_KEY_9) return k;  // , - . / and the digits
  if (k >= GLFW_KEY_F1 && k <= GLFW_KEY_F12) return Keyboard::F1 + (k - GLFW_KEY_F1);
  if (k >= GLFW_KEY_KP_0 && k <= GLFW_KEY_KP_9) return '0' + (k - GLFW_KEY_KP_0);
  return 0;
}

int Window::translateButton(int b) {
  switch (b) {
    case GLFW_MOUSE_BUTTON_LEFT:
      return Mouse::LEFT;
    case GLFW_MOUSE_BUTTON_RIGHT:
      return Mouse::RIGHT;
    case GLFW_MOUSE_BUTTON_MIDDLE:
      return Mouse::MIDDLE;
    default:
      return Mouse::EXTRA;
  }
}

}  // namespace vl
