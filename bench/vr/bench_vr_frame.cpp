// One VR frame (update, both eyes rendered, submitted and handed off) against one desktop frame
// of the same lit mesh, with the simulated runtime as the headset (its default session, eyes of
// 540x600) and a 640x480 desktop target. Run under a display (xvfb-run -a) with
// MESA_SHADER_CACHE_DISABLE=true; frames end with glFinish so the GPU's share is counted. The
// simulated compositor reads each submitted eye image back, as a real one would take it.
#define GLFW_INCLUDE_NONE  // OpenGL comes from epoxy
#include <GLFW/glfw3.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>

#include "graphics/vl_FBO.hpp"
#include "graphics/vl_Graphics.hpp"
#include "graphics/vl_Shapes.hpp"
#include "graphics/vl_VAOMesh.hpp"
#include "support/hidden_gl_window.hpp"
#include "vr/vl_OpenVRHeadset.hpp"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// One hidden window for the whole program; never destroyed (the process ends with it).
struct Context {
  Context() {
    window = openHiddenGLWindow(16, 16);
    tex.create2D(kWidth, kHeight);
    depth.resize(kWidth, kHeight);
    fbo.attachTexture2D(tex).attachRBO(depth);
    g.init();
    vl::addSphere(mesh, 0.3f, 64, 32);
    mesh.update();

    setenv("VR_OVERRIDE", ZENTHA_VR_SIM_RUNTIME, 1);
    setenv("VR_CONFIG_PATH", "/tmp", 1);
    setenv("VR_LOG_PATH", "/tmp", 1);
    unsetenv("ZENTHA_VR_SCRIPT");
    if (!hmd.init()) std::abort();
  }
  GLFWwindow* window = nullptr;
  vl::Texture tex;
  vl::RBO depth;
  vl::FBO fbo;
  vl::Graphics g;
  vl::VAOMesh mesh;
  vl::OpenVRHeadset hmd;
};

Context& context() {
  static Context* c = new Context;
  return *c;
}

// The scene both frames draw: the mesh a metre ahead of the default headset.
void drawScene(vl::Graphics& g, vl::VAOMesh& mesh) {
  g.clear(0, 0, 0);
  g.depthTesting(true);
  g.lighting(true);
  g.color(0.8f, 0.5f, 0.2f);
  g.pushMatrix();
  g.translate(0.f, 1.7f, -1.f);
  g.draw(mesh);
  g.popMatrix();
}

void desktopFrame(benchmark::State& state) {
  Context& c = context();
  vl::Graphics& g = c.g;
  for (auto _ : state) {
    g.framebuffer(c.fbo);
    g.viewport(0, 0, kWidth, kHeight);
    g.resetMatrixStack();
    g.projMatrix(glm::perspective(glm::radians(90.f), float(kWidth) / kHeight, 0.01f, 100.f));
    g.viewMatrix(glm::translate(vl::Mat4f(1.f), glm::vec3(0.f, -1.7f, 0.f)));
    drawScene(g, c.mesh);
    glFinish();
  }
}
BENCHMARK(desktopFrame)->Unit(benchmark::kMillisecond);

void vrFrame(benchmark::State& state) {
  Context& c = context();
  for (auto _ : state) {
    c.hmd.update();
    c.hmd.draw([&](vl::Graphics& g) { drawScene(g, c.mesh); }, c.g);
    glFinish();
  }
}
BENCHMARK(vrFrame)->Unit(benchmark::kMillisecond);

}  // namespace
