// Text input and output of the whole program.
//
// Every byte qz5 reads or writes passes through here: the console, the input
// files, the two run logs and the concentration output file. Routines name a
// destination by its unit number (5 console input, 6 console output, 1 the
// input file being read, 3 RESULT, 4 RUNINF, 10 the concentration file), and
// the Units object maps the numbers to streams. Tests build a Units on string
// streams and read back what was written.
//
// Formatted output is driven by format strings made of edit descriptors
// (1x, A, Aw, nH, 'text', Iw, Ew.d, Dw.d, 1P, Gw.d, $, r(...)); one engine
// interprets them all. Free-form (list-directed) reading follows the record
// rules: each read starts on a new line, continues over lines as needed and
// skips the rest of the line after its last value.
#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "textio/stop.h"

namespace qz5 {

inline constexpr int kUnitConsoleIn = 5;
inline constexpr int kUnitConsoleOut = 6;
inline constexpr int kUnitInput = 1;
inline constexpr int kUnitResult = 3;
inline constexpr int kUnitRuninf = 4;
inline constexpr int kUnitTxc = 10;

// One value handed to a write. A float is a value rounded to single precision
// and is written as such (formatted from the float's exact value).
using Item = std::variant<int, double, float, std::string_view>;
using Items = std::initializer_list<Item>;

// --- formatting engine -----------------------------------------------------

// Result of interpreting a format: the text of each record, joined by '\n',
// and whether the last record is to be ended ('$' suppresses the line end).
struct Formatted {
  std::string text;
  bool end_line = true;
};

// Interprets `format` (with its outer parentheses) over `items`. When the
// items outlast the format, a new record starts and the format is used again
// from the beginning. A malformed format is a programming error (assert).
Formatted format_items(std::string_view format, std::span<const Item> items);
Formatted format_items(std::string_view format, Items items);

// Writes under `format` into columns first..last (1-based, inclusive) of the
// text field, which is treated as one line of that length: filled from the
// left, padded with blanks, cut at its end. The rest of the field is untouched.
void write_into_field(std::string& field, std::size_t first, std::size_t last,
                      std::string_view format, Items items);
// The whole field.
void write_into_field(std::string& field, std::string_view format, Items items);

// Free-form (list-directed) rendering of one line: a leading blank, texts as
// they are, each number after at least one blank. A number is a blank and a
// right-justified field: integers 11 columns, doubles 24 (17 significant
// digits), floats 15 (9 significant digits); a text after a number gets one
// blank before it.
std::string list_directed_line(std::span<const Item> items);

// --- free-form reading -----------------------------------------------------

// A destination of a free-form read.
using ReadTarget = std::variant<int*, double*, bool*>;

enum class ReadStatus { kOk, kEndOfFile };

// How carefully free-form reads look at what they read. The legacy reading
// (kOff) takes whatever list-directed input allows; the careful modes also
// point out what valid list-directed input may hide: a record that goes on
// to the next line, a comma between two digits (a decimal comma read as two
// values), and a line holding more numbers than its record reads. kWarn
// writes a console line naming the file and the line for each; kError stops
// the run there instead (status 1).
enum class StrictReading { kOff, kWarn, kError };

// --- the unit table --------------------------------------------------------

class Units {
 public:
  // Console on the process's standard input and output.
  Units();
  // Console on the given streams (tests).
  Units(std::istream& console_in, std::ostream& console_out);
  ~Units();
  Units(const Units&) = delete;
  Units& operator=(const Units&) = delete;

  // Opens an existing file for reading on `unit`. A file that cannot be opened
  // stops the run (status 1) with a message naming the file.
  void open_existing(int unit, std::string_view name);
  // The same for the file at `path`, named `name` in every message (the name
  // as the input gave it, where path is that name resolved against a folder).
  void open_existing(int unit, const std::filesystem::path& path, std::string_view name);
  // Creates or replaces a file for writing on `unit`. Failure stops the run
  // (status 1) with a message naming the file.
  void open_new(int unit, std::string_view name);
  // The same for the file at `path`, named `name` in every message.
  void open_new(int unit, const std::filesystem::path& path, std::string_view name);
  // Closes the unit (flushing it); closing a unit that is not open does nothing.
  // A file whose last output cannot be written is closed all the same and
  // stops the run (status 1) with the message of a failed write naming the
  // file - unless a failed write on it was reported already.
  void close(int unit);
  // Closes every open file unit, whatever fails; the console stays. Never
  // throws: returns the stop of the first file that could not be completed
  // (as close would have thrown it), for the caller to report.
  [[nodiscard]] std::optional<Stop> close_all() noexcept;
  // Pushes the unit's buffered output to its file, so that what was written
  // so far survives a run that is killed. A failed flush stops the run
  // (status 1) with the message of a failed write naming the file.
  void flush(int unit);
  bool is_open(int unit) const;
  // Name of the file open on the unit ("" for the console), and the number of
  // the last line read from it (0 before the first read).
  std::string_view file_name(int unit) const;
  long line_number(int unit) const;

  // Writes one formatted record group to the unit, ending the line unless the
  // format holds '$'.
  void write_formatted(int unit, std::string_view format, Items items);
  void write_formatted(int unit, std::string_view format, std::span<const Item> items);
  // Writes one free-form line.
  void write_list(int unit, Items items);
  void write_list(int unit, std::span<const Item> items);
  // Writes the text and a line end as it stands.
  void write_line(int unit, std::string_view text);

  // Sets how carefully free-form reads check their records (kOff unless set).
  void set_strict_reading(StrictReading mode);

  // Free-form read of the targets, starting on a new line; values are
  // separated by blanks or tabs or by one comma (blanks around it allowed)
  // and may continue over lines (blank lines are passed over); the rest of
  // the last line is skipped, and a read of no targets passes over one line.
  // "r*c" stands for r copies of the value c, "r*" for r nulls, and so does
  // an empty place between two commas or a comma first in the read: a null
  // leaves its target as it was. A repeat count must be a positive integer
  // without sign. With `eof_allowed`,
  // an end of file met before every target is filled returns kEndOfFile (the
  // targets read so far are filled, the others untouched); without it, the
  // end of file stops the run naming the file. An unreadable value always
  // stops the run (status 1) naming the file, the line and the value.
  ReadStatus read_list(int unit, std::initializer_list<ReadTarget> targets,
                       bool eof_allowed = false);
  // The same for a number of targets known only at run time.
  ReadStatus read_list(int unit, std::span<const ReadTarget> targets, bool eof_allowed = false);
  // Reads one whole line into `field`, cut or blank-padded to `length`
  // characters ("(a)"). Returns kEndOfFile at the end of the file when
  // `eof_allowed`, else stops the run naming the file.
  ReadStatus read_line(int unit, std::string& field, std::size_t length,
                       bool eof_allowed = false);

  // The output stream of a unit (console or an open output file); a unit that
  // is not open for output is a programming error.
  std::ostream& output(int unit);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qz5
