// Checks shared by the loaders of the tabulated series.
#pragma once

#include "input/reader_options.h"

#include <string_view>

#include "textio/textio.h"

namespace qz5 {

// Stops the run, naming the routine, the file and the first time point that
// comes before its predecessor, unless the n times times[0], times[stride],
// ... never decrease: a decreasing time leaves a span of time with no
// interval, while a time written twice is a step change, which the look-up
// resolves (see INTERPOLATE).
void require_ordered_times(Units& io, std::string_view who, std::string_view file,
                           const double* times, int n, int stride = 1);

// Writes the console line " <who>::Error, <what> in file <file>" and stops the
// run (status 1) with the default stop text.
[[noreturn]] void refuse_input(Units& io, std::string_view who, std::string_view what,
                               std::string_view file);

struct Inputs;

// After a refusal for a legacy capacity: the line saying how to lift it, when
// the reader has one (options.capacity_hint).
void say_capacity_hint(Units& io, const ReaderOptions& options);

// refuse_input for a legacy capacity: the refusal, the hint, the stop.
[[noreturn]] void refuse_capacity(Units& io, const ReaderOptions& options, std::string_view who,
                                  std::string_view what, std::string_view file);

}  // namespace qz5
