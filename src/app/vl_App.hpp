#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "app/vl_OpenGLGraphicsDomain.hpp"
#include "app/vl_SimulationDomain.hpp"
#include "core/vl_ComputationDomain.hpp"
#include "io/vl_GLFWOpenGLWindowDomain.hpp"
#include "io/vl_Window.hpp"
#include "protocol/vl_OSCDomain.hpp"
#include "sound/vl_AudioDomain.hpp"

namespace vl {

// Base class of every application: owns the OSC, audio and graphics domains, binds the
// virtual hooks below to them and runs the program from start until the last window closes.
// Every hook does nothing until overridden; the input hooks return true ("not consumed").
class App {
 public:
  // Control-q quits, control-u toggles the cursor, Escape toggles full screen.
  class StandardWindowAppKeyControls : public WindowEventHandler {
   public:
    bool keyDown(const Keyboard& k) override;
    App* app = nullptr;
  };

  App();
  virtual ~App();

  virtual void onInit() {}
  virtual void onCreate() {}
  virtual void onAnimate(double /*dt*/) {}
  virtual void onDraw(Graphics& /*g*/) {}
  virtual void onSound(AudioIOData& /*io*/) {}
  virtual void onMessage(osc::Message& /*m*/) {}
  virtual void onExit() {}
  virtual bool onKeyDown(const Keyboard& /*k*/) { return true; }
  virtual bool onKeyUp(const Keyboard& /*k*/) { return true; }
  virtual bool onMouseDown(const Mouse& /*m*/) { return true; }
  virtual bool onMouseUp(const Mouse& /*m*/) { return true; }
  virtual bool onMouseDrag(const Mouse& /*m*/) { return true; }
  virtual bool onMouseMove(const Mouse& /*m*/) { return true; }
  virtual bool onMouseScroll(const Mouse& /*m*/) { return true; }
  virtual void onResize(int /*w*/, int /*h*/) {}

  virtual Window& defaultWindow();
  virtual Graphics& graphics();
  virtual Viewpoint& view();
  virtual Nav& nav();
  virtual const Viewpoint& view() const;
  virtual const Nav& nav() const;
  virtual NavInputControl& navControl();

  virtual void start();

  // Ends the main loop at the next frame boundary; safe from any thread.
  void quit() { mOpenGLGraphicsDomain->quit(); }

  std::shared_ptr<OSCDomain> oscDomain() { return mOSCDomain; }
  std::shared_ptr<SonelAudioDomain> audioDomain() { return mAudioDomain; }
  std::shared_ptr<OpenGLGraphicsDomain> graphicsDomain() { return mOpenGLGraphicsDomain; }
  std::shared_ptr<SimulationDomain> simulationDomain() { return mSimulationDomain; }
  std::shared_ptr<GLFWOpenGLWindowDomain> defaultWindowDomain() { return mDefaultWindowDomain; }
  const std::vector<std::shared_ptr<ComputationDomain>>& domainList() const { return mDomainList; }

  // Appends a domain of the app's own; it is connected, initialised, started, stopped and
  // cleaned up with the others, in list order.
  template <class D, class... Args>
  std::shared_ptr<D> newDomain(Args&&... args) {
    auto d = std::make_shared<D>(std::forward<Args>(args)...);
    mDomainList.push_back(d);
    return d;
  }

 protected:
  // Binds the hooks to every domain of the list by its exact type, then initialises them all.
  void initializeDomains();
  // Binds the draw hook and the eight event hooks to the window domain, and puts the standard
  // key handler and the domain's navigation control into its window's handler list.
  void bindWindowDomain(GLFWOpenGLWindowDomain& wd);
  // The rest of a run once the windows exist: onInit, the domains started in list order and
  // stopped in reverse, onExit, the windows released, the domains cleaned up.
  void runDomains();
  virtual void releaseWindowDomains();
  // The window domain behind the window accessors; none before start has made it.
  virtual GLFWOpenGLWindowDomain* windowDomain() const { return mDefaultWindowDomain.get(); }
  GLFWOpenGLWindowDomain& windowDomainOrWarn() const;

  StandardWindowAppKeyControls mStdControls;
  std::shared_ptr<GLFWOpenGLWindowDomain> mDefaultWindowDomain;
  std::shared_ptr<OSCDomain> mOSCDomain;
  std::shared_ptr<SonelAudioDomain> mAudioDomain;
  std::shared_ptr<OpenGLGraphicsDomain> mOpenGLGraphicsDomain;
  std::shared_ptr<SimulationDomain> mSimulationDomain;
  std::vector<std::shared_ptr<ComputationDomain>> mDomainList;
  std::deque<std::shared_ptr<ComputationDomain>> mRunningDomains;
};

}  // namespace vl
