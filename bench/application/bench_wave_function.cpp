// One simulation step's wave-function work for one atom: 512 particles, each sampled at its
// point and at the six points of the central-difference gradient, three active states.
// "Plain" is a literal transcription of the formulas, the baseline, compiled with the flags of
// the atom's own code ("PlainProjectFlags" is the same built with the project's plain flags);
// "Optimised" shares each point's geometry and decay among the states; "Blocks" evaluates four
// particles' stencils at once, as the atom's kernel does. All run in one program so that their
// ratios come from one machine state. "AtomStep" is the whole step as the atom runs it;
// "VisualStep" the visual's frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "HydrogenAtom.hpp"
#include "HydrogenVisual.hpp"
#include "WaveSuperposition.hpp"
#include "plain_step.hpp"

namespace {

void BM_StepPlain(benchmark::State& state) {
  plainStep(state);
}

void BM_StepOptimised(benchmark::State& state) {
  WaveSuperposition atom;
  for (int k = 0; k < 3; ++k) {
    const Setting& s = kSettings[k];
    atom.configure(k, s.n, s.l, s.J, s.j, s.f, s.w);
    atom.state(k).phase = std::polar(1.0, 0.3 * k);
  }
  const std::vector<vl::Vec3d> points = ringPoints();
  Spinor each[3];
  for (auto _ : state) {
    double sink = 0.0;
    for (const auto& p : points) {
      const Spinor centre = atom.evaluate(p, each);
      sink += centre.a + centre.b + centre.c + centre.d + each[0].a;
      for (const auto& o : kOffsets) {
        const Spinor v = atom.evaluate(p + o);
        sink += v.a + v.b + v.c + v.d;
      }
    }
    benchmark::DoNotOptimize(sink);
  }
}

void BM_StepBlocks(benchmark::State& state) {
  WaveSuperposition atom;
  for (int k = 0; k < 3; ++k) {
    const Setting& s = kSettings[k];
    atom.configure(k, s.n, s.l, s.J, s.j, s.f, s.w);
    atom.state(k).phase = std::polar(1.0, 0.3 * k);
  }
  const std::vector<vl::Vec3d> points = ringPoints();
  constexpr int kGroup = PointBlock::kGroupSize, kLanes = PointBlock::kMaxPoints;
  Spinor each[3 * PointBlock::kGroups], sums[kLanes];
  vl::Vec3d stencil[kLanes];
  for (auto _ : state) {
    double sink = 0.0;
    for (std::size_t i = 0; i < points.size(); i += PointBlock::kGroups) {
      for (int q = 0; q < PointBlock::kGroups; ++q) {
        const vl::Vec3d& p = points[i + q];
        stencil[q * kGroup] = p;
        for (int e = 0; e < 6; ++e) stencil[q * kGroup + e + 1] = p + kOffsets[e];
      }
      atom.evaluateBlock(stencil, kLanes, sums, each);
      sink += each[0].a + each[3].a;
      for (const auto& v : sums) sink += v.a + v.b + v.c + v.d;
    }
    benchmark::DoNotOptimize(sink);
  }
}

// The whole simulation step of the atom (springs, sampling, colours, flow, integration).
void BM_AtomStep(benchmark::State& state) {
  HydrogenAtom atom;
  atom.init();
  const auto groups = atom.parameters().waveFunctions();
  for (int k = 0; k < 3; ++k) {
    const Setting& s = kSettings[k];
    WaveFunctionParameters& g = *groups[k];
    g.n.set(float(s.n));
    g.l.set(float(s.l));
    g.J.set(float(s.J));
    g.j.set(float(s.j));
    g.f.set(float(s.f));
    g.w.set(float(s.w));
  }
  atom.parameters().newColors.set(state.range(0) != 0 ? 1.0f : 0.0f);
  atom.step(0);
  for (auto _ : state) {
    atom.step(0);
    if (atom.resetPending()) state.SkipWithError("the ring failed");
  }
}

// The visual's frame: needles and the ribbon mesh (0) or the lines (1), without drawing.
void BM_VisualStep(benchmark::State& state) {
  HydrogenAtom atom;
  atom.init();
  atom.step(0);
  HydrogenVisual visual(atom.particles());
  visual.init();
  visual.parameters().drawType.set(int(state.range(0)));
  for (auto _ : state) {
    visual.step();
    benchmark::DoNotOptimize(visual.mesh().vertices().data());
  }
}

}  // namespace

BENCHMARK(BM_StepPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepOptimised)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepBlocks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AtomStep)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VisualStep)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
