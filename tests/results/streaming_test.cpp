// A record that only streams to files drops the rows its sinks have
// written: the sinks must still see every row, exactly as a record that
// keeps them all holds it, while memory holds one output interval at most.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "results/run_support.h"

namespace qz5::results {
namespace {

using namespace testing_support;
namespace fs = std::filesystem;

// Collects the rows it is handed, as a file would, and the most values a
// growing variable held at any update.
class Collector : public RecordSink {
 public:
  void begin(const RunRecord&) override {}
  void end(const RunRecord&) override {}
  void update(const RunRecord& r) override {
    for (const Variable& v : r.variables) {
      if (v.dimensions.empty()) continue;
      const Dimension* first = r.dimension(v.dimensions[0]);
      if (!first->unlimited) continue;
      std::vector<double>& got = rows[v.name];
      const std::size_t row = first->size == first->first_held
                                  ? 0
                                  : v.data.size() / (first->size - first->first_held);
      const std::size_t have = row == 0 ? 0 : got.size() / row;
      // The rows not seen yet are the last ones held.
      const std::size_t fresh = first->size - have;
      got.insert(got.end(), v.data.end() - static_cast<std::ptrdiff_t>(fresh * row), v.data.end());
      most_held[v.name] = std::max(most_held[v.name], v.data.size());
    }
  }
  std::map<std::string, std::vector<double>> rows;
  std::map<std::string, std::size_t> most_held;
};

struct Streamed {
  Collector sink;
  std::unique_ptr<Recorder> recorder;
};

void run_with_sink(const fs::path& dir, RecorderOptions opt, Streamed& out) {
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  std::istringstream in;
  std::ostringstream console;
  {
    Units io(in, console);
    const Scenario s = read_scenario(io, "estuary.fn");
    out.recorder = std::make_unique<Recorder>(std::move(opt));
    out.recorder->add_sink(&out.sink);
    RunOptions run;
    run.observe_steps = true;
    out.recorder->finish(run_scenario(s, run, out.recorder.get(), io));
  }
  fs::current_path(before);
}

TEST(StreamingTest, DroppedRowsReachTheSinksExactlyAndMemoryHoldsOneInterval) {
  const fs::path dir = copy_of_bundled("streaming");
  RecorderOptions opt;
  opt.stations = {1000.0, 5000.0, 12000.0, 20000.0};
  opt.budget = true;
  Streamed kept, dropped;
  run_with_sink(dir, opt, kept);
  opt.keep_rows = false;
  run_with_sink(dir, opt, dropped);

  const RunRecord& all = kept.recorder->record();
  ASSERT_EQ(all.dimension(kDimTime)->size, 31u);  // the start and 30 output times
  for (const Variable& v : all.variables) {
    if (v.dimensions.empty() || !all.dimension(v.dimensions[0])->unlimited) continue;
    SCOPED_TRACE(v.name);
    // What the sinks saw equals the whole record, with rows dropped or not.
    EXPECT_EQ(kept.sink.rows[v.name], v.data);
    EXPECT_EQ(dropped.sink.rows[v.name], v.data);
  }
  // Held at most: the station samples of the longest output interval,
  // (t[i-1], t[i]], counted in the kept record. The kept record ends
  // holding every one of them.
  const std::vector<double>& t_out = all.variable(kVarTime)->data;
  const std::vector<double>& t_station = all.variable(kVarStationTime)->data;
  std::size_t longest = 0;
  for (std::size_t i = 1; i < t_out.size(); ++i) {
    const auto in_interval = [&](double t) { return t > t_out[i - 1] && t <= t_out[i]; };
    longest = std::max<std::size_t>(
        longest, std::count_if(t_station.begin(), t_station.end(), in_interval));
  }
  const std::size_t stations = opt.stations.size();
  const std::size_t samples = all.variable("station_c1")->data.size();
  const std::size_t times = all.dimension(kDimStationTime)->size;
  EXPECT_EQ(dropped.sink.most_held["station_c1"], longest * stations);
  EXPECT_EQ(kept.sink.most_held["station_c1"], samples);
  EXPECT_GT(samples, 4 * longest * stations);
  // The dimensions still count every entry.
  EXPECT_EQ(dropped.recorder->record().dimension(kDimStationTime)->size, times);
  EXPECT_TRUE(dropped.recorder->record().variable("station_c1")->data.empty());
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qz5::results
