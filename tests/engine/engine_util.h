// Helpers of the engine tests: scenarios read in-process, and an observer
// that keeps what a run reports.
#pragma once

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/scenario.h"
#include "engine/engine.h"

namespace qz5::engine_test {

namespace fs = std::filesystem;

inline fs::path repo_root() {
  return fs::path(__FILE__).parent_path().parent_path().parent_path();
}

// Reads the names file `name` in `dir`; the names inside it are relative to
// that folder.
inline Scenario read_in(const fs::path& dir, const std::string& name) {
  std::istringstream in;
  std::ostringstream out;
  Units io(in, out);
  return read_scenario(io, dir / name);
}

inline Scenario bundled() { return read_in(repo_root() / "examples" / "estuary", "estuary.fn"); }

inline Scenario written(const e2e::Scenario& es, const std::string& tag) {
  const fs::path dir = e2e::fresh_dir(tag);
  es.write(dir);
  Scenario s = read_in(dir, "run.fn");
  fs::remove_all(dir);
  return s;
}

// Every output-time snapshot of a run, copied.
struct Profile {
  double t;
  std::vector<double> x, c;
};

class Keeper : public Observer {
 public:
  void on_start(const RunContext&, const Snapshot& s) override { keep(s); }
  void on_output(int, int, const Snapshot& s, const IntegratorStatistics&) override { keep(s); }
  std::vector<Profile> profiles;

 private:
  void keep(const Snapshot& s) {
    profiles.push_back({s.t, std::vector<double>(s.x, s.x + s.npts),
                        std::vector<double>(s.c, s.c + s.npts * s.ncomp)});
  }
};

}  // namespace qz5::engine_test
