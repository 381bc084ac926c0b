#pragma once

#include <functional>
#include <string>
#include <vector>

#include "io/vl_Keyboard.hpp"
#include "io/vl_Mouse.hpp"
#include "io/vl_WindowEventHandler.hpp"

struct GLFWwindow;

namespace vl {

// Starts GLFW once per process and installs its error reporter. Without a usable display the
// program cannot run at all, so a failure prints an error and exits with status 1.
void initializeWindowManager();
// Closes every open native window, then stops GLFW.
void terminateWindowManager();
bool windowManagerInitialized();

// One desktop window with an OpenGL 3.3 core context. GLFW's input is turned into Keyboard
// and Mouse records, offered to the handler chain in order, then to the window's own
// callbacks, which always see the event even when a handler stopped it.
// All calls belong on the main thread.
class Window {
 public:
  // Display mode bits.
  static constexpr int DOUBLE_BUF = 2;
  static constexpr int STEREO_BUF = 4;
  static constexpr int ALPHA_BUF = 16;
  static constexpr int DEPTH_BUF = 32;
  static constexpr int DEFAULT_BUF = DOUBLE_BUF | ALPHA_BUF | DEPTH_BUF;

  // A rectangle in screen pixels: left, top, width, height.
  struct Dim {
    int l = 50, t = 50, w = 640, h = 480;
    friend bool operator==(const Dim&, const Dim&) = default;
  };

  using KeyCallback = std::function<bool(const Keyboard&)>;
  using MouseCallback = std::function<bool(const Mouse&)>;
  using ResizeCallback = std::function<void(int, int)>;

  // The window's own event callbacks, run after the handler chain. They do nothing until bound.
  KeyCallback onKeyDown = [](const Keyboard&) { return true; };
  KeyCallback onKeyUp = [](const Keyboard&) { return true; };
  MouseCallback onMouseDown = [](const Mouse&) { return true; };
  MouseCallback onMouseUp = [](const Mouse&) { return true; };
  MouseCallback onMouseDrag = [](const Mouse&) { return true; };
  MouseCallback onMouseMove = [](const Mouse&) { return true; };
  MouseCallback onMouseScroll = [](const Mouse&) { return true; };
  ResizeCallback onResize = [](int, int) {};
  // Run, when bound, with the window's context current: after a native window (and with it
  // a context) was created, and before one is destroyed. Owners of GL objects make and
  // release them here, since a display-mode change replaces the context.
  std::function<void()> onContextCreate;
  std::function<void()> onContextDestroy;

  Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window();

  // Opens the native window with the current settings. Returns false when one is already
  // open or creation failed. Starts the windowing library if nobody has yet.
  bool create(bool verbose = true);
  // Closes the native window and detaches every handler.
  void destroy();
  bool created() const { return mHandle != nullptr; }
  // True when there is no native window or the user asked to close it.
  bool shouldClose() const;
  // Asks the window to close, as the user's close button does.
  void close();
  void makeCurrent();
  // Shows the frame just drawn, then handles pending input.
  void refresh();

  // Settings: each stores the value and applies it at once to an open window.
  // The windowed rectangle; while full screen it is only stored, for leaving full screen.
  Window& dimensions(const Dim& d);
  Window& dimensions(int w, int h) { return dimensions(Dim{mWindowed.l, mWindowed.t, w, h}); }
  Window& dimensions(int l, int t, int w, int h) { return dimensions(Dim{l, t, w, h}); }
  const Dim& dimensions() const { return mWindowed; }
  // Reopens an open window when the mode changes (its GL objects go with the old context).
  Window& displayMode(int mode);
  int displayMode() const { return mDisplayMode; }
  Window& title(const std::string& t);
  const std::string& title() const { return mTitle; }
  // The cursor style is only kept for whoever asks; it changes nothing on screen.
  Window& cursor(int style);
  int cursor() const { return mCursor; }
  Window& cursorHide(bool hide);
  bool cursorHide() const { return mCursorHide; }
  Window& cursorHideToggle() { return cursorHide(!mCursorHide); }
  // Full screen on the given monitor (the primary one when the index is out of range).
  Window& fullScreen(bool on, int monitor = 0);
  bool fullScreen() const { return mFullScreen; }
  Window& fullScreenToggle() { return fullScreen(!mFullScreen, mMonitor); }
  Window& decorated(bool on);
  bool decorated() const { return mDecorated; }
  Window& vsync(bool on);
  bool vsync() const { return mVSync; }

  // Current size in screen pixels (the full-screen size while full screen).
  int width() const { return mFullScreen ? mFullScreenDim.w : mWindowed.w; }
  int height() const { return mFullScreen ? mFullScreenDim.h : mWindowed.h; }
  int fbWidth() const { return mFramebufferW; }
  int fbHeight() const { return mFramebufferH; }
  float pixelDensity() const { return mPixelDensity; }
  double aspect() const { return height() > 0 ? double(width()) / height() : 1.0; }

  const Keyboard& keyboard() const { return mKeyboard; }
  const Mouse& mouse() const { return mMouse; }

  // Handler chain. Adding a handler already in the chain does nothing; otherwise it leaves
  // any other window, joins this one and, if the window is open, gets its size at once.
  Window& append(WindowEventHandler& h) { return insert(h, int(mHandlers.size())); }
  Window& prepend(WindowEventHandler& h) { return insert(h, 0); }
  Window& insert(WindowEventHandler& h, int index);
  Window& remove(WindowEventHandler& h);
  const std::vector<WindowEventHandler*>& handlers() const { return mHandlers; }

  // Where GLFW's callbacks land, in GLFW's own terms (key codes, actions, modifier bits,
  // button numbers). Public so that recorded or synthetic input takes the same path.
  void nativeKey(int glfwKey, int action, int mods);
  void nativeMouseButton(int glfwButton, int action, int mods, double x, double y);
  void nativeCursorPos(double x, double y);
  void nativeScroll(double x, double y);
  void nativeWindowSize(int w, int h);
  void nativeFramebufferSize(int w, int h);

  // GLFW key code to the framework's (0 for keys without one) and GLFW button to Mouse's.
  static int translateKey(int glfwKey);
  static int translateButton(int glfwButton);

  GLFWwindow* windowHandle() const { return mHandle; }
  // The window owning a native handle, or null.
  static Window* fromHandle(GLFWwindow* handle);
  // The native window whose context was made current last (null after it closed).
  static GLFWwindow* currentContext();

 private:
  friend void terminateWindowManager();
  GLFWwindow* openNative(bool verbose);
  void destroyNative();
  void installCallbacks();
  void applyFullScreen();
  void applyVSync();
  void updatePixelDensity();
  void setModifiers(int mods);
  // Offers the event to the handlers in order until one stops it.
  template <class F>
  void callHandlers(F&& f);

  Keyboard mKeyboard;
  Mouse mMouse;
  std::vector<WindowEventHandler*> mHandlers;
  Dim mWindowed;
  Dim mFullScreenDim{0, 0, 0, 0};
  int mDisplayMode = DEFAULT_BUF;
  std::string mTitle = "vantlib";
  int mCursor = 1;
  bool mCursorHide = false;
  bool mFullScreen = false;
  bool mVSync = true;
  bool mDecorated = true;
  int mMonitor = 0;
  float mPixelDensity = 1.0f;
  int mFramebufferW = 0, mFramebufferH = 0;
  GLFWwindow* mHandle = nullptr;
};

}  // namespace vl
