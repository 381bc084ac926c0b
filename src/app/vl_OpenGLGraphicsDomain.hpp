#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/vl_FPS.hpp"
#include "core/vl_ComputationDomain.hpp"

namespace vl {

class GLFWOpenGLWindowDomain;

// Settings applied to the next window the graphics domain creates.
struct WindowSettings {
  int x = 50, y = 50, width = 640, height = 480;
  int displayMode = 50;  // double buffer, alpha and depth
  std::string title = "Vantapp";
  int cursor = 1;
  bool cursorVisible = true;
  bool fullScreen = false;
  bool vsync = true;
  bool decorated = true;
};

// Owns the main loop: on the thread that calls start it runs paced frames until quit is asked
// or a window closes. Each frame is paced, then, with the domain's mutex held, the prepend
// sub-domains (the simulation) tick and the window sub-domains draw; between frames the
// mutex is free.
class OpenGLGraphicsDomain : public AsynchronousDomain, public FPS {
 public:
  ~OpenGLGraphicsDomain() override = default;

  bool init(ComputationDomain* parent = nullptr) override;
  bool cleanup(ComputationDomain* parent = nullptr) override;
  bool start() override;
  bool stop() override;

  virtual void preOnCreate() {}
  virtual void postOnExit() {}

  // Creates a window domain that runs after the domain's own work, with its native window
  // already open and the next-window settings applied.
  std::shared_ptr<GLFWOpenGLWindowDomain> newWindow();
  // The same for a window domain made elsewhere, such as one of a derived kind.
  void addWindow(const std::shared_ptr<GLFWOpenGLWindowDomain>& wd);
  void closeWindow(const std::shared_ptr<GLFWOpenGLWindowDomain>& window);

  void quit() { mShouldQuitApp.store(true); }
  bool shouldQuit() const { return mShouldQuitApp.load(); }
  bool running() const { return mRunning; }

  WindowSettings nextWindowProperties;
  std::function<void()> onCreate = [] {};
  std::function<void()> onExit = [] {};

 private:
  std::atomic<bool> mShouldQuitApp{false};
  bool mRunning = false;
};

}  // namespace vl
