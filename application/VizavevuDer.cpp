#include "VizavevuDer.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "KeyNotes.hpp"
#include "PitchMaps.hpp"
#include "VoiceSlot.hpp"
#include "core/vl_Console.hpp"
#include "graphics/vl_Screenshot.hpp"
#include "io/vl_Imgui.hpp"

std::atomic<bool> VizavevuDer::sQuitRequested{false};

namespace {

// The rotation whose z axis is dir and whose y axis is as close to up as dir allows.
vl::Quatd billboard(const vl::Vec3d& dir, const vl::Vec3d& up) {
  const vl::Vec3d z = dir.normalized();
  const vl::Vec3d x = cross(up, z).normalized();
  const vl::Vec3d y = cross(z, x);
  // Rotation matrix (columns x, y, z) to quaternion.
  const double m00 = x[0], m11 = y[1], m22 = z[2];
  const double trace = m00 + m11 + m22;
  vl::Quatd q;
  if (trace > 0.0) {
    const double s = 2.0 * std::sqrt(trace + 1.0);
    q = {0.25 * s, (y[2] - z[1]) / s, (z[0] - x[2]) / s, (x[1] - y[0]) / s};
  } else if (m00 > m11 && m00 > m22) {
    const double s = 2.0 * std::sqrt(1.0 + m00 - m11 - m22);
    q = {(y[2] - z[1]) / s, 0.25 * s, (y[0] + x[1]) / s, (z[0] + x[2]) / s};
  } else if (m11 > m22) {
    const double s = 2.0 * std::sqrt(1.0 + m11 - m00 - m22);
    q = {(z[0] - x[2]) / s, (y[0] + x[1]) / s, 0.25 * s, (z[1] + y[2]) / s};
  } else {
    const double s = 2.0 * std::sqrt(1.0 + m22 - m00 - m11);
    q = {(x[1] - y[0]) / s, (z[0] + x[2]) / s, (z[1] + y[2]) / s, 0.25 * s};
  }
  return q.normalized();
}

vl::Quatd slerp(vl::Quatd a, vl::Quatd b, double t) {
  double d = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  if (d < 0.0) {  // the shorter way round
    b = {-b.w, -b.x, -b.y, -b.z};
    d = -d;
  }
  double wa = 1.0 - t, wb = t;
  if (d < 0.9995) {
    const double angle = std::acos(d), s = std::sin(angle);
    wa = std::sin((1.0 - t) * angle) / s;
    wb = std::sin(t * angle) / s;
  }
  return vl::Quatd{wa * a.w + wb * b.w, wa * a.x + wb * b.x, wa * a.y + wb * b.y,
                   wa * a.z + wb * b.z}
      .normalized();
}

}  // namespace

const vl::Pose& VizavevuDer::startScenePose() {
  static const vl::Pose pose(vl::Vec3d(0.35, 1.8, -1.1),
                             vl::Quatd(0.994471, 0.0740868, 0.0741368, -0.00645063));
  return pose;
}

bool VizavevuDer::InputControl::mouseDrag(const vl::Mouse& m) {
  if (mouseNavigation() && m.left()) {
    angles[1] += 0.1f * float(m.dx());
    angles[0] += 0.1f * float(m.dy());
  }
  return true;
}

VizavevuDer::VizavevuDer() : mStaticVoice(std::make_unique<HydrogenVoice>()) {
  mSceneNav.smooth(0.0);
  graphicsDomain()->nextWindowProperties.title = "ZENTHA";
}

VizavevuDer::~VizavevuDer() {
  // The sequencer gives voices back to the pool, and the pool to the scene.
  mSynthSequencer.stopSequence();
  mVoicePool.reset();
  mScene.reset();
}

void VizavevuDer::onCreate() {
  defaultWindow().fullScreen(true);
  vl::imguiInit(defaultWindow());
  mStaticVoice->init();
  // Started once: the static voice sounds for as long as the program shows it.
  mStaticVoice->triggerOn();
  mStaticVoice->presets().recallPreset(0);
  scheduleAutoStop(0.0);
  mVR = std::make_unique<vl::OpenVRHeadset>();
  try {
    mVRActive = mVR->init();
  } catch (const std::exception& e) {
    vl::printError("ERROR: %s\n", e.what());
    mVRActive = false;
  }
  if (mVRActive) {
    vl::print("OpenVR init\n");
  } else {
    vl::printError("ERROR: OpenVR init returned error\n");
  }
}

void VizavevuDer::onAnimate(double dt) {
  if (sQuitRequested.load()) quit();
  mStats.frame();
  ++mFrameCount;
  if (mStopPosted.exchange(false)) stopPiece();
  if (mHomePosted.exchange(false)) homeNavigation();
  if (mControlPage) mControlPage->onFrame();
  nav().move() = vl::Vec3d(mParams.mx.get(), mParams.my.get(), mParams.mz.get());

  if (mParams.showStaticAtom.get() == 1.0f) {
    mStaticVoice->update(dt);
    if (mVRActive && (mVR->leftController().pressed(33) || mVR->rightController().pressed(33))) {
      startPiece();
    }
  } else if (mVRActive) {
    sequenceFrameVR(dt);
  } else {
    sequenceFrame(dt);
  }
  if (isReplica()) {
    showState();
  } else if (sendsState()) {
    fillState();
  }

  if (mVRActive) {
    mVR->update();
    mVR->draw([this](vl::Graphics& g) { drawEye(g); }, graphics());
  }
}

void VizavevuDer::sequenceFrame(double dt) {
  vl::Nav& n = nav();
  const double d = n.pos().mag();
  if (d < 0.5) mParams.mz.set(-0.0005f);
  if (d > 7.0) mParams.mz.set(0.0005f);
  vl::Vec3d dir(n.pos()[0], 0.0, n.pos()[2]);
  dir = dir.mag() > 1e-20 ? dir.normalized() : vl::Vec3d(1.0, 0.0, 0.0);
  const vl::Quatd target = billboard(dir, vl::Vec3d(0.0, 1.0, 0.0));
  n.quat() = slerp(n.quat(), target, 0.05);
  n.move() = vl::Vec3d(mParams.mx.get(), mParams.my.get(), mParams.mz.get());
  mScene->listenerPose(vl::Pose(n.pos(), n.quat()));
  mScene->update(dt);
}

void VizavevuDer::sequenceFrameVR(double dt) {
  vl::VRController* hands[2] = {&mVR->leftController(), &mVR->rightController()};
  const vl::Quatd head(mVR->headOrientation());
  const vl::Vec3d X = head.toVectorX(), Z = head.toVectorZ();
  bool stop = false, grip = false;
  for (vl::VRController* c : hands) {
    if (c->held(32) || c->touchpadTouched) {
      const vl::Vec3d v = Z * double(c->touchpadY) - X * double(c->touchpadX);
      mSceneNav.nudge() += vl::Vec3d(0.05 * v[0], 0.05 * v[1], -0.05 * v[2]);
    }
    stop = stop || c->pressed(1);
    grip = grip || c->pressed(2);
  }
  if (stop) stopPiece();
  if (grip) mSceneNav.set(startScenePose());
  const vl::Vec3d centre = startScenePose().pos();
  const vl::Vec3d offset = mSceneNav.pos() - centre;
  if (offset.mag() > 10.0) mSceneNav.pos() = centre + offset.normalized() * 10.0;
  mSceneNav.smooth(std::pow(0.0001, dt));
  mSceneNav.step(dt * fpsOfGraphics());
  vl::Quatd h = head;
  const double norm2 = h.magSqr();
  if (norm2 * norm2 < 1e-7) {
    h = vl::Quatd();
  } else if (std::fabs(norm2 - 1.0) > 1e-6) {
    h = h.normalized();
  }
  const vl::Vec3f hp = mVR->headPosition();
  mScene->listenerPose(vl::Pose(vl::Vec3d(hp[0], hp[1], hp[2]) - mSceneNav.pos(), h.conjugate()));
  mScene->update(dt);
}

void VizavevuDer::fillState() {
  SharedState& record = state();
  size_t n = 0;
  if (mParams.showStaticAtom.get() == 1.0f) {
    VoiceSlot::write(record.slots[n++], VoiceSlot::kStaticVoice, mFrameCount,
                     mStaticVoice->visual());
  } else if (mScene) {
    std::lock_guard<std::mutex> lock(mScene->voiceLock());
    for (vl::SynthVoice* v = mScene->getActiveVoices(); v && n < SharedState::kSlotCount;
         v = vl::PolySynth::nextVoice(v)) {
      auto* h = dynamic_cast<HydrogenVoice*>(v);
      if (!h || !h->active() || h->id() < 0) continue;
      VoiceSlot::write(record.slots[n++], uint64_t(h->id()), mFrameCount, h->visual());
    }
  }
  for (; n < SharedState::kSlotCount; ++n) VoiceSlot::clear(record.slots[n]);
}

void VizavevuDer::showState() {
  const SharedState& record = state();
  if (mParams.showStaticAtom.get() == 1.0f) {
    for (const SharedStateSlot& slot : record.slots) {
      if (VoiceSlot::occupied(slot) && VoiceSlot::voiceId(slot) == VoiceSlot::kStaticVoice) {
        VoiceSlot::show(slot, mStaticVoice->visual());
        break;
      }
    }
    return;
  }
  if (!mScene) return;
  // Voices the record does not carry (beyond its slots) keep what they simulated themselves.
  std::lock_guard<std::mutex> lock(mScene->voiceLock());
  for (vl::SynthVoice* v = mScene->getActiveVoices(); v; v = vl::PolySynth::nextVoice(v)) {
    auto* h = dynamic_cast<HydrogenVoice*>(v);
    if (!h || !h->active() || h->id() < 0) continue;
    for (const SharedStateSlot& slot : record.slots) {
      if (VoiceSlot::occupied(slot) && VoiceSlot::voiceId(slot) == uint64_t(h->id())) {
        VoiceSlot::show(slot, h->visual());
        break;
      }
    }
  }
}

double VizavevuDer::fpsOfGraphics() {
  return graphicsDomain()->fps();
}

void VizavevuDer::onDraw(vl::Graphics& g) {
  g.clearColor(0.f, 0.f, 0.f, 1.f);
  g.clearDepth(1.f);
  if (mParams.showStaticAtom.get() == 1.0f) drawPanel(g);
  g.pushMatrix();
  g.translate(0.f, 0.f, 0.65f);
  g.scale(0.5f);
  drawWorld(g);
  g.popMatrix();
  if (mScreenshotRequest.exchange(false)) takeScreenshot();
}

void VizavevuDer::drawPanel(vl::Graphics& g) {
  if (mFont) mTitle.draw(g, *mFont);
}

void VizavevuDer::drawWorld(vl::Graphics& g) {
  if (mParams.showStaticAtom.get() == 1.0f) {
    const vl::Pose pose = mStaticVoice->pose();
    g.pushMatrix();
    g.translate(vl::Vec3f(float(pose.pos()[0]), float(pose.pos()[1]), float(pose.pos()[2])));
    g.rotate(pose.quat());
    g.scale(mStaticVoice->size());
    g.rotate(mNavInput.angles[0], 1.f, 0.f, 0.f);
    g.rotate(mNavInput.angles[1], 0.f, 1.f, 0.f);
    g.rotate(mNavInput.angles[2], 0.f, 0.f, 1.f);
    mStaticVoice->onProcessGraphics(g);
    g.popMatrix();
  } else if (mScene) {
    mScene->render(g);
  }
}

void VizavevuDer::drawEye(vl::Graphics& g) {
  g.clear(0.f, 0.f, 0.f);
  if (mParams.showStaticAtom.get() != 1.0f) {
    g.pushMatrix();
    const vl::Vec3d& p = mSceneNav.pos();
    g.translate(float(p[0]), float(p[1]), float(p[2]));
    g.rotate(mSceneNav.quat());
    drawWorld(g);
    g.popMatrix();
  } else {
    g.pushMatrix();
    g.translate(0.f, 1.5f, 0.4f);
    drawPanel(g);
    drawWorld(g);
    g.popMatrix();
  }
}

void VizavevuDer::takeScreenshot() {
  const std::string name = vl::screenshotName("zentha");
  vl::Window& w = defaultWindow();
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(name, ec);
  const std::string path = ec ? name : absolute.string();
  switch (vl::saveScreenshot(name, w.fbWidth(), w.fbHeight())) {
    case vl::ScreenshotResult::OK:
      vl::print("Screenshot written to %s\n", path.c_str());
      break;
    case vl::ScreenshotResult::WRITE_FAILED:
      vl::printError("ERROR: Could not write screenshot %s (disk full or read-only?)\n",
                     path.c_str());
      break;
    case vl::ScreenshotResult::READ_FAILED:
      vl::printError("Capturing not supported in this build. define macro HYDROGEN_CAPTURE\n");
      break;
  }
}

void VizavevuDer::onSound(vl::AudioIOData& io) {
  if (mParams.showStaticAtom.get() == 0.0f) {
    if (mScene) vl::renderSynthSequence(mSynthSequencer, *mScene, io);
  } else {
    io.frame(-1);
    mStaticVoice->onProcessAudio(io);
  }
  if (mParams.useShelfFilters.get() != 1.0f) return;
  if (mFilterChanged.exchange(false)) {
    for (auto& f : mOutputFilters) {
      f->set(mFilterFreq.load(), mFilterRes.load(), snl::FilterType(mFilterType.load()));
    }
  }
  const int channels = std::min<int>(io.channelsOut(), int(mOutputFilters.size()));
  for (int c = 0; c < channels; ++c) {
    float* out = io.outBuffer(c);
    snl::Biquad<>& filter = *mOutputFilters[size_t(c)];
    for (int i = 0; i < io.framesPerBuffer(); ++i) out[i] = filter(out[i]);
  }
}

void VizavevuDer::releaseGraphics() {
  if (mGraphicsReleased) return;
  mGraphicsReleased = true;
  // Nothing may play a voice whose mesh is going, and the device thread ends here.
  mAutoStop.shutdown();
  mSynthSequencer.stopSequence();
  audioDomain()->stop();
  mStaticVoice->releaseGraphics();
  if (mScene) {
    std::lock_guard<std::mutex> lock(mScene->voiceLock());
    for (vl::SynthVoice* lists[2] = {mScene->getActiveVoices(), mScene->getFreeVoices()};
         vl::SynthVoice * v : lists) {
      for (; v; v = vl::PolySynth::nextVoice(v)) {
        if (auto* h = dynamic_cast<HydrogenVoice*>(v)) h->releaseGraphics();
      }
    }
  }
  mFont.reset();
  if (mVR) mVR->close();
  mVR.reset();
  vl::imguiShutdown();
}

void VizavevuDer::onExit() {
  if (mControlPage) mControlPage->stop();
  mAutoStop.shutdown();
  mSynthSequencer.stopSequence();
  vl::imguiShutdown();
  if (mVR) mVR->close();
  if (mScene) {
    oscDomain()->parameterServer().removeConsumer(mScene.get());
    mVoicePool.reset();
    // Joins the scene's clock, update and render threads.
    mScene.reset();
  }
  vl::print("%s", mStats.summary(audioDomain()->audioIO().underflowCount()).c_str());
}
