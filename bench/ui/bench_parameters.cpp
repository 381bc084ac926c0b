// Parameter reads and writes: the plain float read, the wrapper reads of texts and poses (also
// while another thread keeps writing), and set with 0, 1 and 4 callbacks. The "allocs" counter
// is the number of heap allocations per operation.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "ui/vl_Parameter.hpp"

namespace {
std::atomic<long> gAllocations{0};
}

void* operator new(std::size_t n) {
  ++gAllocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

template <class F>
void measure(benchmark::State& state, F&& op) {
  long before = gAllocations.load();
  for (auto _ : state) op();
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(gAllocations.load() - before) /
                                                static_cast<double>(state.iterations()));
}

void BM_ParameterGet(benchmark::State& state) {
  vl::Parameter p("p", "", 0.5f, "", 0.0f, 1.0f);
  measure(state, [&] { benchmark::DoNotOptimize(p.get()); });
}
BENCHMARK(BM_ParameterGet);

// Through the base class, as generic code (presets, servers) reads.
void BM_ParameterGetVirtual(benchmark::State& state) {
  vl::Parameter p("p", "", 0.5f);
  vl::ParameterWrapper<float>& w = p;
  benchmark::DoNotOptimize(&w);
  measure(state, [&] { benchmark::DoNotOptimize(w.get()); });
}
BENCHMARK(BM_ParameterGetVirtual);

void BM_ParameterStringGet(benchmark::State& state) {
  // 8 characters fit the string's own storage; 64 need the heap for the returned copy.
  vl::ParameterString s("s", "", std::string(static_cast<std::size_t>(state.range(0)), 'x'));
  measure(state, [&] { benchmark::DoNotOptimize(s.get()); });
}
BENCHMARK(BM_ParameterStringGet)->Arg(8)->Arg(64);

void BM_ParameterPoseGet(benchmark::State& state) {
  vl::ParameterPose p("pose");
  measure(state, [&] { benchmark::DoNotOptimize(p.get()); });
}
BENCHMARK(BM_ParameterPoseGet);

// Reads while another thread sets the value as fast as it can: reads must not slow to a wait.
template <class P, class V>
void readWhileWriting(benchmark::State& state, P& p, V a, V b) {
  std::atomic<bool> run{true};
  std::thread writer([&] {
    bool flip = false;
    while (run.load(std::memory_order_relaxed)) p.set((flip = !flip) ? a : b);
  });
  measure(state, [&] { benchmark::DoNotOptimize(p.get()); });
  run = false;
  writer.join();
}

void BM_ParameterGetWhileWriting(benchmark::State& state) {
  vl::Parameter p("p", "", 0.0f);
  readWhileWriting(state, p, 0.25f, 0.75f);
}
BENCHMARK(BM_ParameterGetWhileWriting)->UseRealTime();

void BM_ParameterPoseGetWhileWriting(benchmark::State& state) {
  vl::ParameterPose p("pose");
  readWhileWriting(state, p, vl::Pose({1.0, 2.0, 3.0}), vl::Pose({-1.0, 0.0, 1.0}));
}
BENCHMARK(BM_ParameterPoseGetWhileWriting)->UseRealTime();

void BM_ParameterSet(benchmark::State& state) {
  vl::Parameter p("p", "", 0.0f, "", 0.0f, 1.0f);
  float sink = 0.0f;
  for (int64_t i = 0; i < state.range(0); ++i) {
    p.registerChangeCallback([&sink](float v) { sink += v; });
  }
  float v = 0.0f;
  measure(state, [&] {
    v = v > 0.5f ? 0.0f : v + 0.001f;
    p.set(v);
  });
  benchmark::DoNotOptimize(sink);
}
BENCHMARK(BM_ParameterSet)->Arg(0)->Arg(1)->Arg(4);

}  // namespace
