#pragma once

#include "io/vl_Keyboard.hpp"
#include "io/vl_Mouse.hpp"

namespace vl {

class Window;

// Something in a window's handler chain. Each operation returns true to let the event go on
// to the next handler, false to stop it there (the window's own callbacks still see it).
// A handler is attached to at most one window; the window manages the attachment.
class WindowEventHandler {
 public:
  WindowEventHandler() = default;
  WindowEventHandler(const WindowEventHandler&) = delete;
  WindowEventHandler& operator=(const WindowEventHandler&) = delete;
  // Leaves the chain of its window so that the window never calls a dead handler.
  virtual ~WindowEventHandler();

  virtual bool keyDown(const Keyboard&) { return true; }
  virtual bool keyUp(const Keyboard&) { return true; }
  virtual bool mouseDown(const Mouse&) { return true; }
  virtual bool mouseDrag(const Mouse&) { return true; }
  virtual bool mouseMove(const Mouse&) { return true; }
  virtual bool mouseUp(const Mouse&) { return true; }
  virtual bool mouseScroll(const Mouse&) { return true; }
  virtual bool resize(int /*width*/, int /*height*/) { return true; }
  virtual bool visibility(bool /*visible*/) { return true; }

  bool attached() const { return mWindow != nullptr; }
  // The window this handler is attached to; only valid while attached().
  Window& window() { return *mWindow; }
  const Window& window() const { return *mWindow; }
  // Leaves the window's chain, if any.
  void removeFromWindow();

 private:
  friend class Window;
  Window* mWindow = nullptr;
};

}  // namespace vl
