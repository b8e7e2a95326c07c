// Free-form (list-directed) writing.
//
// Layout, close to what common Fortran compilers print:
// - a line starts with one blank;
// - a text is written as it stands; after a number it is preceded by one
//   blank, after another text or at the start of the line by nothing more;
// - a number is one blank followed by its text right-justified in a field
//   (the line's leading blank serves as that blank for a first item):
//   integers in 11 columns, doubles in 24, floats in 15 — wide enough for
//   every value of the type, so columns line up;
// - a real is rounded to 17 significant digits (double) or 9 (float), which
//   identifies the binary value uniquely. With the rounded magnitude in
//   [0.1, 10^n) it is written in fixed point with n significant digits and a
//   zero before the point when below 1 (0.500000000); otherwise as one
//   digit, the point, n-1 digits, 'E' and a signed exponent of at least two
//   digits (1.00000000E+10). Zero is written "0." and n-1 zeros, NaN and the
//   infinities as NaN, Infinity, -Infinity.
#include <cmath>
#include <cstdlib>
#include <string>

#include "textio/decimal.h"
#include "textio/textio.h"

namespace qz5 {
namespace {

using textio_detail::decimal_digits;
using textio_detail::right_justify;

constexpr int kIntegerWidth = 11;
constexpr int kDoubleWidth = 24;
constexpr int kFloatWidth = 15;
constexpr int kDoubleDigits = 17;
constexpr int kFloatDigits = 9;

std::string real_text(double x, int n) {
  if (!std::isfinite(x)) return textio_detail::non_finite_text(x, 0);
  const auto dec = decimal_digits(x, n);
  const std::string sign = dec.negative ? "-" : "";
  if (x == 0.0) return "0." + std::string(static_cast<std::size_t>(n - 1), '0');
  const int e = dec.exponent;
  if (e == 0) return sign + "0." + dec.digits;
  if (e > 0 && e <= n) {
    const auto split = static_cast<std::size_t>(e);
    return sign + dec.digits.substr(0, split) + "." + dec.digits.substr(split);
  }
  const int exponent = e - 1;  // one digit before the point
  const int magnitude = std::abs(exponent);
  return sign + dec.digits.substr(0, 1) + "." + dec.digits.substr(1) + "E" +
         (exponent < 0 ? "-" : "+") + (magnitude < 10 ? "0" : "") + std::to_string(magnitude);
}

std::string number_field(const Item& item) {
  if (const auto* i = std::get_if<int>(&item)) return right_justify(std::to_string(*i), kIntegerWidth);
  if (const auto* d = std::get_if<double>(&item))
    return right_justify(real_text(*d, kDoubleDigits), kDoubleWidth);
  const float f = std::get<float>(item);
  return right_justify(real_text(static_cast<double>(f), kFloatDigits), kFloatWidth);
}

}  // namespace

std::string list_directed_line(std::span<const Item> items) {
  std::string line = " ";
  bool after_number = false;
  bool first = true;
  for (const Item& item : items) {
    if (const auto* text = std::get_if<std::string_view>(&item)) {
      if (after_number) line.push_back(' ');
      line += *text;
      after_number = false;
    } else {
      if (!first) line.push_back(' ');
      line += number_field(item);
      after_number = true;
    }
    first = false;
  }
  return line;
}

}  // namespace qz5
