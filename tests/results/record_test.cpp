// The run record's bookkeeping: look-ups, attribute replacement, shapes, and
// the unit text of budget masses.
#include <gtest/gtest.h>

#include "results/run_record.h"

namespace qz5::results {
namespace {

TEST(RunRecordTest, DimensionsVariablesAttributesAndShapes) {
  RunRecord r;
  r.add_dimension("time", 99, true);  // unlimited: starts empty whatever size is given
  r.add_dimension("point", 3, false);
  Variable& v = r.add_variable("x", {"time", "point"}, {{"units", std::string("m")}});
  EXPECT_TRUE(v.data.empty());
  EXPECT_EQ(v.text("units"), "m");
  EXPECT_EQ(v.text("long_name"), "");
  r.dimension("time")->size = 2;
  EXPECT_EQ(r.shape(*r.variable("x")), (std::vector<std::size_t>{2, 3}));
  EXPECT_EQ(r.variable("y"), nullptr);

  r.set_attribute("status", std::string("running"));
  r.set_attribute("NPTS", 81LL);
  r.set_attribute("status", std::string("complete"));
  ASSERT_EQ(r.attributes.size(), 2u);  // replaced in place, not appended
  EXPECT_EQ(std::get<std::string>(*r.attribute("status")), "complete");
  EXPECT_EQ(std::get<long long>(*r.attribute("NPTS")), 81);
}

TEST(RunRecordTest, MassUnits) {
  EXPECT_EQ(mass_unit("psu", "m"), "psu m3");
  EXPECT_EQ(mass_unit("umol/L", "m"), "umol/L m3");
  EXPECT_EQ(mass_unit("file units", "file length units"), "(file units)*(file length units)^3");
}

}  // namespace
}  // namespace qz5::results
