// The edit-descriptor engine: parses a format string into a small tree and
// walks it over the items, producing the text of each record.
#include <algorithm>
#include <cassert>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "textio/decimal.h"
#include "textio/format_cache.h"
#include "textio/textio.h"

namespace qz5 {
namespace {

using textio_detail::append_right_justified;
using textio_detail::decimal_digits;
using textio_detail::FieldText;

[[noreturn]] void bad_format(std::string_view format, std::string_view why) {
  throw std::logic_error("malformed format \"" + std::string(format) + "\": " + std::string(why));
}

enum class Kind {
  kGroup,      // r( ... )
  kLiteral,    // nH... or '...'
  kBlanks,     // nX
  kText,       // A or Aw
  kInteger,    // Iw or Iw.m
  kExponent,   // Ew.d or Dw.d (letter in `letter`)
  kGeneral,    // Gw.d
  kScale,      // kP
  kNoAdvance,  // $
  kNewRecord,  // /
};

struct Node {
  Kind kind = Kind::kLiteral;
  int repeat = 1;
  int w = 0;   // width (0 for A without width)
  int d = 0;   // digits after the point, or minimum digits for Iw.m
  char letter = 'E';
  std::string text;
  std::vector<Node> children;
};

bool is_data(Kind kind) {
  return kind == Kind::kText || kind == Kind::kInteger || kind == Kind::kExponent ||
         kind == Kind::kGeneral;
}

// Grammar (blanks are ignored everywhere except inside nH and '...' texts,
// commas between items are optional):
//   format := '(' list ')'
//   list   := { item [','] }
//   item   := [r] '(' list ')' | n 'H' <n chars> | ''' chars ''' | [n] 'X'
//           | [sign] k 'P' | [r] 'A' [w] | [r] 'I' w ['.' m]
//           | [r] ('E'|'D'|'G') w '.' d | '$' | '/'
class Parser {
 public:
  explicit Parser(std::string_view format) : f_(format) {}

  std::vector<Node> parse() {
    if (next_char() != '(') bad_format(f_, "must begin with '('");
    ++pos_;
    std::vector<Node> nodes = parse_list();
    ++pos_;  // the closing parenthesis
    if (next_char() != '\0') bad_format(f_, "text after the closing ')'");
    return nodes;
  }

 private:
  // The next non-blank character ('\0' at the end), without consuming it.
  char next_char() {
    while (pos_ < f_.size() && f_[pos_] == ' ') ++pos_;
    return pos_ < f_.size() ? f_[pos_] : '\0';
  }

  // An unsigned number (blanks between digits allowed), or -1 when none.
  int number() {
    if (!std::isdigit(static_cast<unsigned char>(next_char()))) return -1;
    long value = 0;
    while (std::isdigit(static_cast<unsigned char>(next_char()))) {
      value = value * 10 + (f_[pos_++] - '0');
      if (value > 100000) bad_format(f_, "number too large");
    }
    return static_cast<int>(value);
  }

  int required_number(std::string_view what) {
    const int value = number();
    if (value < 0) bad_format(f_, what);
    return value;
  }

  std::vector<Node> parse_list() {
    std::vector<Node> nodes;
    for (;;) {
      const char c = next_char();
      if (c == '\0') bad_format(f_, "missing ')'");
      if (c == ')') return nodes;
      if (c == ',') {
        ++pos_;
        continue;
      }
      nodes.push_back(parse_item());
    }
  }

  Node parse_item() {
    int sign = 1;
    if (next_char() == '-' || next_char() == '+') sign = f_[pos_++] == '-' ? -1 : 1;
    const int count = number();
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(next_char())));
    if (c == '\0') bad_format(f_, "missing ')'");
    ++pos_;
    if (sign < 0 && c != 'P') bad_format(f_, "sign outside a scale factor");
    if (count == 0 && c != 'P') bad_format(f_, "zero count");
    Node node;
    node.repeat = count > 0 ? count : 1;
    switch (c) {
      case '(':
        node.kind = Kind::kGroup;
        node.children = parse_list();
        ++pos_;
        return node;
      case 'H':
        return hollerith(count);
      case '\'':
      case '"':
        if (count >= 0) bad_format(f_, "count before a quoted text");
        return quoted(c);
      case 'X':
        node.kind = Kind::kBlanks;
        node.w = node.repeat;
        node.repeat = 1;
        return node;
      case 'P':
        if (count < 0) bad_format(f_, "P without a scale factor");
        node.kind = Kind::kScale;
        node.w = sign * count;
        node.repeat = 1;
        return node;
      case 'A':
        node.kind = Kind::kText;
        node.w = number();
        if (node.w == 0) bad_format(f_, "A0");
        if (node.w < 0) node.w = 0;  // A: the whole text
        return node;
      case 'I':
        node.kind = Kind::kInteger;
        node.w = required_number("I without a width");
        node.d = 1;  // Iw is Iw.1: at least one digit
        if (next_char() == '.') {
          ++pos_;
          node.d = required_number("I w. without a digit count");
        }
        if (node.w == 0) bad_format(f_, "I0");
        return node;
      case 'E':
      case 'D':
      case 'G':
        return real_descriptor(node, c);
      case '$':
        node.kind = Kind::kNoAdvance;
        node.repeat = 1;
        return node;
      case '/':
        node.kind = Kind::kNewRecord;
        return node;
      default:
        bad_format(f_, std::string("unknown descriptor '") + c + "'");
    }
  }

  Node hollerith(int count) {
    if (count <= 0) bad_format(f_, "H without a count");
    if (pos_ + static_cast<std::size_t>(count) > f_.size()) bad_format(f_, "H text runs past the end");
    Node node;
    node.kind = Kind::kLiteral;
    node.text = std::string(f_.substr(pos_, static_cast<std::size_t>(count)));
    pos_ += static_cast<std::size_t>(count);
    return node;
  }

  // A quoted text; a doubled quote inside stands for one quote.
  Node quoted(char quote) {
    Node node;
    node.kind = Kind::kLiteral;
    for (;;) {
      if (pos_ >= f_.size()) bad_format(f_, "unterminated quoted text");
      const char c = f_[pos_++];
      if (c != quote) {
        node.text.push_back(c);
      } else if (pos_ < f_.size() && f_[pos_] == quote) {
        node.text.push_back(quote);
        ++pos_;
      } else {
        return node;
      }
    }
  }

  Node real_descriptor(Node node, char letter) {
    node.kind = letter == 'G' ? Kind::kGeneral : Kind::kExponent;
    node.letter = letter;
    node.w = required_number("real descriptor without a width");
    if (next_char() != '.') bad_format(f_, "real descriptor without '.d'");
    ++pos_;
    node.d = required_number("real descriptor without d");
    if (node.w == 0 || node.d == 0 || node.d > 60) bad_format(f_, "unsupported w.d");
    return node;
  }

  std::string_view f_;
  std::size_t pos_ = 0;
};

void append_stars(std::string& out, int w) { out.append(static_cast<std::size_t>(w), '*'); }

// Iw.m: at least m digits, right-justified, w asterisks when it does not fit.
// Iw.0 of zero is all blanks.
void append_integer(std::string& out, int value, int w, int m) {
  const std::int64_t wide = value;
  const auto magnitude = static_cast<unsigned long long>(wide < 0 ? -wide : wide);
  int digits = 1;
  for (unsigned long long rest = magnitude / 10; rest != 0; rest /= 10) ++digits;
  const int shown = (m == 0 && value == 0) ? 0 : std::max(digits, m);
  const int size = shown + (value < 0 ? 1 : 0);
  if (size > w) return append_stars(out, w);
  out.append(static_cast<std::size_t>(w - size), ' ');
  if (value < 0) out.push_back('-');
  if (shown == 0) return;
  out.append(static_cast<std::size_t>(shown - digits), '0');
  FieldText text;
  text.put_unsigned(magnitude, 1);
  out.append(text.view());
}

// A NaN or an infinity under a real descriptor: its text right-justified,
// or w asterisks when even the short form is wider than the field (a field
// never grows, or the columns of a table would shift).
void append_non_finite(std::string& out, double x, int w) {
  const std::string text = textio_detail::non_finite_text(x, w);
  if (static_cast<int>(text.size()) > w) return append_stars(out, w);
  append_right_justified(out, text, w);
}

// Ew.d / Dw.d under scale factor k. With k <= 0 the digits follow the point
// (after -k zeros), d + k of them; with k > 0, k digits stand before the
// point and d - k + 1 after it. The exponent is the 0.d1d2... exponent minus
// k. No zero is written before the point. Three-digit exponents drop the
// letter; beyond that the field is all asterisks.
void append_exponent(std::string& out, double x, int w, int d, int k, char letter) {
  if (!std::isfinite(x)) return append_non_finite(out, x, w);
  if (k <= -d || k >= d + 2) return append_stars(out, w);
  const int significant = k > 0 ? d + 1 : d + k;
  const auto dec = decimal_digits(x, significant);
  const std::string_view digits = dec.digits();
  FieldText text;
  if (dec.negative) text.put('-');
  if (k > 0) {
    text.put(digits.substr(0, static_cast<std::size_t>(k)));
    text.put('.');
    text.put(digits.substr(static_cast<std::size_t>(k)));
  } else {
    text.put('.');
    text.put_repeated('0', static_cast<std::size_t>(-k));
    text.put(digits);
  }
  const int exponent = x == 0.0 ? 0 : dec.exponent - k;
  const int magnitude = exponent < 0 ? -exponent : exponent;
  const char sign = exponent < 0 ? '-' : '+';
  if (magnitude <= 99) {
    text.put(letter);
    text.put(sign);
    text.put_unsigned(static_cast<unsigned>(magnitude), 2);
  } else if (magnitude <= 999) {
    text.put(sign);
    text.put_unsigned(static_cast<unsigned>(magnitude), 1);
  } else {
    return append_stars(out, w);
  }
  if (text.size() > w) return append_stars(out, w);
  append_right_justified(out, text.view(), w);
}

// Gw.d: the value rounded to d significant digits decides the form. With
// 10^(e-1) <= rounded < 10^e and 0 <= e <= d it is written in fixed point
// with d - e digits after the point, in w - 4 columns followed by 4 blanks
// (zero counts as e = 0); otherwise as Ew.d under the current scale factor.
void append_general(std::string& out, double x, int w, int d, int k) {
  if (!std::isfinite(x)) return append_non_finite(out, x, w);
  const auto dec = decimal_digits(x, d);
  if (dec.exponent < 0 || dec.exponent > d) return append_exponent(out, x, w, d, k, 'E');
  const auto e = static_cast<std::size_t>(dec.exponent);
  const std::string_view digits = dec.digits();
  FieldText text;
  if (dec.negative) text.put('-');
  text.put(digits.substr(0, e));
  text.put('.');
  text.put(digits.substr(e));
  if (text.size() > w - 4) return append_stars(out, w);
  append_right_justified(out, text.view(), w - 4);
  out.append(4, ' ');
}

// A(w): the whole text, or exactly w characters: cut to its first w, or
// padded with blanks on the right. Text items stand for fixed-length,
// blank-padded fields whose trailing blanks callers may leave off, so the
// padding goes where the field's own blanks would be.
void append_text(std::string& out, std::string_view text, int w) {
  if (w == 0) {
    out.append(text);
    return;
  }
  const std::string_view shown = text.substr(0, static_cast<std::size_t>(w));
  out.append(shown);
  out.append(static_cast<std::size_t>(w) - shown.size(), ' ');
}

double real_value(const Item& item) {
  if (const auto* d = std::get_if<double>(&item)) return *d;
  if (const auto* f = std::get_if<float>(&item)) return static_cast<double>(*f);
  throw std::logic_error("a real edit descriptor was given a non-real item");
}

// Walks a parsed format over the items, appending the records to `out`.
class Writer {
 public:
  Writer(std::span<const Item> items, std::string& out) : items_(items), out_(out) {}

  // One pass over the format; false when it stopped at a data descriptor for
  // want of items.
  bool run(const std::vector<Node>& nodes) {
    for (const Node& node : nodes) {
      for (int r = 0; r < node.repeat; ++r) {
        if (!apply(node)) return false;
      }
    }
    return true;
  }

  bool items_left() const { return next_ < items_.size(); }
  bool consumed_any() const { return consumed_; }
  bool end_line() const { return end_line_; }
  void new_record() { out_.push_back('\n'); }

 private:
  bool apply(const Node& node) {
    if (node.kind == Kind::kGroup) return run(node.children);
    if (is_data(node.kind)) {
      if (!items_left()) return false;
      consumed_ = true;
      edit(node, items_[next_++]);
      return true;
    }
    switch (node.kind) {
      case Kind::kLiteral:
        out_ += node.text;
        break;
      case Kind::kBlanks:
        out_.append(static_cast<std::size_t>(node.w), ' ');
        break;
      case Kind::kScale:
        scale_ = node.w;  // stays in force for the rest of the format
        break;
      case Kind::kNoAdvance:
        end_line_ = false;
        break;
      case Kind::kNewRecord:
        new_record();
        break;
      default:
        assert(false);
    }
    return true;
  }

  void edit(const Node& node, const Item& item) {
    switch (node.kind) {
      case Kind::kText:
        if (const auto* s = std::get_if<std::string_view>(&item))
          return append_text(out_, *s, node.w);
        throw std::logic_error("an A edit descriptor was given a non-text item");
      case Kind::kInteger:
        if (const auto* i = std::get_if<int>(&item))
          return append_integer(out_, *i, node.w, node.d);
        throw std::logic_error("an I edit descriptor was given a non-integer item");
      case Kind::kExponent:
        return append_exponent(out_, real_value(item), node.w, node.d, scale_, node.letter);
      default:
        return append_general(out_, real_value(item), node.w, node.d, scale_);
    }
  }

  std::span<const Item> items_;
  std::string& out_;
  std::size_t next_ = 0;
  bool consumed_ = false;
  bool end_line_ = true;
  int scale_ = 0;
};

// Appends the records of the parsed format over the items; returns whether
// the last record is to be ended.
bool append_records(std::string_view format, const std::vector<Node>& nodes,
                    std::span<const Item> items, std::string& out) {
  Writer writer(items, out);
  while (writer.run(nodes) && writer.items_left()) {
    // Items remain at the end of the format: a new record, the format again.
    if (!writer.consumed_any()) bad_format(format, "items given to a format without data descriptors");
    writer.new_record();
  }
  return writer.end_line();
}

}  // namespace

namespace textio_detail {

struct FormatCache::Entry {
  std::string format;
  std::vector<Node> nodes;
};

FormatCache::FormatCache() = default;
FormatCache::~FormatCache() = default;

bool FormatCache::append(std::string_view format, std::span<const Item> items, std::string& out) {
  // The program writes a handful of distinct formats, most of them once per
  // step or per grid point: a short search by content finds them.
  const Entry* found = nullptr;
  for (const Entry& entry : entries_) {
    if (entry.format == format) {
      found = &entry;
      break;
    }
  }
  if (found == nullptr) {
    std::vector<Node> nodes = Parser(format).parse();
    entries_.push_back(Entry{std::string(format), std::move(nodes)});
    found = &entries_.back();
  }
  return append_records(format, found->nodes, items, out);
}

}  // namespace textio_detail

Formatted format_items(std::string_view format, std::span<const Item> items) {
  const std::vector<Node> nodes = Parser(format).parse();
  Formatted formatted;
  formatted.end_line = append_records(format, nodes, items, formatted.text);
  return formatted;
}

Formatted format_items(std::string_view format, Items items) {
  return format_items(format, std::span<const Item>(items.begin(), items.size()));
}

void write_into_field(std::string& field, std::size_t first, std::size_t last,
                      std::string_view format, Items items) {
  if (first < 1 || first > last || last > field.size())
    throw std::logic_error("write_into_field: columns outside the field");
  const Formatted formatted = format_items(format, items);
  if (formatted.text.find('\n') != std::string::npos)
    throw std::logic_error("write_into_field: a text field holds a single record");
  std::string text = formatted.text;
  text.resize(last - first + 1, ' ');
  field.replace(first - 1, text.size(), text);
}

void write_into_field(std::string& field, std::string_view format, Items items) {
  if (field.empty()) throw std::logic_error("write_into_field: empty field");
  write_into_field(field, 1, field.size(), format, items);
}

}  // namespace qz5
