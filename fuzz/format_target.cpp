// The formatting engine under fuzzing: arbitrary format strings over
// arbitrary items, and single descriptors checked against what they promise.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_targets.h"
#include "textio/textio.h"

namespace qz5::fuzz {
namespace {

class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  template <class T>
  T raw() {
    T value{};
    unsigned char buf[sizeof(T)] = {};
    for (auto& b : buf) b = byte();
    std::memcpy(&value, buf, sizeof(T));
    return value;
  }
  std::string_view text(std::size_t n) {
    n = std::min(n, size_ - std::min(pos_, size_));
    std::string_view s(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return s;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

[[noreturn]] void finding(const std::string& what) {
  // A broken promise of the engine: abort so that the fuzzer keeps the input.
  std::fprintf(stderr, "format_target: %s\n", what.c_str());
  std::abort();
}

// Formats the engine accepts can still ask for output of any size through
// repeat counts and widths; those are the program's own constants, never
// input, so the fuzzer keeps to counts of two digits and shallow nesting.
// Blanks inside a format are ignored by the engine ("8 227" is 8227), so
// they do not end a run of digits here either.
bool reasonable(std::string_view format) {
  int run = 0;
  int groups = 0;
  for (const char c : format) {
    if (c == ' ') continue;
    run = (c >= '0' && c <= '9') ? run + 1 : 0;
    if (run > 2) return false;
    groups += c == '(';
  }
  return groups <= 3;
}

void arbitrary_format(Bytes& in) {
  const std::size_t length = in.byte() % 48;
  const std::string format(in.text(length));
  if (!reasonable(format)) return;
  std::vector<std::string> texts;
  std::vector<Item> items;
  texts.reserve(8);
  for (int n = 0; n < 8 && !in.empty(); ++n) {
    switch (in.byte() % 4) {
      case 0: items.emplace_back(in.raw<int>()); break;
      case 1: items.emplace_back(in.raw<double>()); break;
      case 2: items.emplace_back(in.raw<float>()); break;
      default:
        texts.emplace_back(in.text(in.byte() % 100));
        items.emplace_back(std::string_view(texts.back()));
    }
  }
  try {
    (void)format_items(format, items);
    (void)list_directed_line(items);
  } catch (const std::logic_error&) {
    // A malformed format or an item of the wrong kind: a programming error,
    // reported as such.
  }
}

bool all_stars(const std::string& s) { return s.find_first_not_of('*') == std::string::npos; }

// Reads back a real written under E, D or G editing, in long double: a
// value near the top of the double range may round up past it (E16.1 of
// -1.5e308 is -.2+309), which a double cannot hold.
long double read_back(std::string s) {
  for (char& c : s) {
    if (c == 'D') c = 'E';
  }
  // A three-digit exponent stands without its letter: ".123+100".
  const auto sign = s.find_last_of("+-");
  if (sign != std::string::npos && sign > 0 && s.find('E') == std::string::npos &&
      s[sign - 1] != ' ')
    s.insert(sign, 1, 'E');
  return std::strtold(s.c_str(), nullptr);
}

void one_descriptor(Bytes& in) {
  const int kind = in.byte() % 5;
  const int w = 1 + in.byte() % 40;
  const int d = 1 + in.byte() % 20;
  if (kind == 4) {
    const int value = in.raw<int>();
    const std::string format = "(I" + std::to_string(w) + ")";
    const Formatted f = format_items(format, {value});
    if (static_cast<int>(f.text.size()) != w) finding(format + " width " + f.text);
    if (!all_stars(f.text) && std::atoll(f.text.c_str()) != value) finding(format + " value " + f.text);
    return;
  }
  const double x = in.raw<double>();
  const char letter = kind == 2 ? 'G' : kind == 1 ? 'D' : 'E';
  const bool scaled = kind == 3;
  const std::string format = std::string("(") + (scaled ? "1P," : "") + letter + std::to_string(w) +
                             "." + std::to_string(d) + ")";
  const Formatted f = format_items(format, {x});
  if (static_cast<int>(f.text.size()) != w) finding(format + " width [" + f.text + "]");
  if (!std::isfinite(x) || all_stars(f.text)) return;
  const long double back = read_back(f.text);
  // Rounding to d significant digits (d + 1 under 1P) moves a value by at
  // most half a unit in the last digit written.
  const int significant = scaled ? d + 1 : d;
  // Reading the text back rounds once more, to the 64 bits of a long double
  // (a relative 5.4e-20): allow for that with room to spare.
  const long double bound = (0.5L * std::pow(10.0L, 1 - significant) + 1e-18L) * std::fabs(x);
  if (std::fabs(back - x) > bound)
    finding(format + " read back " + f.text);
}

}  // namespace

int format_target(const std::uint8_t* data, std::size_t size) {
  Bytes in(data, size);
  if (in.byte() % 2 == 0) {
    arbitrary_format(in);
  } else {
    one_descriptor(in);
  }
  return 0;
}

Target target_named(std::string_view name) {
  struct Entry {
    std::string_view name;
    Target target;
  };
  static constexpr Entry kTargets[] = {
      {"read_list", read_list_target}, {"names", names_target},
      {"parameter", parameter_target}, {"output_times", output_times_target},
      {"boundary", boundary_target},   {"lateral", lateral_target},
      {"driver", driver_target},       {"profile", profile_target},
      {"format", format_target},       {"geometry", geometry_target},
      {"constituents", constituents_target}, {"command_line", command_line_target},
  };
  for (const Entry& e : kTargets) {
    if (e.name == name) return e.target;
  }
  return nullptr;
}

}  // namespace qz5::fuzz
