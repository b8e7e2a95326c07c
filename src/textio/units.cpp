// The unit table and the record-level reads and writes on it.
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "textio/format_cache.h"
#include "textio/textio.h"
#include "textio/tokens.h"

namespace qz5 {
namespace {

struct Unit {
  std::string name;  // "" for the console
  std::istream* in = nullptr;
  std::ostream* out = nullptr;
  std::unique_ptr<std::ifstream> in_file;
  std::unique_ptr<std::ofstream> out_file;
  long line = 0;
  // A failed write or flush has been reported (the run is ending on it): the
  // close that follows must not report the same file again.
  bool failure_reported = false;
};

std::string display_name(const Unit& unit) {
  return unit.name.empty() ? std::string("standard input") : unit.name;
}

// Fixed-length file-name fields carry trailing blanks that are not part of
// the name.
std::string trimmed_name(std::string_view name) {
  const auto end = name.find_last_not_of(' ');
  return std::string(end == std::string_view::npos ? std::string_view{} : name.substr(0, end + 1));
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// One item of a free-form record: a value or a null, `count` times over.
// `token` is the item as written, for messages.
struct ListItem {
  std::string_view token;
  std::string_view value;  // empty for a null
  int count = 1;
  bool malformed = false;  // a repeat count that is not a positive integer
};

// "r*c" is r copies of c and "r*" r nulls, r a positive integer without sign;
// anything else is one value.
ListItem list_item(std::string_view token) {
  ListItem item{token, token};
  const std::size_t star = token.find('*');
  if (star == std::string_view::npos) return item;
  const std::string_view r = token.substr(0, star);
  item.value = token.substr(star + 1);
  item.malformed = r.empty() || r.find_first_not_of("0123456789") != std::string_view::npos ||
                   !textio_detail::parse_integer(r, item.count) || item.count < 1;
  return item;
}

// Cuts the items of a free-form read off its records. Blanks and tabs
// separate values; a comma with blanks around it is one separator; a comma
// that follows another comma (blanks and line ends between), or stands first
// in the read, marks a null. A line end after a comma is no null, so the
// first record may end in a comma before the values continue.
class ListScanner {
 public:
  // The next item of `line` from `pos`; false at the end of the line.
  bool next(std::string_view line, std::size_t& pos, ListItem& item) {
    for (;;) {
      while (pos < line.size() && is_blank(line[pos])) ++pos;
      if (pos >= line.size()) return false;
      if (line[pos] == ',') {
        ++pos;
        if (after_comma_) {
          item = ListItem{",", {}};
          return true;
        }
        after_comma_ = true;
        continue;
      }
      const std::size_t start = pos;
      while (pos < line.size() && !is_blank(line[pos]) && line[pos] != ',') ++pos;
      after_comma_ = false;
      item = list_item(line.substr(start, pos - start));
      return true;
    }
  }

 private:
  bool after_comma_ = true;  // a comma before any value is a null
};

const char* kind_of(const ReadTarget& target) {
  if (std::holds_alternative<int*>(target)) return "integer";
  if (std::holds_alternative<double*>(target)) return "real";
  return "logical";
}

// Stores the value in the target; false when it is not of the target's kind.
bool store(const ReadTarget& target, std::string_view value) {
  if (int* const* i = std::get_if<int*>(&target)) return textio_detail::parse_integer(value, **i);
  if (double* const* d = std::get_if<double*>(&target))
    return textio_detail::parse_real(value, **d);
  return textio_detail::parse_logical(value, *std::get<bool*>(target));
}

}  // namespace

struct Units::Impl {
  std::map<int, Unit> units;
  StrictReading strict = StrictReading::kOff;
  // Formats seen so far and the line being written, both kept from write to
  // write so that a repeated write allocates nothing.
  textio_detail::FormatCache formats;
  std::string line;

  Unit& unit(int number) {
    const auto it = units.find(number);
    if (it == units.end())
      throw std::logic_error("unit " + std::to_string(number) + " is not open");
    return it->second;
  }
  const Unit* find(int number) const {
    const auto it = units.find(number);
    return it == units.end() ? nullptr : &it->second;
  }

  Unit& input(int number) {
    Unit& u = unit(number);
    if (u.in == nullptr)
      throw std::logic_error("unit " + std::to_string(number) + " is not open for input");
    if (number == kUnitConsoleIn) flush_console();
    return u;
  }

  // A prompt written without a line end must be visible before the console
  // waits for the answer.
  void flush_console() {
    if (const Unit* out = find(kUnitConsoleOut)) out->out->flush();
  }

  // Reads the next line without its line end (LF or CRLF); false at the end
  // of the file.
  static bool next_line(Unit& u, std::string& line) {
    if (!std::getline(*u.in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++u.line;
    return true;
  }

  [[noreturn]] static void end_of_file(const Unit& u) {
    stop("Error reading file \"" + display_name(u) + "\": unexpected end of file after line " +
         std::to_string(u.line));
  }

  [[noreturn]] static void write_failed(Unit& u) {
    u.failure_reported = true;
    stop("Error writing file \"" + u.name + "\": cannot be written");
  }

  static void check_written(Unit& u) {
    if (u.out_file && !*u.out) write_failed(u);
  }
};

Units::Units() : Units(std::cin, std::cout) {}

Units::Units(std::istream& console_in, std::ostream& console_out) : impl_(std::make_unique<Impl>()) {
  impl_->units[kUnitConsoleIn].in = &console_in;
  impl_->units[kUnitConsoleOut].out = &console_out;
}

Units::~Units() {
  // A file that fails to flush here can only be left as it is (the program
  // closes the units itself and reports such failures).
  (void)close_all();
  impl_->flush_console();
}

void Units::open_existing(int unit, std::string_view name) {
  const std::string trimmed = trimmed_name(name);
  open_existing(unit, std::filesystem::path(trimmed), trimmed);
}

void Units::open_existing(int unit, const std::filesystem::path& path, std::string_view name) {
  if (unit == kUnitConsoleIn || unit == kUnitConsoleOut)
    throw std::logic_error("the console units cannot be reopened");
  close(unit);
  Unit u;
  u.name = std::string(name);
  std::error_code error;
  if (!std::filesystem::is_directory(path, error)) {
    u.in_file = std::make_unique<std::ifstream>(path, std::ios::binary);
  }
  if (!u.in_file || !u.in_file->is_open())
    stop("Error opening file \"" + u.name + "\": file not found or not readable");
  u.in = u.in_file.get();
  impl_->units[unit] = std::move(u);
}

void Units::open_new(int unit, std::string_view name) {
  const std::string trimmed = trimmed_name(name);
  open_new(unit, std::filesystem::path(trimmed), trimmed);
}

void Units::open_new(int unit, const std::filesystem::path& path, std::string_view name) {
  if (unit == kUnitConsoleIn || unit == kUnitConsoleOut)
    throw std::logic_error("the console units cannot be reopened");
  close(unit);
  Unit u;
  u.name = std::string(name);
  u.out_file = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
  if (!u.out_file->is_open()) stop("Error creating file \"" + u.name + "\": cannot be written");
  u.out = u.out_file.get();
  impl_->units[unit] = std::move(u);
}

void Units::close(int unit) {
  if (unit == kUnitConsoleIn || unit == kUnitConsoleOut) return;
  const auto it = impl_->units.find(unit);
  if (it == impl_->units.end()) return;
  Unit u = std::move(it->second);
  impl_->units.erase(it);
  if (u.out_file) {
    u.out_file->close();
    if (u.out_file->fail() && !u.failure_reported) Impl::write_failed(u);
  }
}

std::optional<Stop> Units::close_all() noexcept {
  // Close everything even if one file fails to flush, then hand back the
  // first failure. Nothing may escape: this runs on the way out of a run
  // that may already be ending on a failed write.
  std::optional<Stop> failure;
  while (true) {
    auto it = impl_->units.begin();
    while (it != impl_->units.end() &&
           (it->first == kUnitConsoleIn || it->first == kUnitConsoleOut))
      ++it;
    if (it == impl_->units.end()) break;
    try {
      close(it->first);  // removes the unit, also when it throws
    } catch (Stop& s) {
      if (!failure) failure = std::move(s);
    }
  }
  return failure;
}

void Units::flush(int unit) {
  output(unit).flush();
  Impl::check_written(impl_->unit(unit));
}

bool Units::is_open(int unit) const { return impl_->find(unit) != nullptr; }

std::string_view Units::file_name(int unit) const {
  const Unit* u = impl_->find(unit);
  return u == nullptr ? std::string_view{} : std::string_view(u->name);
}

long Units::line_number(int unit) const {
  const Unit* u = impl_->find(unit);
  return u == nullptr ? 0 : u->line;
}

std::ostream& Units::output(int unit) {
  Unit& u = impl_->unit(unit);
  if (u.out == nullptr)
    throw std::logic_error("unit " + std::to_string(unit) + " is not open for output");
  return *u.out;
}

void Units::write_formatted(int unit, std::string_view format, Items items) {
  write_formatted(unit, format, std::span<const Item>(items.begin(), items.size()));
}

void Units::write_formatted(int unit, std::string_view format, std::span<const Item> items) {
  std::ostream& out = output(unit);
  std::string& line = impl_->line;
  line.clear();
  if (impl_->formats.append(format, items, line)) line.push_back('\n');
  out << line;
  Impl::check_written(impl_->unit(unit));
}

void Units::write_list(int unit, Items items) {
  write_list(unit, std::span<const Item>(items.begin(), items.size()));
}

void Units::write_list(int unit, std::span<const Item> items) {
  std::ostream& out = output(unit);
  std::string& line = impl_->line;
  line.clear();
  textio_detail::append_list_directed(line, items);
  line.push_back('\n');
  out << line;
  Impl::check_written(impl_->unit(unit));
}

void Units::write_line(int unit, std::string_view text) {
  output(unit) << text << '\n';
  Impl::check_written(impl_->unit(unit));
}

void Units::set_strict_reading(StrictReading mode) { impl_->strict = mode; }

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The blank-separated word of `line` around position i.
std::string_view word_at(std::string_view line, std::size_t i) {
  std::size_t a = i, b = i;
  while (a > 0 && !is_blank(line[a - 1])) --a;
  while (b < line.size() && !is_blank(line[b])) ++b;
  return line.substr(a, b - a);
}

// What the careful modes find in one line a record was read from: a comma
// between two digits; on the record's last line, `rest` being where its
// values ended, a number after them.
void check_line(std::string_view line, std::size_t rest, bool last, std::vector<std::string>& found) {
  for (std::size_t i = 1; i + 1 < line.size(); ++i) {
    if (line[i] == ',' && is_digit(line[i - 1]) && is_digit(line[i + 1])) {
      found.push_back("a comma stands between two digits in \"" +
                      textio_detail::printable_token(word_at(line, i)) +
                      "\" (a decimal comma? it is read as two values)");
      break;
    }
  }
  if (!last) return;
  ListScanner scanner;
  ListItem item;
  // The separator after the record's last value is no null.
  std::size_t pos = rest;
  while (pos < line.size() && is_blank(line[pos])) ++pos;
  if (pos < line.size() && line[pos] == ',') ++pos;
  double value = 0.0;
  if (scanner.next(line, pos, item) && !item.value.empty() &&
      textio_detail::parse_real(item.value, value))
    found.push_back("the line holds more values than the record reads: \"" +
                    textio_detail::printable_token(item.token) + "\" and what follows are not read");
}

}  // namespace

ReadStatus Units::read_list(int unit, std::initializer_list<ReadTarget> targets,
                            bool eof_allowed) {
  return read_list(unit, std::span<const ReadTarget>(targets.begin(), targets.size()),
                   eof_allowed);
}

ReadStatus Units::read_list(int unit, std::span<const ReadTarget> targets, bool eof_allowed) {
  Unit& u = impl_->input(unit);
  auto target = targets.begin();
  std::string line;
  if (targets.size() == 0) {
    // A read of nothing still passes over one line.
    std::string skipped;
    return read_line(unit, skipped, 0, eof_allowed);
  }
  ListScanner scanner;
  ListItem item;
  auto unreadable = [&u, &item](const ReadTarget& t) {
    stop("Error reading file \"" + display_name(u) + "\", line " + std::to_string(u.line) +
         ": \"" + textio_detail::printable_token(item.token) + "\" is not a valid " + kind_of(t));
  };
  const bool careful = impl_->strict != StrictReading::kOff;
  long first_value_line = 0;
  std::vector<std::string> found;
  while (target != targets.end()) {
    if (!Impl::next_line(u, line)) {
      if (eof_allowed) return ReadStatus::kEndOfFile;
      Impl::end_of_file(u);
    }
    // Once every target is filled the rest of the line is skipped, repeats
    // beyond the last target included.
    std::size_t pos = 0;
    const auto before = target;
    while (target != targets.end() && scanner.next(line, pos, item)) {
      if (item.malformed) unreadable(*target);
      for (int n = 0; n < item.count && target != targets.end(); ++n, ++target) {
        // A null leaves its target as it was.
        if (!item.value.empty() && !store(*target, item.value)) unreadable(*target);
      }
    }
    if (!careful || target == before) continue;
    if (first_value_line == 0) {
      first_value_line = u.line;
    } else {
      found.push_back("the record begun on line " + std::to_string(first_value_line) +
                      " continues on this line");
    }
    check_line(line, pos, target == targets.end(), found);
    for (const std::string& f : found) {
      const std::string where =
          "file \"" + display_name(u) + "\", line " + std::to_string(u.line) + ": " + f;
      if (impl_->strict == StrictReading::kError) stop("Strict::Error, " + where, kExitBadInput);
      write_line(kUnitConsoleOut, " Strict::Warning, " + where);
    }
    found.clear();
  }
  return ReadStatus::kOk;
}


ReadStatus Units::read_line(int unit, std::string& field, std::size_t length, bool eof_allowed) {
  Unit& u = impl_->input(unit);
  std::string line;
  if (!Impl::next_line(u, line)) {
    if (eof_allowed) return ReadStatus::kEndOfFile;
    Impl::end_of_file(u);
  }
  line.resize(length, ' ');
  field = std::move(line);
  return ReadStatus::kOk;
}

}  // namespace qz5
