// A whole run of the bundled estuary scenario, in-process: problem set-up,
// 30 output times and every output file, up to "Ready". The console goes to a
// string stream; RESULT, RUNINF and the .txc file are written to a scratch
// copy of the scenario.
#include <benchmark/benchmark.h>

#include <memory>
#include <sstream>

#include "bench_scenario.h"
#include "driver/run_driver.h"

namespace {

void BM_WholeRun(benchmark::State& state) {
  const qz5::bench::ScenarioDir dir;
  const char* const argv[] = {"qz5", "estuary.fn"};
  for (auto _ : state) {
    std::istringstream in;
    std::ostringstream out;
    qz5::Units io(in, out);
    const int status = qz5::run_qz5(io, 2, argv, dir.path());
    if (status != 0 || out.str().find("Ready") == std::string::npos) {
      state.SkipWithError("the bundled run did not end with Ready");
      break;
    }
  }
}

}  // namespace

BENCHMARK(BM_WholeRun)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
