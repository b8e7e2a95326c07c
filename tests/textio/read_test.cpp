// Free-form reading and line reading through the unit table, on string
// streams (the console) and on files in a temporary directory.
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "textio/textio.h"

namespace qz5 {
namespace {

// A console whose input is the given text.
struct Console {
  explicit Console(const std::string& input) : in(input), units(in, out) {}
  std::istringstream in;
  std::ostringstream out;
  Units units;
};

Stop stop_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const Stop& s) {
    return s;
  }
  ADD_FAILURE() << "no stop";
  return Stop{"", -1};
}

TEST(ReadList, IntegerFollowedByComment) {
  Console c("5  comment\n");
  int n = 0;
  EXPECT_EQ(c.units.read_list(kUnitConsoleIn, {&n}), ReadStatus::kOk);
  EXPECT_EQ(n, 5);
}

TEST(ReadList, RealForms) {
  struct Case {
    const char* text;
    double expected;
  };
  const std::vector<Case> cases = {
      {"1.0D-6", 1.0e-6}, {"1", 1.0},       {"1.5", 1.5},     {"-2.E3", -2000.0},
      {".5", 0.5},        {"5.", 5.0},       {"1e3", 1000.0},  {"+4", 4.0},
      {"2.5d+2", 250.0},  {"1E-2", 0.01},    {"-0.125", -0.125}, {"7.5e0", 7.5},
      {"1.0d-400", 0.0},  // below the smallest subnormal: zero, as the C library gives
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    Console c(std::string(k.text) + "\n");
    double x = -99.0;
    c.units.read_list(kUnitConsoleIn, {&x});
    EXPECT_EQ(x, k.expected);
  }
}

TEST(ReadList, IntegerForms) {
  struct Case {
    const char* text;
    int expected;
  };
  const std::vector<Case> cases = {
      {"5", 5}, {"-7", -7}, {"+3", 3}, {"007", 7},
      {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    Console c(std::string(k.text) + "\n");
    int n = -99;
    c.units.read_list(kUnitConsoleIn, {&n});
    EXPECT_EQ(n, k.expected);
  }
}

TEST(ReadList, Logicals) {
  struct Case {
    const char* text;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"T", true},  {"t", true},       {".TRUE.", true},  {"True", true}, {".t", true},
      {"F", false}, {".false.", false}, {"f", false},     {"FALSE", false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    Console c(std::string(k.text) + " trailing words\n");
    bool b = !k.expected;
    c.units.read_list(kUnitConsoleIn, {&b});
    EXPECT_EQ(b, k.expected);
  }
}

TEST(ReadList, InvalidValuesStopNamingLineAndToken) {
  struct Case {
    const char* text;
    char type;  // i, r or l
    const char* kind;
  };
  const std::vector<Case> cases = {
      {"1.5", 'i', "integer"},        {"1e3", 'i', "integer"},     {"2147483648", 'i', "integer"},
      {"-2147483649", 'i', "integer"}, {"12a", 'i', "integer"},    {"+", 'i', "integer"},
      {"abc", 'r', "real"},          {"1.5.2", 'r', "real"},       {"e5", 'r', "real"},
      {".", 'r', "real"},            {"1e", 'r', "real"},          {"1e+", 'r', "real"},
      {"NaN", 'r', "real"},          {"Inf", 'r', "real"},         {"infinity", 'r', "real"},
      {"1.0f", 'r', "real"},         {"0*1.0", 'r', "real"},       {"--1", 'r', "real"},
      {"1e999", 'r', "real"},        {"0x10", 'r', "real"},        {"1.0+5", 'r', "real"},
      {"yes", 'l', "logical"},       {".", 'l', "logical"},        {"1", 'l', "logical"},
      // Malformed repeats: the count must be a positive integer without
      // sign, and the repeated value must be of the target's kind.
      {"0*1", 'i', "integer"},       {"-2*1", 'i', "integer"},     {"+2*1", 'r', "real"},
      {"*5", 'i', "integer"},        {"x*1", 'r', "real"},         {"2*x", 'r', "real"},
      {"2*3*4", 'i', "integer"},     {"2*1.5", 'i', "integer"},    {"3*1", 'l', "logical"},
      {"99999999999*1", 'r', "real"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    // The bad value is on line 2, after a good line.
    Console c(std::string("1\n") + k.text + "\n");
    int n = 0;
    double x = 0.0;
    bool b = false;
    c.units.read_list(kUnitConsoleIn, {&n});
    const Stop s = stop_of([&] {
      if (k.type == 'i') c.units.read_list(kUnitConsoleIn, {&n});
      if (k.type == 'r') c.units.read_list(kUnitConsoleIn, {&x});
      if (k.type == 'l') c.units.read_list(kUnitConsoleIn, {&b});
    });
    EXPECT_EQ(s.text, std::string("Error reading file \"standard input\", line 2: \"") + k.text +
                          "\" is not a valid " + k.kind);
    EXPECT_EQ(s.status, kExitBadInput);
    EXPECT_EQ(n, 1);  // the target keeps its value
  }
}

TEST(ReadList, SeparatorsAndContinuation) {
  Console c("1,2.5, T\n\t3\t4\n\n   \n5 6\n7\n8 9 10\n11\n");
  int i = 0, j = 0, k = 0, l = 0;
  double x = 0.0;
  bool b = false;
  c.units.read_list(kUnitConsoleIn, {&i, &x, &b});  // comma, comma and blank
  EXPECT_EQ(i, 1);
  EXPECT_EQ(x, 2.5);
  EXPECT_TRUE(b);
  c.units.read_list(kUnitConsoleIn, {&i, &j});  // tabs
  EXPECT_EQ(i, 3);
  EXPECT_EQ(j, 4);
  // Blank lines are skipped, and the read continues over lines.
  c.units.read_list(kUnitConsoleIn, {&i, &j, &k});
  EXPECT_EQ(i, 5);
  EXPECT_EQ(j, 6);
  EXPECT_EQ(k, 7);
  // The rest of the line after the last value is skipped.
  c.units.read_list(kUnitConsoleIn, {&l});
  EXPECT_EQ(l, 8);
  c.units.read_list(kUnitConsoleIn, {&l});
  EXPECT_EQ(l, 11);
  EXPECT_EQ(c.units.line_number(kUnitConsoleIn), 8);
}

// Repeat counts and null values, as Fortran list-directed output writes them
// and list-directed input reads them. Every target starts at -1, so a null
// shows as -1.
TEST(ReadList, RepeatCountsAndNulls) {
  struct Case {
    const char* name;
    const char* text;
    std::vector<double> expected;  // one per target
  };
  const std::vector<Case> cases = {
      {"r*c fills r targets", "3*0.0 5\n", {0, 0, 0, 5}},
      {"repeated value with a D exponent", "2*1.5D1, 4\n", {15, 15, 4}},
      {"empty place between commas", "1,,2\n", {1, -1, 2}},
      {"blanks between the commas", "1 , ,2\n", {1, -1, 2}},
      {"comma first in the read", ",2\n", {-1, 2}},
      {"r* nulls before a comma", "2*,7\n", {-1, -1, 7}},
      {"r* nulls before a blank", "2* 7\n", {-1, -1, 7}},
      {"nulls between values", "1,2*,4\n", {1, -1, -1, 4}},
      {"a line end after a comma is no null", "1,\n3\n", {1, 3}},
      {"a comma after a comma and a line end", "1,\n,3\n", {1, -1, 3}},
      {"a repeat continues over lines", "1 2*5\n\n7\n", {1, 5, 5, 7}},
      {"more repeats than targets", "5*2 rest\n9\n", {2, 2, 2}},
      {"nulls to the end of the read", "4*\n9\n", {-1, -1}},
      {"trailing commas", "1,,,\n9\n", {1, -1}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Console c(k.text);
    std::vector<double> v(k.expected.size(), -1.0);
    switch (v.size()) {
      case 2: c.units.read_list(kUnitConsoleIn, {&v[0], &v[1]}); break;
      case 3: c.units.read_list(kUnitConsoleIn, {&v[0], &v[1], &v[2]}); break;
      default: c.units.read_list(kUnitConsoleIn, {&v[0], &v[1], &v[2], &v[3]}); break;
    }
    EXPECT_EQ(v, k.expected);
  }
  // Each read starts on a new line, whatever repeats were left over; a
  // repeat feeds targets of different kinds.
  Console c("5*2 rest\n2*T 3*7\n");
  int a = 0, b = 0, d = 0;
  bool p = false, q = false;
  double x = 0.0;
  c.units.read_list(kUnitConsoleIn, {&x});
  EXPECT_EQ(x, 2.0);
  c.units.read_list(kUnitConsoleIn, {&p, &q, &a, &b, &d});
  EXPECT_TRUE(p && q);
  EXPECT_EQ((std::vector<int>{a, b, d}), (std::vector<int>{7, 7, 7}));
  // A null up to the end of the file still counts as read.
  Console e("1,,\n");
  double y = -1.0, z = -1.0, w = -1.0;
  EXPECT_EQ(e.units.read_list(kUnitConsoleIn, {&y, &z, &w}, true), ReadStatus::kEndOfFile);
  EXPECT_EQ(y, 1.0);
  EXPECT_EQ(z, -1.0);
}

TEST(ReadList, ReadOfNothingPassesOverOneLine) {
  Console c("header words\n4\n");
  int n = 0;
  EXPECT_EQ(c.units.read_list(kUnitConsoleIn, {}), ReadStatus::kOk);
  c.units.read_list(kUnitConsoleIn, {&n});
  EXPECT_EQ(n, 4);
  EXPECT_EQ(c.units.read_list(kUnitConsoleIn, {}, true), ReadStatus::kEndOfFile);
}

TEST(ReadList, CommentTextAfterValuesIsNeverParsed) {
  // Whatever follows the last value, even invalid tokens, is ignored.
  Console c("1.5 ,abc NaN \x01\n2\n");
  double x = 0.0;
  int n = 0;
  c.units.read_list(kUnitConsoleIn, {&x});
  c.units.read_list(kUnitConsoleIn, {&n});
  EXPECT_EQ(x, 1.5);
  EXPECT_EQ(n, 2);
}

TEST(ReadList, CrLfLineEnds) {
  Console c("5\r\n6 \r\n7\r\n");
  int a = 0, b = 0;
  c.units.read_list(kUnitConsoleIn, {&a});
  c.units.read_list(kUnitConsoleIn, {&b});
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 6);
  std::string line;
  c.units.read_line(kUnitConsoleIn, line, 3);
  EXPECT_EQ(line, "7  ");
}

TEST(ReadList, EndOfFileBeforeTheFirstItem) {
  Console c("1 2\n\n  \n");
  int a = 0, b = 0;
  EXPECT_EQ(c.units.read_list(kUnitConsoleIn, {&a, &b}, true), ReadStatus::kOk);
  a = -1;
  b = -2;
  EXPECT_EQ(c.units.read_list(kUnitConsoleIn, {&a, &b}, true), ReadStatus::kEndOfFile);
  EXPECT_EQ(a, -1);
  EXPECT_EQ(b, -2);
  // Again at the end: still end of file.
  EXPECT_EQ(c.units.read_list(kUnitConsoleIn, {&a}, true), ReadStatus::kEndOfFile);
}

TEST(ReadList, EndOfFileInsideARead) {
  Console c("1 2\n3");  // last line without a line end still counts
  int a = 0, b = 0;
  double x = 0.0;
  c.units.read_list(kUnitConsoleIn, {&a, &b});
  a = -1;
  b = -2;
  EXPECT_EQ(c.units.read_list(kUnitConsoleIn, {&a, &b, &x}, true), ReadStatus::kEndOfFile);
  EXPECT_EQ(a, 3);   // filled before the end
  EXPECT_EQ(b, -2);  // untouched
}

TEST(ReadList, EndOfFileNotAllowedStops) {
  Console c("1\n2\n");
  int a = 0, b = 0;
  const Stop s = stop_of([&] { c.units.read_list(kUnitConsoleIn, {&a, &b, &b}); });
  EXPECT_EQ(s.text, "Error reading file \"standard input\": unexpected end of file after line 2");
  EXPECT_EQ(s.status, kExitBadInput);
}

TEST(ReadList, VeryLongLinesAndBinaryBytes) {
  // 100 000 blanks, then a value.
  Console spaced(std::string(100000, ' ') + "7 rest\n");
  int n = 0;
  spaced.units.read_list(kUnitConsoleIn, {&n});
  EXPECT_EQ(n, 7);

  // One token of 100 000 digits: out of range; the message shows its first
  // forty characters only.
  Console digits(std::string(100000, '9') + "\n");
  Stop s = stop_of([&] { digits.units.read_list(kUnitConsoleIn, {&n}); });
  EXPECT_EQ(s.text, "Error reading file \"standard input\", line 1: \"" + std::string(40, '9') +
                        "...\" is not a valid integer");

  // Control bytes (NUL included) in a token are shown as '?'.
  Console binary(std::string("1\0\x02x", 4) + "\n");
  double x = 0.0;
  s = stop_of([&] { binary.units.read_list(kUnitConsoleIn, {&x}); });
  EXPECT_EQ(s.text, "Error reading file \"standard input\", line 1: \"1??x\" is not a valid real");

  Console line(std::string(100000, 'a') + "\nb\n");
  std::string text;
  line.units.read_line(kUnitConsoleIn, text, 80);
  EXPECT_EQ(text, std::string(80, 'a'));
  line.units.read_line(kUnitConsoleIn, text, 80);
  EXPECT_EQ(text, "b" + std::string(79, ' '));
}

TEST(ReadLine, CutPadAndEndOfFile) {
  Console c("name.prm\n\nexactly10!\n");
  std::string field = "old";
  EXPECT_EQ(c.units.read_line(kUnitConsoleIn, field, 10), ReadStatus::kOk);
  EXPECT_EQ(field, "name.prm  ");
  c.units.read_line(kUnitConsoleIn, field, 4);
  EXPECT_EQ(field, "    ");
  c.units.read_line(kUnitConsoleIn, field, 5);
  EXPECT_EQ(field, "exact");
  field = "kept";
  EXPECT_EQ(c.units.read_line(kUnitConsoleIn, field, 4, true), ReadStatus::kEndOfFile);
  EXPECT_EQ(field, "kept");
  const Stop s = stop_of([&] { c.units.read_line(kUnitConsoleIn, field, 4); });
  EXPECT_EQ(s.text, "Error reading file \"standard input\": unexpected end of file after line 3");
}

TEST(ReadList, FileMessagesNameTheFile) {
  const std::filesystem::path dir =
      std::filesystem::path(testing::TempDir()) / "qz5_textio_read_messages";
  std::filesystem::create_directories(dir);
  const std::string name = (dir / "x.prm").string();
  {
    std::ofstream f(name, std::ios::binary);
    f << "100 number of points\n0.5\nabc\n";
  }
  std::istringstream in;
  std::ostringstream out;
  Units units(in, out);
  units.open_existing(kUnitInput, name);
  int n = 0;
  double x = 0.0;
  units.read_list(kUnitInput, {&n});
  units.read_list(kUnitInput, {&x});
  EXPECT_EQ(n, 100);
  EXPECT_EQ(x, 0.5);
  EXPECT_EQ(units.line_number(kUnitInput), 2);
  Stop s = stop_of([&] { units.read_list(kUnitInput, {&n}); });
  EXPECT_EQ(s.text, "Error reading file \"" + name + "\", line 3: \"abc\" is not a valid integer");
  EXPECT_EQ(s.status, kExitBadInput);

  units.open_existing(kUnitInput, name);  // reopening starts from the top
  EXPECT_EQ(units.line_number(kUnitInput), 0);
  units.read_list(kUnitInput, {&n});
  units.read_list(kUnitInput, {&x});
  std::string line;
  units.read_line(kUnitInput, line, 3);
  EXPECT_EQ(line, "abc");
  s = stop_of([&] { units.read_list(kUnitInput, {&n}); });
  EXPECT_EQ(s.text, "Error reading file \"" + name + "\": unexpected end of file after line 3");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qz5
