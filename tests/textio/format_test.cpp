// Edit descriptors: each expected string is worked out by hand from the
// descriptor rules (digits rounded from the exact binary value, field widths
// counted), with the working written next to the cases that need it.
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "textio/textio.h"

namespace qz5 {
namespace {

using namespace std::string_view_literals;

struct FormatCase {
  const char* name;
  std::string_view format;
  std::vector<Item> items;
  std::string expected;
};

void expect_formats(const std::vector<FormatCase>& cases) {
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Formatted out = format_items(c.format, c.items);
    EXPECT_EQ(out.text, c.expected);
    EXPECT_TRUE(out.end_line);
  }
}

std::string blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

TEST(EditE, ExponentFormWithoutLeadingZero) {
  expect_formats({
      // 12345.678 = 0.12345678E+05; five digits 12345|678 round up to 12346.
      {"E13.5 of 12345.678", "(E13.5)", {12345.678}, "   .12346E+05"},
      {"E13.5 of -12345.678", "(E13.5)", {-12345.678}, "  -.12346E+05"},
      // 0.0001 = 0.1E-03: .100E-03 is exactly 8 characters.
      {"E8.3 of 0.0001", "(E8.3)", {0.0001}, ".100E-03"},
      {"E8.3 of 0.000001", "(E8.3)", {0.000001}, ".100E-05"},
      // The sign makes nine characters: no room in eight.
      {"E8.3 of -0.0001", "(E8.3)", {-0.0001}, "********"},
      {"E8.3 of -5", "(E8.3)", {-5.0}, "********"},
      {"E12.4 of 1.5", "(E12.4)", {1.5}, "   .1500E+01"},
      {"E12.4 of 250", "(E12.4)", {250.0}, "   .2500E+03"},
      {"E13.5 of zero", "(E13.5)", {0.0}, "   .00000E+00"},
      {"E13.5 of 1", "(E13.5)", {1.0}, "   .10000E+01"},
      // Carries into the next power of ten raise the exponent.
      {"E13.5 of 99999.9", "(E13.5)", {99999.9}, "   .10000E+06"},
      {"E8.3 of 0.99996", "(E8.3)", {0.99996}, ".100E+01"},
      {"E13.5 of 9.999996e-100", "(E13.5)", {9.999996e-100}, "   .10000E-98"},
      // Exponents beyond 99 take three digits in place of the letter:
      // 1e-120 = 0.1E-119, 1e120 = 0.1E+121, 5e-100 = 0.5E-99 (still two).
      {"E13.5 of 1e-120", "(E13.5)", {1.0e-120}, "   .10000-119"},
      {"E13.5 of 1e120", "(E13.5)", {1.0e120}, "   .10000+121"},
      {"E13.5 of -1e120", "(E13.5)", {-1.0e120}, "  -.10000+121"},
      {"E13.5 of 5e-100", "(E13.5)", {5.0e-100}, "   .50000E-99"},
      {"E13.5 of 1e100", "(E13.5)", {1.0e100}, "   .10000+101"},
      {"E13.5 of 1e99", "(E13.5)", {1.0e99}, "   .10000+100"},
      {"E13.5 of 1e98", "(E13.5)", {1.0e98}, "   .10000E+99"},
      // 0.125 = 0.125E+00 exactly, room for four more digits.
      {"E12.7 of 0.125", "(E12.7)", {0.125}, ".1250000E+00"},
  });
}

TEST(EditD, LetterDAndScaleFactor) {
  expect_formats({
      {"D13.5 of 12345.678", "(D13.5)", {12345.678}, "   .12346D+05"},
      // 1P: one digit before the point, d after it (seven significant
      // digits: 1234567|8 -> 1234568) and the exponent one lower.
      {"1P,D15.6 of 12345.678", "(1P,D15.6)", {12345.678}, "   1.234568D+04"},
      {"1P without comma", "(1PD15.6)", {12345.678}, "   1.234568D+04"},
      {"1P,D15.6 of -1", "(1P,D15.6)", {-1.0}, "  -1.000000D+00"},
      {"1P,D15.6 of 0.5", "(1P,D15.6)", {0.5}, "   5.000000D-01"},
      {"1P,D15.6 of zero", "(1P,D15.6)", {0.0}, "   0.000000D+00"},
      // 1e-200 = 0.1E-199 -> 1.0E-200 under 1P: three exponent digits.
      {"1P,D15.6 of 1e-200", "(1P,D15.6)", {1.0e-200}, "   1.000000-200"},
      // 9.9999996 to seven digits carries to 10.00000 -> 1.000000D+01.
      {"1P,D15.6 carry", "(1P,D15.6)", {9.9999996}, "   1.000000D+01"},
      // 2P: two digits before the point, d - 1 after, exponent two lower.
      {"2P,E13.5 of 12345.678", "(2P,E13.5)", {12345.678}, "  12.3457E+03"},
  });
}

TEST(EditScale, PersistsForTheRestOfTheFormat) {
  expect_formats({
      {"1P applies to every later descriptor", "(1P,D15.6,D15.6)", {2.0, 3.0},
       "   2.000000D+00   3.000000D+00"},
      {"descriptors before 1P are unscaled", "(E13.5,1P,E13.5)", {1.5, 1.5},
       "   .15000E+01  1.50000E+00"},
      {"0P restores the plain form", "(1P,E13.5,0P,E13.5)", {1.5, 1.5},
       "  1.50000E+00   .15000E+01"},
      // The scale factor survives the restart of the format for the third
      // item, so its first descriptor is scaled this time.
      {"survives format reversion", "(E13.5,1P,E13.5)", {1.5, 1.5, 1.5},
       "   .15000E+01  1.50000E+00\n  1.50000E+00"},
      // Under G the scale factor affects the exponent form only.
      {"1P,G13.5 in fixed range", "(1P,G13.5)", {1.5}, "   1.5000    "},
      {"1P,G13.5 in exponent range", "(1P,G13.5)", {1.0e6}, "  1.00000E+06"},
  });
}

TEST(EditG, FixedOrExponentForm) {
  expect_formats({
      {"G13.5 of 1.5", "(G13.5)", {1.5}, "   1.5000    "},
      {"G13.5 of 0.5", "(G13.5)", {0.5}, "   .50000    "},
      {"G13.5 of -1.5", "(G13.5)", {-1.5}, "  -1.5000    "},
      {"G13.5 of -0.5", "(G13.5)", {-0.5}, "  -.50000    "},
      {"G13.5 of zero", "(G13.5)", {0.0}, "   .00000    "},
      {"G13.5 of minus zero has no sign", "(G13.5)", {-0.0}, "   .00000    "},
      {"G13.5 of 0.1", "(G13.5)", {0.1}, "   .10000    "},
      // e digits before the point, 5 - e after it.
      {"G13.5 of 123.456", "(G13.5)", {123.456}, "   123.46    "},
      {"G13.5 of 12345.678", "(G13.5)", {12345.678}, "   12346.    "},
      {"G13.5 of 99999.4", "(G13.5)", {99999.4}, "   99999.    "},
      {"G13.5 of -12345.678", "(G13.5)", {-12345.678}, "  -12346.    "},
      // 9.99996 rounds to 10.000: two digits before the point, three after.
      {"G13.5 carry changes the digit split", "(G13.5)", {9.99996}, "   10.000    "},
      // Boundaries decided on the value rounded to five digits.
      {"G13.5 of 0.099999999 rounds to 0.1", "(G13.5)", {0.099999999}, "   .10000    "},
      {"G13.5 of 0.09999 stays below 0.1", "(G13.5)", {0.09999}, "   .99990E-01"},
      {"G13.5 of 99999.5 rounds to 1e5", "(G13.5)", {99999.5}, "   .10000E+06"},
      {"G13.5 of 100000", "(G13.5)", {100000.0}, "   .10000E+06"},
      {"G13.5 of 1e-5", "(G13.5)", {1.0e-5}, "   .10000E-04"},
      {"G13.5 of -2.5e7", "(G13.5)", {-2.5e7}, "  -.25000E+08"},
      {"G13.5 of 1e-120", "(G13.5)", {1.0e-120}, "   .10000-119"},
  });
}

TEST(EditG, FloatItemsUseTheFloatsExactValue) {
  // 0.1f is exactly 0.100000001490116119384765625; twenty digits
  // 10000000149011611938|4... round down. The double 0.1 would give
  // 0.1000000000000000055511 -> 10000000000000000555.
  expect_formats({
      {"E30.20 of 0.1f", "(E30.20)", {0.1f}, "     .10000000149011611938E+00"},
      {"E30.20 of 0.1", "(E30.20)", {0.1}, "     .10000000000000000555E+00"},
      {"G13.5 of 1.1f", "(G13.5)", {1.1f}, "   1.1000    "},
  });
}

// Rounding is to nearest on the exact binary value, ties to even: a true tie
// exists only when the value is exactly representable (112.5, 0.125, 2.5);
// a decimal that only looks like a tie is decided by its binary value.
TEST(EditRounding, TiesToEvenOnTheExactBinaryValue) {
  expect_formats({
      // 112.5 = .1125E+03 exactly: 112|5 keeps the even 2; 113.5 goes to 114.
      {"E8.3 of 112.5", "(E8.3)", {112.5}, ".112E+03"},
      {"E8.3 of 113.5", "(E8.3)", {113.5}, ".114E+03"},
      // 0.125 and 0.375 are exact: 12|5 -> 12, 37|5 -> 38.
      {"E8.2 of 0.125", "(E8.2)", {0.125}, " .12E+00"},
      {"E8.2 of 0.375", "(E8.2)", {0.375}, " .38E+00"},
      {"E8.1 of 0.25", "(E8.1)", {0.25}, "  .2E+00"},
      // 0.35 is 0.34999999999999997779... (below the tie) and 0.45 is
      // 0.45000000000000001110... (above it).
      {"E8.1 of 0.35", "(E8.1)", {0.35}, "  .3E+00"},
      {"E8.1 of 0.45", "(E8.1)", {0.45}, "  .5E+00"},
      // 2.0000005 is 2.00000050000000006988...: above the tie, up.
      {"1P,D15.6 of 2.0000005", "(1P,D15.6)", {2.0000005}, "   2.000001D+00"},
      // G13.5 of 12344.5 and 12345.5, both exact: five digits 12344|5 stay,
      // 12345|5 go up to 12346.
      {"G13.5 of 12344.5", "(G13.5)", {12344.5}, "   12344.    "},
      {"G13.5 of 12345.5", "(G13.5)", {12345.5}, "   12346.    "},
      // One significant digit: 2.5 -> 2 (fixed form, no digit after the
      // point), 3.5 -> 4; 9.5 -> 10, which needs the exponent form.
      {"G8.1 of 2.5", "(G8.1)", {2.5}, "  2.    "},
      {"G8.1 of 3.5", "(G8.1)", {3.5}, "  4.    "},
      {"G8.1 of 9.5", "(G8.1)", {9.5}, "  .1E+02"},
      {"G9.2 of 0.125", "(G9.2)", {0.125}, "  .12    "},
      // 0.95 is 0.94999999999999995559...: stays .9 in the fixed form.
      {"G8.1 of 0.95", "(G8.1)", {0.95}, "  .9    "},
  });
}

TEST(EditI, RightJustifiedOrAsterisks) {
  expect_formats({
      {"I2 of 2", "(I2)", {2}, " 2"},
      {"I3 of 999", "(I3)", {999}, "999"},
      {"I3 of 1234", "(I3)", {1234}, "***"},
      {"I3 of -12", "(I3)", {-12}, "-12"},
      {"I3 of -123", "(I3)", {-123}, "***"},
      {"I8 of 0", "(I8)", {0}, "       0"},
      {"I10 of int max", "(I10)", {2147483647}, "2147483647"},
      {"I10 of int min", "(I10)", {std::numeric_limits<int>::min()}, "**********"},
      {"I11 of int min", "(I11)", {std::numeric_limits<int>::min()}, "-2147483648"},
      {"I5.3 of 7", "(I5.3)", {7}, "  007"},
      {"I3.0 of zero is blank", "(I3.0)", {0}, "   "},
      {"I1 of zero", "(I1)", {0}, "0"},
  });
}

TEST(EditText, AHollerithQuotesBlanks) {
  expect_formats({
      {"A whole text", "(A)", {"hello"sv}, "hello"},
      {"a lower case", "(a)", {"hello"sv}, "hello"},
      {"A5 cuts", "(A5)", {"hello world"sv}, "hello"},
      {"A8 pads on the right", "(A8)", {"abc"sv}, "abc     "},
      {"A80 of a short title", "(A80)", {" Advection dispersion with QZ5"sv},
       " Advection dispersion with QZ5" + blanks(50)},
      {"nH keeps its blanks", "(6H Time=)", {}, " Time="},
      {"H text may hold commas", "(1H,,1H1)", {}, ",1"},
      {"quoted text", "(' Illegal solution at T= ')", {}, " Illegal solution at T= "},
      {"doubled apostrophe", "('it''s')", {}, "it's"},
      {"nX", "(3X,I1)", {4}, "   4"},
      {"blanks in the format are ignored", "( 1 X , I 3 )", {5}, "   5"},
  });
}

TEST(FormatsOfTheProgram, ExactLines) {
  std::string row;
  for (int v = 1; v <= 8; ++v) row += "    " + std::to_string(v) + ".0000    ";
  expect_formats({
      {"progress line", "(6H Time=,E13.5, 4H; H=,E13.5, 8H; Order=,I2)", {12345.0, 100.0, 2},
       " Time=   .12345E+05; H=   .10000E+03; Order= 2"},
      // Four blanks before 1.5000 (three of the field and the text's own),
      // five after it (four of the field, one of " days").
      {"saving line", "(1x,A,G13.5,A)", {"Saving data at: "sv, 1.5, " days"sv},
       " Saving data at:    1.5000     days"},
      {"illegal solution", "(' Illegal solution at T= ',E12.4)", {0.5},
       " Illegal solution at T=    .5000E+00"},
      // Each of the eight fields is a blank and thirteen columns:
      // "   v.0000    ".
      {"output row", "(1x,G13.5, 7(1x,G13.5))", {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0}, row},
      {"workspace message",
       "(38H SETSKM - ERROR REAL WORKSPACE OF SIZE, I10,                   "
       "28H, IS SMALLER THAN REQUIRED :, I10)",
       {1072, 2000},
       " SETSKM - ERROR REAL WORKSPACE OF SIZE      1072, IS SMALLER THAN REQUIRED :      2000"},
      {"polar parameter message",
       "(44H SETSKM - POLAR PARAMETER LESS THAN ZERO, M=,                  I10)", {-1},
       " SETSKM - POLAR PARAMETER LESS THAN ZERO, M=        -1"},
      {"grid message",
       "(30H SKMRES - NON-MONOTONOUS GRID,,                                22H VALUES OF GRID "
       "POINTS, I3,1H,,I3,                              4H ARE, E13.5,1H1,E13.5)",
       {3, 4, 0.5, 0.25},
       " SKMRES - NON-MONOTONOUS GRID, VALUES OF GRID POINTS  3,  4 ARE   .50000E+001   "
       ".25000E+00"},
      {"error number", "('ERROR NUMBER = ', I8)", {12}, "ERROR NUMBER =       12"},
  });
  EXPECT_EQ(row.size(), 112u);
}

TEST(FormatControl, RepeatsReversionAndExhaustion) {
  expect_formats({
      {"repeat count on a descriptor", "(3I2)", {1, 2, 3}, " 1 2 3"},
      {"nested groups", "(2(I1,2(1H-)))", {1, 2}, "1--2--"},
      // Output goes on past literals and blanks until a data descriptor
      // finds no item.
      {"stops at the data descriptor without an item", "(2(I3,1x))", {1}, "  1 "},
      {"literal after the last item is written", "('A=',I2,' B=',I2)", {1}, "A= 1 B="},
      {"format restarts on a new record", "(I3)", {1, 2, 3}, "  1\n  2\n  3"},
      {"restart repeats the literals", "(1x,I2)", {5, 6}, "  5\n  6"},
      {"slash starts a record", "(I2/I2)", {1, 2}, " 1\n 2"},
      {"no items", "(I2)", {}, ""},
  });
}

TEST(FormatControl, DollarKeepsTheLineOpen) {
  const Formatted prompt =
      format_items("(1x,a,$)", {"Enter filename of names file [*.fn]: "sv});
  EXPECT_EQ(prompt.text, " Enter filename of names file [*.fn]: ");
  EXPECT_FALSE(prompt.end_line);
}

TEST(FormatControl, NonFiniteValues) {
  const double inf = std::numeric_limits<double>::infinity();
  expect_formats({
      {"NaN", "(E13.5)", {std::nan("")}, "          NaN"},
      {"infinity", "(G13.5)", {inf}, "     Infinity"},
      {"minus infinity in a narrow field", "(E8.3)", {-inf}, "    -Inf"},
  });
}

TEST(FormatControl, ProgrammingErrorsThrow) {
  struct Bad {
    const char* name;
    std::string_view format;
    std::vector<Item> items;
  };
  const std::vector<Bad> cases = {
      {"no parentheses", "I3", {1}},
      {"unclosed", "(I3", {1}},
      {"text after the end", "(I3)x", {1}},
      {"unknown descriptor", "(Q3)", {1}},
      {"E without d", "(E13)", {1.0}},
      {"H text past the end", "(9H ab)", {}},
      {"unterminated quote", "('abc)", {}},
      {"items but no data descriptor", "('x')", {1}},
      {"integer under E", "(E13.5)", {1}},
      {"real under I", "(I3)", {1.5}},
      {"number under A", "(A)", {1}},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(format_items(c.format, c.items), std::logic_error);
  }
}

// --- writing into a text field ----------------------------------------------

TEST(WriteIntoField, RunHeaderLine) {
  // Columns: " NPTS=" 1-6, count 7-9, "; RTOL=" 10-16, value 17-24,
  // ", ATOL=" 25-31, value 32-39, blanks to 80.
  std::string title = " NPTS=" + blanks(74);
  write_into_field(title, 7, 9, "(I3)", {100});
  write_into_field(title, 10, 16, "(A)", {"; RTOL="sv});
  write_into_field(title, 17, 24, "(E8.3)", {0.0001});
  write_into_field(title, 25, 31, "(A)", {", ATOL="sv});
  write_into_field(title, 32, 39, "(E8.3)", {0.000001});
  EXPECT_EQ(title, " NPTS=100; RTOL=.100E-03, ATOL=.100E-05" + blanks(41));
  EXPECT_EQ(title.size(), 80u);

  write_into_field(title, 7, 9, "(I3)", {1000});
  write_into_field(title, 17, 24, "(E8.3)", {-0.0001});
  EXPECT_EQ(title.substr(0, 39), " NPTS=***; RTOL=********, ATOL=.100E-05");
}

TEST(WriteIntoField, RowFormatBuiltAtRunTime) {
  std::string format = "(1x,G13.5,##(1x,G13.5))";
  format.resize(26, ' ');
  write_into_field(format, 11, 12, "(I2)", {7});
  EXPECT_EQ(format, "(1x,G13.5, 7(1x,G13.5))   ");
  // The built format, trailing blanks included, is usable as it stands.
  const Formatted row = format_items(format, {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0});
  EXPECT_EQ(row.text.size(), 112u);
}

TEST(WriteIntoField, WholeFieldAndColumnLimits) {
  std::string title(80, 'x');
  write_into_field(title, "(1x,a)", {"Advection dispersion with QZ5"sv});
  EXPECT_EQ(title, " Advection dispersion with QZ5" + blanks(50));

  std::string field = "abcdefghij";
  write_into_field(field, 3, 5, "(A)", {"XYZW"sv});
  EXPECT_EQ(field, "abXYZfghij");  // cut to three columns, the rest untouched
  write_into_field(field, 3, 5, "(A)", {"Q"sv});
  EXPECT_EQ(field, "abQ  fghij");  // padded with blanks inside the columns
  write_into_field(field, 10, 10, "(I1)", {7});
  EXPECT_EQ(field, "abQ  fghi7");

  std::string message(72, '#');
  write_into_field(message, "('ERROR NUMBER = ', I8)", {-9999999});
  EXPECT_EQ(message, "ERROR NUMBER = -9999999" + blanks(49));
}

TEST(WriteIntoField, MisuseThrows) {
  std::string field(10, ' ');
  EXPECT_THROW(write_into_field(field, 0, 3, "(I3)", {1}), std::logic_error);
  EXPECT_THROW(write_into_field(field, 5, 4, "(I3)", {1}), std::logic_error);
  EXPECT_THROW(write_into_field(field, 8, 11, "(I3)", {1}), std::logic_error);
  EXPECT_THROW(write_into_field(field, 1, 10, "(I3)", {1, 2}), std::logic_error);
  EXPECT_EQ(field, blanks(10));
}

}  // namespace
}  // namespace qz5
