// The two kernels of the time-stepping loop on the bundled scenario: one
// residual evaluation (the driver's RES down to the PDE definition, boundary
// conditions, kinetics and series look-ups) and one banded iteration-matrix
// formation by differences (2*IBAND + 1 = 29 residuals) with its
// factorisation, each at 100 and 142 grid points.
#include <benchmark/benchmark.h>

#include "bench_scenario.h"

namespace {

void BM_Residual(benchmark::State& state) {
  qz5::bench::LoadedScenario scenario(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const int ires = scenario.residual();
    benchmark::DoNotOptimize(ires);
    if (ires != 0) {
      state.SkipWithError("residual refused the state");
      break;
    }
  }
  benchmark::DoNotOptimize(scenario.last_residual_norm());
  state.counters["NEQ"] = scenario.neq();
}

void BM_IterationMatrix(benchmark::State& state) {
  qz5::bench::LoadedScenario scenario(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const int singular = scenario.iteration_matrix();
    benchmark::DoNotOptimize(singular);
    if (singular != 0) {
      state.SkipWithError("singular iteration matrix");
      break;
    }
  }
  state.counters["NEQ"] = scenario.neq();
}

}  // namespace

BENCHMARK(BM_Residual)->ArgName("NPTS")->Arg(100)->Arg(142)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IterationMatrix)->ArgName("NPTS")->Arg(100)->Arg(142)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
