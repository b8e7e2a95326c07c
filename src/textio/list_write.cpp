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
#include "textio/format_cache.h"
#include "textio/textio.h"

namespace qz5 {
namespace {

using textio_detail::append_right_justified;
using textio_detail::decimal_digits;
using textio_detail::FieldText;

constexpr int kIntegerWidth = 11;
constexpr int kDoubleWidth = 24;
constexpr int kFloatWidth = 15;
constexpr int kDoubleDigits = 17;
constexpr int kFloatDigits = 9;

void put_real(FieldText& text, double x, int n) {
  if (!std::isfinite(x)) return text.put(textio_detail::non_finite_text(x, 0));
  if (x == 0.0) {
    text.put("0.");
    return text.put_repeated('0', static_cast<std::size_t>(n - 1));
  }
  const auto dec = decimal_digits(x, n);
  const std::string_view digits = dec.digits();
  if (dec.negative) text.put('-');
  const int e = dec.exponent;
  if (e == 0) {
    text.put("0.");
    return text.put(digits);
  }
  if (e > 0 && e <= n) {
    const auto split = static_cast<std::size_t>(e);
    text.put(digits.substr(0, split));
    text.put('.');
    return text.put(digits.substr(split));
  }
  const int exponent = e - 1;  // one digit before the point
  text.put(digits.substr(0, 1));
  text.put('.');
  text.put(digits.substr(1));
  text.put('E');
  text.put(exponent < 0 ? '-' : '+');
  text.put_unsigned(static_cast<unsigned>(std::abs(exponent)), 2);
}

void append_number(std::string& out, const Item& item) {
  FieldText text;
  if (const auto* i = std::get_if<int>(&item)) {
    if (*i < 0) text.put('-');
    const long long wide = *i;
    text.put_unsigned(static_cast<unsigned long long>(wide < 0 ? -wide : wide), 1);
    return append_right_justified(out, text.view(), kIntegerWidth);
  }
  if (const auto* d = std::get_if<double>(&item)) {
    put_real(text, *d, kDoubleDigits);
    return append_right_justified(out, text.view(), kDoubleWidth);
  }
  put_real(text, static_cast<double>(std::get<float>(item)), kFloatDigits);
  append_right_justified(out, text.view(), kFloatWidth);
}

}  // namespace

namespace textio_detail {

void append_list_directed(std::string& out, std::span<const Item> items) {
  out.push_back(' ');
  bool after_number = false;
  bool first = true;
  for (const Item& item : items) {
    if (const auto* text = std::get_if<std::string_view>(&item)) {
      if (after_number) out.push_back(' ');
      out += *text;
      after_number = false;
    } else {
      if (!first) out.push_back(' ');
      append_number(out, item);
      after_number = true;
    }
    first = false;
  }
}

}  // namespace textio_detail

std::string list_directed_line(std::span<const Item> items) {
  std::string line;
  textio_detail::append_list_directed(line, items);
  return line;
}

}  // namespace qz5
