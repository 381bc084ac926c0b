#pragma once

#include <functional>
#include <memory>

#include "core/vl_ComputationDomain.hpp"
#include "graphics/vl_Graphics.hpp"
#include "graphics/vl_Viewpoint.hpp"
#include "io/vl_Nav.hpp"
#include "io/vl_NavInputControl.hpp"
#include "io/vl_Window.hpp"

namespace vl {

// One desktop window and its drawing state: each tick of the graphics domain steps the
// navigator and draws one frame through four replaceable stages.
class GLFWOpenGLWindowDomain : public SynchronousDomain {
 public:
  GLFWOpenGLWindowDomain();
  ~GLFWOpenGLWindowDomain() override;

  bool init(ComputationDomain* parent = nullptr) override;
  bool tick() override;
  bool cleanup(ComputationDomain* parent = nullptr) override;

  // The four stages of a frame, each replaceable.
  std::function<void()> preOnFrame;
  std::function<void()> preOnDraw;
  std::function<void(Graphics&)> onDraw;
  std::function<void()> postOnDraw = [] {};

  // Frames per second of the loop that ticks this window (navigation steps are per frame);
  // whoever ticks the window sets it.
  std::function<double()> frameRate = [] { return 60.0; };

  // The window and graphics exist from the first init until cleanup; a domain that never
  // opened a window still hands out unopened ones rather than nothing.
  Window& window();
  Graphics& graphics() {
    if (!mGraphics) mGraphics = std::make_unique<Graphics>();
    return *mGraphics;
  }
  bool hasWindow() const { return mWindow && mWindow->created(); }
  Nav& nav() { return mNav; }
  const Nav& nav() const { return mNav; }
  Viewpoint& view() { return mView; }
  const Viewpoint& view() const { return mView; }
  NavInputControl& navControl() { return mNavControl; }

 protected:
  // Runs with the window's context current just before the context goes (at clean-up, or when
  // a change of display mode replaces it): whatever owns GL objects in it releases them here.
  virtual void releaseContextObjects();

 private:
  std::unique_ptr<Window> mWindow;
  std::unique_ptr<Graphics> mGraphics = std::make_unique<Graphics>();
  Nav mNav;
  Viewpoint mView;
  NavInputControl mNavControl;
};

}  // namespace vl
