#include "app/vl_App.hpp"

#include <typeinfo>

#include "core/vl_Console.hpp"

namespace vl {

bool App::StandardWindowAppKeyControls::keyDown(const Keyboard& k) {
  if (k.ctrl()) {
    if (k.key() == 'q') {
      if (app) app->quit();
      return false;
    }
    if (k.key() == 'u') {
      window().cursorHideToggle();
      return false;
    }
  } else if (k.key() == Keyboard::ESCAPE) {
    window().fullScreenToggle();
    return false;
  }
  return true;
}

App::App() {
  mOSCDomain = newDomain<OSCDomain>();
  mAudioDomain = newDomain<SonelAudioDomain>();
  mAudioDomain->configure(44100.0, 512, -1, -1);
  // The picture goes on without a sound card; the audio domain says so when it starts.
  mAudioDomain->continueWithoutDevice = true;
  // An installation runs for days: a device that goes away is waited for and played again.
  mAudioDomain->audioIO().reopenWhenLost(true, 2.0);
  mOpenGLGraphicsDomain = newDomain<OpenGLGraphicsDomain>();
  mSimulationDomain = std::make_shared<SimulationDomain>();
  mOpenGLGraphicsDomain->addSubDomain(mSimulationDomain, true);
}

App::~App() = default;

namespace {
// Stands in for the default window before start has created it, so that an early call
// reports the mistake instead of dereferencing nothing. Its window is never opened.
GLFWOpenGLWindowDomain& standInWindowDomain() {
  static GLFWOpenGLWindowDomain standIn;
  return standIn;
}
}  // namespace

GLFWOpenGLWindowDomain& App::windowDomainOrWarn() const {
  GLFWOpenGLWindowDomain* wd = windowDomain();
  if (wd && wd->hasWindow()) return *wd;
  printError("ERROR: calling function for Window before window is available!\n");
  return standInWindowDomain();
}

Window& App::defaultWindow() {
  return windowDomainOrWarn().window();
}
Graphics& App::graphics() {
  return windowDomainOrWarn().graphics();
}
Viewpoint& App::view() {
  return windowDomainOrWarn().view();
}
Nav& App::nav() {
  return windowDomainOrWarn().nav();
}
const Viewpoint& App::view() const {
  return windowDomainOrWarn().view();
}
const Nav& App::nav() const {
  return windowDomainOrWarn().nav();
}
NavInputControl& App::navControl() {
  return windowDomainOrWarn().navControl();
}

void App::initializeDomains() {
  for (auto& domain : mDomainList) {
    // Exact types only: a subclass of a known domain has hooks of its own to bind.
    const std::type_info& type = typeid(*domain);
    if (type == typeid(OpenGLGraphicsDomain)) {
      auto* gd = static_cast<OpenGLGraphicsDomain*>(domain.get());
      gd->onCreate = [this] { onCreate(); };
      mSimulationDomain->simulationFunction = [this](double dt) { onAnimate(dt); };
    } else if (type == typeid(SonelAudioDomain) || type == typeid(AudioDomain)) {
      auto* ad = static_cast<AudioDomain*>(domain.get());
      ad->audioCallback = [this](AudioIOData& io) { onSound(io); };
    } else if (type == typeid(OSCDomain)) {
      static_cast<OSCDomain*>(domain.get())->onMessage = [this](osc::Message& m) { onMessage(m); };
    } else {
      print("WARNING: Domain unknown for auto connection\n");
    }
  }
  for (auto& domain : mDomainList) {
    if (!domain->init()) printError("ERROR initializing domain \n");
  }
}

void App::bindWindowDomain(GLFWOpenGLWindowDomain& wd) {
  wd.onDraw = [this](Graphics& g) { onDraw(g); };
  Window& w = wd.window();
  w.onKeyDown = [this](const Keyboard& k) { return onKeyDown(k); };
  w.onKeyUp = [this](const Keyboard& k) { return onKeyUp(k); };
  w.onMouseDown = [this](const Mouse& m) { return onMouseDown(m); };
  w.onMouseUp = [this](const Mouse& m) { return onMouseUp(m); };
  w.onMouseDrag = [this](const Mouse& m) { return onMouseDrag(m); };
  w.onMouseMove = [this](const Mouse& m) { return onMouseMove(m); };
  w.onMouseScroll = [this](const Mouse& m) { return onMouseScroll(m); };
  w.onResize = [this](int width, int height) { onResize(width, height); };

  mStdControls.app = this;
  w.append(mStdControls);
  w.append(wd.navControl());
}

void App::start() {
  initializeDomains();
  mDefaultWindowDomain = mOpenGLGraphicsDomain->newWindow();
  bindWindowDomain(*mDefaultWindowDomain);
  runDomains();
}

void App::releaseWindowDomains() {
  mDefaultWindowDomain = nullptr;
}

void App::runDomains() {
  onInit();

  for (auto& domain : mDomainList) {
    mRunningDomains.push_back(domain);
    auto* async = dynamic_cast<AsynchronousDomain*>(domain.get());
    if (async && !async->start()) {
      printError("ERROR starting domain \n");
      break;
    }
  }

  while (!mRunningDomains.empty()) {
    auto* async = dynamic_cast<AsynchronousDomain*>(mRunningDomains.back().get());
    if (async && !async->stop()) printError("ERROR stopping domain \n");
    mRunningDomains.pop_back();
  }

  onExit();
  releaseWindowDomains();

  for (auto& domain : mDomainList) {
    if (!domain->cleanup()) printError("ERROR cleaning up domain \n");
  }
}

}  // namespace vl
