// Decimal digits of a double, shared by the edit descriptors and the
// free-form writer.
//
// Every number the program prints is first reduced to a fixed count of
// significant decimal digits, correctly rounded from the exact binary value
// (ties to even, as the C library does), and to its decimal exponent. The
// edit descriptors then only place those digits; rounding carries (99999.9 to
// five digits is 10000 with the exponent one higher) are settled here once.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <string>
#include <string_view>

namespace qz5::textio_detail {

// |x| = 0.d1 d2 ... dn × 10^exponent with d1 != 0, or all digits '0' and
// exponent 0 when x is zero. `negative` is true for x < 0 only (so -0.0 is
// written like 0.0). x must be finite; n must be 1..100. The digits live in
// the object itself: formatting a number allocates nothing.
struct Decimal {
  static constexpr int kMaxDigits = 100;

  bool negative = false;
  int exponent = 0;
  int count = 0;
  std::array<char, kMaxDigits> buffer{};

  std::string_view digits() const { return {buffer.data(), static_cast<std::size_t>(count)}; }
};
Decimal decimal_digits(double x, int n);

// The text of one field while it is composed (sign, digits, point,
// exponent), held on the stack. Its capacity covers every field the edit
// descriptors compose (at most 60 digits after the point, as many zeros under
// a scale factor, and a sign, a point and an exponent); appending beyond it is
// a programming error.
class FieldText {
 public:
  static constexpr std::size_t kCapacity = 160;

  void put(char c) { put_repeated(c, 1); }
  void put(std::string_view text) {
    assert(size_ + text.size() <= kCapacity);
    for (const char c : text) buffer_[size_++] = c;
  }
  void put_repeated(char c, std::size_t n) {
    assert(size_ + n <= kCapacity);
    for (std::size_t i = 0; i < n; ++i) buffer_[size_++] = c;
  }
  // The decimal digits of a non-negative value, at least `min_digits` of them
  // (leading zeros).
  void put_unsigned(unsigned long long value, int min_digits) {
    char digits[24];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    for (int i = n; i < min_digits; ++i) put('0');
    while (n > 0) put(digits[--n]);
  }
  std::string_view view() const { return {buffer_.data(), size_}; }
  int size() const { return static_cast<int>(size_); }

 private:
  std::array<char, kCapacity> buffer_;
  std::size_t size_ = 0;
};

// Appends `text` right-justified in `width` columns; text longer than the
// width is appended whole (callers decide what overflow means).
inline void append_right_justified(std::string& out, std::string_view text, int width) {
  const auto size = static_cast<int>(text.size());
  if (size < width) out.append(static_cast<std::size_t>(width - size), ' ');
  out.append(text);
}

// Right-justifies `text` in `width` columns; text longer than the width is
// returned unchanged (callers decide what overflow means).
std::string right_justify(const std::string& text, int width);

// Text of a NaN or an infinity ("NaN", "Infinity", "-Infinity", or the short
// "Inf"/"-Inf" when the long form exceeds `width`; `width` <= 0 means no
// limit).
std::string non_finite_text(double x, int width);

}  // namespace qz5::textio_detail
