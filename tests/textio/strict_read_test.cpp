// The careful modes of free-form reading: what valid list-directed input may
// hide, pointed out with the file and the line (kWarn) or refused there
// (kError); without them (kOff) the reads and the console are as always.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "textio/textio.h"

namespace qz5 {
namespace {

struct Case {
  const char* name;
  const char* input;
  int values_per_read;  // reals per record
  int reads;
  std::vector<double> expected;  // every value read, in order
  const char* warnings;          // the console under kWarn
};

const Case kCases[] = {
    {"decimal comma: ATOL read as 1", "1,0E-3     ATOL\n", 1, 1, {1.0},
     " Strict::Warning, file \"standard input\", line 1: a comma stands between two digits in "
     "\"1,0E-3\" (a decimal comma? it is read as two values)\n"
     " Strict::Warning, file \"standard input\", line 1: the line holds more values than the "
     "record reads: \"0E-3\" and what follows are not read\n"},
    {"record one value short takes the next line's time", "0 1 2\n10 4 5 6\n20 7 8 9\n", 4, 2,
     {0, 1, 2, 10, 20, 7, 8, 9},
     " Strict::Warning, file \"standard input\", line 2: the record begun on line 1 continues on "
     "this line\n"
     " Strict::Warning, file \"standard input\", line 2: the line holds more values than the "
     "record reads: \"4\" and what follows are not read\n"},
    {"comments after the values are no values", "6   NCOMP: 1 salinity, 2 carbon\n1.0E-5 ALPHA\n", 1,
     2, {6, 1e-5}, ""},
    {"commas between values with blanks are separators", "1, 2, 3\n", 3, 1, {1, 2, 3}, ""},
    {"a comma between digits is suspicious even as a separator", "1,2\n", 2, 1, {1, 2},
     " Strict::Warning, file \"standard input\", line 1: a comma stands between two digits in "
     "\"1,2\" (a decimal comma? it is read as two values)\n"},
    {"blank lines before a record are no continuation", "\n\n5\n", 1, 1, {5}, ""},
};

void read_all(Units& u, const Case& c, std::vector<double>& got) {
  for (int r = 0; r < c.reads; ++r) {
    std::vector<double> v(static_cast<std::size_t>(c.values_per_read));
    std::vector<ReadTarget> t;
    for (double& x : v) t.emplace_back(&x);
    u.read_list(kUnitConsoleIn, std::span<const ReadTarget>(t));
    got.insert(got.end(), v.begin(), v.end());
  }
}

TEST(StrictReading, WarnsNamingFileAndLineAndReadsAsAlways) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    for (const StrictReading mode : {StrictReading::kOff, StrictReading::kWarn}) {
      std::istringstream in(c.input);
      std::ostringstream out;
      std::vector<double> got;
      {
        Units u(in, out);
        u.set_strict_reading(mode);
        read_all(u, c, got);
      }
      EXPECT_EQ(got, c.expected);
      EXPECT_EQ(out.str(), mode == StrictReading::kOff ? "" : c.warnings);
    }
  }
}

TEST(StrictReading, ErrorModeStopsAtTheFirstFinding) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::istringstream in(c.input);
    std::ostringstream out;
    Units u(in, out);
    u.set_strict_reading(StrictReading::kError);
    std::vector<double> got;
    const std::string warnings = c.warnings;
    try {
      read_all(u, c, got);
      EXPECT_TRUE(warnings.empty()) << "read without a stop";
    } catch (const Stop& s) {
      ASSERT_FALSE(warnings.empty()) << s.text;
      const std::string first = warnings.substr(0, warnings.find('\n'));
      EXPECT_EQ(" " + s.text, std::string(first).replace(1, 16, "Strict::Error,"));
      EXPECT_EQ(s.status, kExitBadInput);
    }
    EXPECT_EQ(out.str(), "");
  }
}

}  // namespace
}  // namespace qz5
