// The cost of one frame of the main loop without its pacing sleep: the simulation tick and
// the window's frame (pre-frame navigation step, pre-draw, a trivial clear, swap and poll).
// Run under a display, e.g. xvfb-run -a build/bench/app/bench_frame.
#include <benchmark/benchmark.h>

#include "app/vl_OpenGLGraphicsDomain.hpp"
#include "app/vl_SimulationDomain.hpp"
#include "io/vl_GLFWOpenGLWindowDomain.hpp"

static void BM_FrameWithTrivialDraw(benchmark::State& state) {
  vl::OpenGLGraphicsDomain graphics;
  auto sim = std::make_shared<vl::SimulationDomain>();
  graphics.addSubDomain(sim, true);
  double simulated = 0.0;
  sim->simulationFunction = [&](double dt) { simulated += dt; };
  graphics.init();
  auto window = graphics.newWindow();
  graphics.timeDelta(1.0 / 60.0);
  for (auto _ : state) {
    sim->timeDelta(graphics.timeDelta());
    sim->tick();
    window->timeDelta(graphics.timeDelta());
    if (!window->tick()) state.SkipWithError("window closed");
  }
  benchmark::DoNotOptimize(simulated);
  graphics.closeWindow(window);
  graphics.cleanup();
}
BENCHMARK(BM_FrameWithTrivialDraw)->Unit(benchmark::kMicrosecond);
