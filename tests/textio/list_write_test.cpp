// Free-form lines: a leading blank, texts as they stand, each number one
// blank and a right-justified field (integers 11 columns, doubles 24, floats
// 15); reals with 17 (double) or 9 (float) significant digits.
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "textio/textio.h"

namespace qz5 {
namespace {

using namespace std::string_view_literals;

std::string blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

// " " + the number right-justified in `width` columns.
std::string field(const std::string& number, int width) {
  return " " + blanks(width - static_cast<int>(number.size())) + number;
}

struct ListCase {
  const char* name;
  std::vector<Item> items;
  std::string expected;
};

TEST(ListDirectedLine, Layout) {
  const std::vector<ListCase> cases = {
      {"text only", {"Statistics:"sv}, " Statistics:"},
      {"single blank text gives blanks only", {" "sv}, "  "},
      {"nothing", {}, " "},
      {"consecutive texts join", {"   drv: "sv, "a.drv"sv}, "    drv: a.drv"},
      {"integer alone", {5}, field("5", 11)},
      {"text then integer", {"MXNEQ too small, needed:"sv, 1200},
       " MXNEQ too small, needed:" + field("1200", 11)},
      {"several integers", {"   FNS, JACS:"sv, 123, 45},
       "    FNS, JACS:" + field("123", 11) + field("45", 11)},
      {"negative integers", {-7, std::numeric_limits<int>::min()},
       field("-7", 11) + field("-2147483648", 11)},
      {"text after a number", {5, "x"sv}, field("5", 11) + " x"},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(list_directed_line(c.items), c.expected);
  }
}

TEST(ListDirectedLine, Reals) {
  const std::vector<ListCase> cases = {
      // Seventeen significant digits for a double, nine for a float.
      {"double 1.5", {1.5}, field("1.5000000000000000", 24)},
      {"double -2.5", {-2.5}, field("-2.5000000000000000", 24)},
      {"double 0.25 has a zero before the point", {0.25}, field("0.25000000000000000", 24)},
      // 0.1 is 0.1000000000000000055511...; digit 18 is 5 (then 5511), so
      // the seventeenth rounds up.
      {"double 0.1", {0.1}, field("0.10000000000000001", 24)},
      {"double zero", {0.0}, field("0.0000000000000000", 24)},
      // 1e10 has 11 digits before the point, 6 after.
      {"double 1e10 still fixed", {1.0e10}, field("10000000000.000000", 24)},
      {"double 1e20 exponent form", {1.0e20}, field("1.0000000000000000E+20", 24)},
      // 2^-20 = 9.5367431640625e-07 exactly.
      {"double below 0.1", {0x1p-20}, field("9.5367431640625000E-07", 24)},
      {"float 1.5", {1.5f}, field("1.50000000", 15)},
      // 0.1f is 0.100000001490116...; nine digits 100000001.
      {"float 0.1", {0.1f}, field("0.100000001", 15)},
      // 1e10 = 9765625 * 2^10 is exact in a float.
      {"float 1e10", {1.0e10f}, field("1.00000000E+10", 15)},
      {"text then floats", {" t, t0, tf: "sv, 2.0f, 0.5f},
       "  t, t0, tf: " + field("2.00000000", 15) + field("0.500000000", 15)},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(list_directed_line(c.items), c.expected);
  }
}

}  // namespace
}  // namespace qz5
