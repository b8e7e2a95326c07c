// Means over the grid's intervals, opt-in: the lateral inputs integrated in
// closed form over each interval (RunOptions::exact_sources). A uniform
// tracer entering everywhere at one concentration must stay at it on any
// grid, which holds exactly for the discrete balance when the load each
// control volume receives is the rise of the flow across it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/engine_util.h"

namespace qz5::engine_test {
namespace {

std::string slurp(const fs::path& p) {
  std::ifstream f(p);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void replace(std::string& text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

// The geometry table of the example, read here on its own (title line, then
// position, area, dispersion per row).
ChannelGeometry river_geometry(const fs::path& file) {
  std::ifstream f(file);
  std::string title;
  std::getline(f, title);
  ChannelGeometry g;
  double x, a, d;
  while (f >> x >> a >> d) {
    g.x.push_back(x);
    g.area.push_back(a);
    g.dispersion.push_back(d);
  }
  return g;
}

// examples/river on npts points with the salinity (constituent 1) at 1.0 in
// both inputs and at both boundaries.
Scenario uniform_salinity_river(int npts) {
  const fs::path src = repo_root() / "examples" / "river";
  const fs::path dir = e2e::fresh_dir("uniform_river");
  for (const auto& e : fs::directory_iterator(src))
    fs::copy_file(e.path(), dir / e.path().filename(), fs::copy_options::overwrite_existing);
  std::string li = slurp(dir / "river.li");
  replace(li, "   -1.0   0.2 0.5", "   -1.0   1.0 1.0");
  replace(li, "   30.0   0.2 0.5", "   30.0   1.0 1.0");
  std::ofstream(dir / "river.li") << li;
  std::string bnd = slurp(dir / "river.bnd");
  for (const char* t : {" -1.0", " 30.0"}) {
    replace(bnd, std::string(t) + "   0.2 300 40 10 3 20   0.2",
            std::string(t) + "   1.0 300 40 10 3 20   1.0");
  }
  std::ofstream(dir / "river.bnd") << bnd;
  std::string prm = slurp(dir / "river.prm");
  replace(prm, "61         NPTS", std::to_string(npts) + "         NPTS");
  std::ofstream(dir / "river.prm") << prm;
  Scenario s = read_in(dir, "river.fn");
  s.geometry = river_geometry(dir / "river.geo");
  s.outflow = Outflow::kFree;
  fs::remove_all(dir);
  return s;
}

// The largest departure of the salinity from 1 over every output time.
double worst_departure(const Scenario& s, const RunOptions& opt) {
  Keeper keeper;
  const Summary sum = run_scenario(s, opt, &keeper);
  EXPECT_TRUE(sum.completed()) << sum.message << "\n" << sum.console;
  EXPECT_EQ(keeper.profiles.size(), 21u);
  double worst = 0.0;
  for (const Profile& p : keeper.profiles) {
    const std::size_t ncomp = p.c.size() / p.x.size();
    for (std::size_t j = 0; j < p.x.size(); ++j) worst = std::max(worst, std::abs(p.c[j * ncomp] - 1.0));
  }
  return worst;
}

TEST(ExactSources, UniformTracerStaysUniformOnAnyGrid) {
  // Measured on 21, 41 and 81 points, the worst over the outputs: 8.4e-3,
  // 5.9e-3 and 3.6e-3 from 1.0 with the midpoint sources; with the exact ones
  // 2.4e-12, 2.3e-12 and 1.6e-12, rounding.
  for (int npts : {21, 41, 81}) {
    SCOPED_TRACE(npts);
    const Scenario s = uniform_salinity_river(npts);
    RunOptions exact;
    exact.exact_sources = true;
    const double sampled = worst_departure(s, {});
    const double integrated = worst_departure(s, exact);
    std::printf("uniform salinity on %d points: worst departure %.3e sampled, %.3e exact\n", npts,
                sampled, integrated);
    EXPECT_GT(sampled, 1e-3);  // the midpoint sources do not keep it
    EXPECT_LT(integrated, 1e-9);
  }
}

TEST(ExactSources, NotWithTheExactJacobian) {
  RunOptions o;
  o.exact_sources = true;
  EXPECT_TRUE(o.validate().empty());
  o.exact_jacobian = true;
  ASSERT_EQ(o.validate().size(), 1u);
  EXPECT_EQ(o.validate().front().field, "exact_jacobian");
  o.exact_sources = false;
  o.averaged_channel = true;
  EXPECT_EQ(o.validate().size(), 1u);
}

}  // namespace
}  // namespace qz5::engine_test
