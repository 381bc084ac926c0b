// The renderer window's frame at a 2048x1024 output: flat (like any window), and omnidirectional
// (six cube faces of 512 pixels, then the equirectangular pass), for a trivial draw (a clear)
// and for a small scene of a dozen cubes. Each frame ends with glFinish so the
// software renderer's work is counted in the frame that asked for it.
// Run under a display large enough for the window, e.g.
//   xvfb-run -a -s '-screen 0 2048x1024x24 -noreset' build/bench/app/bench_panorama
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>

#include "app/vl_OmniRendererDomain.hpp"
#include "app/vl_OpenGLGraphicsDomain.hpp"
#include "graphics/vl_Shapes.hpp"

namespace {

void drawCubes(vl::Graphics& g) {
  static vl::Mesh cube = [] {
    vl::Mesh m;
    vl::addCube(m, 0.8f);
    return m;
  }();
  g.clear(0, 0, 0);
  g.depthTesting(true);
  for (int i = 0; i < 12; ++i) {
    const float a = static_cast<float>(i) * 0.5236f;
    g.pushMatrix();
    g.translate(5.f * std::sin(a), static_cast<float>(i % 3) - 1.f, -5.f * std::cos(a));
    g.color(0.5f + 0.5f * std::sin(a), 0.5f, 0.5f + 0.5f * std::cos(a));
    g.draw(cube);
    g.popMatrix();
  }
}

void runFrames(benchmark::State& state, bool omni, bool scene) {
  vl::OpenGLGraphicsDomain graphics;
  graphics.init();
  graphics.nextWindowProperties.width = 2048;
  graphics.nextWindowProperties.height = 1024;
  auto renderer = std::make_shared<vl::OmniRendererDomain>();
  graphics.addWindow(renderer);
  renderer->omniRendering(omni);
  if (scene) {
    renderer->onDraw = drawCubes;
  }
  renderer->postOnDraw = [] { glFinish(); };
  renderer->timeDelta(1.0 / 60.0);
  renderer->tick();  // the new size arrives, the cube map and programs are made
  if (renderer->window().fbWidth() != 2048) state.SkipWithError("window is not 2048 wide");
  for (auto _ : state) {
    if (!renderer->tick()) state.SkipWithError("window closed");
  }
  graphics.closeWindow(renderer);
  graphics.cleanup();
}

void BM_FlatFrameClear(benchmark::State& s) {
  runFrames(s, false, false);
}
void BM_OmniFrameClear(benchmark::State& s) {
  runFrames(s, true, false);
}
void BM_FlatFrameCubes(benchmark::State& s) {
  runFrames(s, false, true);
}
void BM_OmniFrameCubes(benchmark::State& s) {
  runFrames(s, true, true);
}

}  // namespace

BENCHMARK(BM_FlatFrameClear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OmniFrameClear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatFrameCubes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OmniFrameCubes)->Unit(benchmark::kMillisecond);
