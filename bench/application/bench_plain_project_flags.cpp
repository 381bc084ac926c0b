// The plain baseline built with the project's flags alone, beside the one built with the atom's.
#include "plain_step.hpp"

namespace {

void BM_StepPlainProjectFlags(benchmark::State& state) {
  plainStep(state);
}

}  // namespace

BENCHMARK(BM_StepPlainProjectFlags)->Unit(benchmark::kMicrosecond);
