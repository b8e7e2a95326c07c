#include "input/series_checks.h"

#include "input/inputs.h"

#include <string>

namespace qz5 {

namespace {

// " <who>::Error, <what> in file <file>"
std::string error_line(std::string_view who, std::string_view what, std::string_view file) {
  std::string line(who);
  line += "::Error, ";
  line += what;
  line += " in file ";
  line += file;
  return line;
}

}  // namespace

void refuse_input(Units& io, std::string_view who, std::string_view what,
                  std::string_view file) {
  io.write_list(kUnitConsoleOut, {std::string_view(error_line(who, what, file))});
  stop();
}

void say_capacity_hint(Units& io, const ReaderOptions& options) {
  if (!options.capacity_hint.empty())
    io.write_list(kUnitConsoleOut, {std::string_view(options.capacity_hint)});
}

void refuse_capacity(Units& io, const ReaderOptions& options, std::string_view who,
                     std::string_view what, std::string_view file) {
  io.write_list(kUnitConsoleOut, {std::string_view(error_line(who, what, file))});
  say_capacity_hint(io, options);
  stop();
}

void require_ordered_times(Units& io, std::string_view who, std::string_view file,
                           const double* times, int n, int stride) {
  for (int i = 1; i < n; ++i) {
    const double before = times[(i - 1) * stride];
    const double after = times[i * stride];
    if (after < before) {
      const std::string what = "times decrease at time point " +
                               std::to_string(i + 1);
      refuse_input(io, who, what, file);
    }
  }
}

}  // namespace qz5
