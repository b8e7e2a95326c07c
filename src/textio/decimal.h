// Decimal digits of a double, shared by the edit descriptors and the
// free-form writer.
//
// Every number the program prints is first reduced to a fixed count of
// significant decimal digits, correctly rounded from the exact binary value
// (ties to even, as the C library does), and to its decimal exponent. The
// edit descriptors then only place those digits; rounding carries (99999.9 to
// five digits is 10000 with the exponent one higher) are settled here once.
#pragma once

#include <string>

namespace qz5::textio_detail {

// |x| = 0.d1 d2 ... dn × 10^exponent with d1 != 0, or all digits '0' and
// exponent 0 when x is zero. `negative` is true for x < 0 only (so -0.0 is
// written like 0.0). x must be finite; n must be 1..100.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};
Decimal decimal_digits(double x, int n);

// Right-justifies `text` in `width` columns; text longer than the width is
// returned unchanged (callers decide what overflow means).
std::string right_justify(const std::string& text, int width);

// Text of a NaN or an infinity ("NaN", "Infinity", "-Infinity", or the short
// "Inf"/"-Inf" when the long form exceeds `width`; `width` <= 0 means no
// limit).
std::string non_finite_text(double x, int width);

}  // namespace qz5::textio_detail
