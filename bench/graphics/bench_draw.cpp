// Cost of 1000 small mesh draws through Graphics, with and without a matrix change before
// each draw. Run under a display (xvfb-run -a); the frame ends with glFinish so the GPU's
// share is counted.
#define GLFW_INCLUDE_NONE  // OpenGL comes from epoxy
#include <GLFW/glfw3.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstdlib>

#include "graphics/vl_FBO.hpp"
#include "graphics/vl_Graphics.hpp"
#include "graphics/vl_Shapes.hpp"
#include "support/hidden_gl_window.hpp"

namespace {

constexpr int kDraws = 1000;
constexpr int kSize = 16;

// One hidden window for the whole program; never destroyed (the process ends with it).
struct Context {
  Context() {
    window = openHiddenGLWindow(kSize, kSize);
    tex.create2D(kSize, kSize);
    depth.resize(kSize, kSize);
    fbo.attachTexture2D(tex).attachRBO(depth);
    g.init();
    g.framebuffer(fbo);
    g.viewport(0, 0, kSize, kSize);
    g.depthTesting(true);
    vl::addCube(cube, 0.1f);
    cube.update();
  }
  GLFWwindow* window = nullptr;
  vl::Texture tex;
  vl::RBO depth;
  vl::FBO fbo;
  vl::Graphics g;
  vl::VAOMesh cube;
};

Context& context() {
  static Context* c = new Context;
  return *c;
}

void drawFrame(benchmark::State& state, bool moveEach, bool lit) {
  Context& c = context();
  vl::Graphics& g = c.g;
  g.resetMatrixStack();
  g.projMatrix(glm::perspective(glm::radians(60.f), 1.f, 0.1f, 10.f));
  g.viewMatrix(glm::translate(vl::Mat4f(1.f), glm::vec3(0, 0, -3)));
  g.lighting(lit);
  g.color(0.8f, 0.5f, 0.2f);
  for (auto _ : state) {
    g.clear(0, 0, 0);
    for (int i = 0; i < kDraws; ++i) {
      if (moveEach) {
        g.pushMatrix();
        g.translate(static_cast<float>(i % 10) * 0.1f - 0.5f,
                    static_cast<float>(i / 100) * 0.1f - 0.5f, 0.f);
        g.draw(c.cube);
        g.popMatrix();
      } else {
        g.draw(c.cube);
      }
    }
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * kDraws);
}

void BM_Draw1000_SameMatrix(benchmark::State& s) {
  drawFrame(s, false, false);
}
void BM_Draw1000_MatrixChangeEach(benchmark::State& s) {
  drawFrame(s, true, false);
}
void BM_Draw1000_Lit_SameMatrix(benchmark::State& s) {
  drawFrame(s, false, true);
}
void BM_Draw1000_Lit_MatrixChangeEach(benchmark::State& s) {
  drawFrame(s, true, true);
}

BENCHMARK(BM_Draw1000_SameMatrix)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw1000_MatrixChangeEach)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw1000_Lit_SameMatrix)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw1000_Lit_MatrixChangeEach)->Unit(benchmark::kMillisecond);

}  // namespace
