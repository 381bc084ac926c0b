// The main thread's work in one frame of the piece, without the pacing sleep, at the window's
// 1280 x 800 under the software renderer: the simulation (the static voice, or 32 scene voices
// on the scene's update pool of 6 threads as the program has it), the state record's slots
// filled as a primary fills them, and the drawing (title panel and atom, or the scene), ended
// with glFinish so that the renderer's share is counted. The frame lasts 16.7 ms at 60 Hz.
// Run under a display: xvfb-run -a build/bench/application/piece_frame_bench
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>
#include <memory>

#include "HydrogenVoice.hpp"
#include "SharedState.hpp"
#include "TitlePanel.hpp"
#include "VoiceSlot.hpp"
#include "application/voice_support.hpp"
#include "graphics/vl_FBO.hpp"
#include "graphics/vl_FontPath.hpp"
#include "graphics/vl_Graphics.hpp"
#include "sound/vl_DynamicScene.hpp"
#include "sound/vl_StereoPanner.hpp"
#include "support/hidden_gl_window.hpp"

namespace {

constexpr int kWidth = 1280, kHeight = 800;
constexpr double kDt = 1.0 / 60.0;

struct Frame {
  Frame() {
    openHiddenGLWindow(16, 16);
    colour.create2D(kWidth, kHeight);
    depth.resize(kWidth, kHeight);
    fbo.attachTexture2D(colour).attachRBO(depth);
    g.init();
    g.framebuffer(fbo);
    g.viewport(0, 0, kWidth, kHeight);
    font.load(vl::defaultFontPath(), 128.f, 1024);
    title.registerWith(pickables, [] {});
  }
  void begin() {
    g.resetMatrixStack();
    g.projMatrix(glm::perspective(glm::radians(30.f), float(kWidth) / kHeight, 0.1f, 100.f));
    g.viewMatrix(glm::translate(vl::Mat4f(1.f), glm::vec3(0, 0, -1.5f)));
    g.clear(0, 0, 0);
  }

  GLFWwindow* window = nullptr;
  vl::Texture colour;
  vl::RBO depth;
  vl::FBO fbo;
  vl::Graphics g;
  vl::Font font;
  vl::PickableManager pickables;
  TitlePanel title;
  std::unique_ptr<SharedState> record = std::make_unique<SharedState>();
};

Frame& frame() {
  static Frame* f = new Frame;  // lives as long as the process, with its context
  return *f;
}

void StaticAtomFrame(benchmark::State& state) {
  zentha_test::WorkingDirectory dir;
  Frame& f = frame();
  HydrogenVoice v;
  v.init();
  zentha_test::setSoundingAtom(v);
  v.onTriggerOn();
  uint64_t n = 0;
  for (auto _ : state) {
    v.update(kDt);
    VoiceSlot::write(f.record->slots[0], VoiceSlot::kStaticVoice, ++n, v.visual());
    f.begin();
    f.title.draw(f.g, f.font);
    f.g.pushMatrix();
    f.g.translate(0.f, 0.f, 0.65f);
    f.g.scale(0.5f);
    v.onProcessGraphics(f.g);
    f.g.popMatrix();
    glFinish();
  }
  v.releaseGraphics();
}
BENCHMARK(StaticAtomFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arguments: "simulationSpeed", and what the frame does: 1 simulate (and fill the slots), 2 draw,
// 3 both.
void SceneFrame32(benchmark::State& state) {
  const bool simulate = state.range(1) & 1, draw = state.range(1) & 2;
  zentha_test::WorkingDirectory dir;
  Frame& f = frame();
  vl::DynamicScene scene(6, vl::TIME_MASTER_AUDIO);
  scene.setSpatializer<vl::StereoPanner>(vl::StereoSpeakerLayout(0, 30.f, 1.f, 1.f));
  scene.registerSynthClass<HydrogenVoice>("HydrogenVoice");
  scene.allocatePolyphony("HydrogenVoice", 32);
  vl::AudioIOData io;
  io.framesPerSecond(44100.0);
  io.framesPerBuffer(512);
  io.channels(2, true);
  scene.prepare(io);
  for (int i = 0; i < 32; ++i) {
    auto* v = dynamic_cast<HydrogenVoice*>(scene.getFreeVoice("HydrogenVoice"));
    zentha_test::setSoundingAtom(*v);
    v->atom().parameters().simulationSpeed.set(float(state.range(0)));
    // Around the listener as the coda places them: a ring of radius 2, at several heights.
    const double a = 2.0 * M_PI * i / 32.0;
    v->setPose(vl::Pose(vl::Vec3d(2.0 * std::sin(a), 0.3 * (i % 5) - 0.6, -2.0 * std::cos(a))));
    v->setSize(0.6f);
    scene.triggerOn(v);
  }
  for (int k = 0; k < 4; ++k) {
    scene.render(io);  // takes the voices in
    scene.update(kDt);
  }
  uint64_t n = 0;
  for (auto _ : state) {
    if (simulate) scene.update(kDt);
    size_t slot = 0;
    if (simulate) {
      std::lock_guard<std::mutex> lock(scene.voiceLock());
      for (vl::SynthVoice* v = scene.getActiveVoices(); v && slot < SharedState::kSlotCount;
           v = vl::PolySynth::nextVoice(v)) {
        auto* h = dynamic_cast<HydrogenVoice*>(v);
        VoiceSlot::write(f.record->slots[slot++], uint64_t(h->id()), ++n, h->visual());
      }
    }
    if (draw) {
      f.begin();
      f.g.pushMatrix();  // the program's placement of the world
      f.g.translate(0.f, 0.f, 0.65f);
      f.g.scale(0.5f);
      scene.render(f.g);
      f.g.popMatrix();
      glFinish();
    }
  }
  std::lock_guard<std::mutex> lock(scene.voiceLock());
  for (vl::SynthVoice* v = scene.getActiveVoices(); v; v = vl::PolySynth::nextVoice(v)) {
    dynamic_cast<HydrogenVoice*>(v)->releaseGraphics();
  }
}
BENCHMARK(SceneFrame32)
    ->Args({1, 3})
    ->Args({4, 3})
    ->Args({4, 1})
    ->Args({4, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
