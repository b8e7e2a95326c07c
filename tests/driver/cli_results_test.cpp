// The result-file options of the command line: what they parse to, and the
// combinations refused before anything runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/cli_options.h"

namespace qz5 {
namespace {

CliOptions parse(std::vector<const char*> args) {
  args.insert(args.begin(), "qz5");
  return parse_command_line(static_cast<int>(args.size()), args.data());
}

TEST(CliResultsTest, OptionsParseToTheirFields) {
  const CliOptions o = parse({"--netcdf", "out.nc", "--stations", "0, 1.5e3,23330",
                              "--stations-csv", "s.csv", "--budget", "b.csv", "--constituents",
                              "salinity:psu", "--length-unit", "m", "run.fn"});
  ASSERT_EQ(o.error, "");
  EXPECT_EQ(o.netcdf_file, "out.nc");
  EXPECT_EQ(o.stations, (std::vector<double>{0.0, 1500.0, 23330.0}));
  EXPECT_EQ(o.stations_csv, "s.csv");
  EXPECT_EQ(o.budget_file, "b.csv");
  EXPECT_EQ(o.constituents, "salinity:psu");
  EXPECT_EQ(o.length_unit, "m");
  EXPECT_TRUE(wants_results(o));
  EXPECT_EQ(o.names_args.back(), "run.fn");
  EXPECT_FALSE(wants_results(parse({"run.fn"})));
  EXPECT_TRUE(wants_results(parse({"--budget", "b.csv", "run.fn"})));
}

TEST(CliResultsTest, RefusedCombinationsAndValues) {
  struct Case {
    std::vector<const char*> args;
    const char* error;
  } cases[] = {
      {{"--stations", "1,x"}, "--stations takes positions separated by commas, not 1,x"},
      {{"--stations", "1,,2"}, "--stations takes positions separated by commas, not 1,,2"},
      {{"--stations", "nan", "--netcdf", "a.nc"},
       "--stations takes positions separated by commas, not nan"},
      {{"--stations", ""}, "--stations takes positions separated by commas, not "},
      {{"--stations-csv", "s.csv"}, "--stations-csv needs --stations"},
      {{"--stations", "1"}, "--stations needs --netcdf or --stations-csv to write the series to"},
      {{"--budget"}, "--budget needs a value"},
      {{"--netcdf"}, "--netcdf needs a value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(parse(c.args).error, c.error);
  }
}

TEST(CliResultsTest, HelpDescribesEveryResultOption) {
  const std::string help = usage_text();
  for (const char* option : {"--netcdf FILE", "--stations X1,X2,...", "--stations-csv FILE",
                             "--budget FILE", "--constituents SPEC", "--length-unit UNIT"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace qz5
