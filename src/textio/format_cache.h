// Formatted writing without allocation, for the unit table.
//
// The driver writes a progress line after every integrator step and a
// formatted line per grid point at every output time, always with the same
// few formats. Parsing a format each time, and building each field and line
// in a fresh string, would allocate all the time in the stepping loop. A
// FormatCache parses each distinct format once and keeps it; the fields are
// composed on the stack and appended to a buffer the caller reuses, so once a
// format has been seen a write of it allocates nothing (as long as the
// buffer's capacity suffices, which it does after the first line of a kind).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "textio/textio.h"

namespace qz5::textio_detail {

class FormatCache {
 public:
  FormatCache();
  ~FormatCache();
  FormatCache(const FormatCache&) = delete;
  FormatCache& operator=(const FormatCache&) = delete;

  // Appends the records of `format` over `items` to `out`, separated by
  // '\n' exactly as format_items would produce them; returns false when the
  // format holds '$' (the last record is not to be ended). A format is parsed
  // the first time it is seen (a malformed one throws std::logic_error, as in
  // format_items, and is not kept).
  bool append(std::string_view format, std::span<const Item> items, std::string& out);

 private:
  struct Entry;
  std::vector<Entry> entries_;
};

// Appends one free-form line (without its line end) to `out`: the text
// list_directed_line returns.
void append_list_directed(std::string& out, std::span<const Item> items);

}  // namespace qz5::textio_detail
