// Checks shared by the loaders of the tabulated series.
#pragma once

#include <string_view>

#include "textio/textio.h"

namespace qz5 {

// Stops the run, naming the routine and the file, unless the n times
// times[0], times[stride], ... strictly increase: interpolating across two
// equal times would divide by zero, and decreasing ones find no interval.
void require_increasing_times(Units& io, std::string_view who, std::string_view file,
                              const double* times, int n, int stride = 1);

// Writes the console line " <who>::Error, <what> in file <file>" and stops the
// run (status 1) with the default stop text.
[[noreturn]] void refuse_input(Units& io, std::string_view who, std::string_view what,
                               std::string_view file);

}  // namespace qz5
