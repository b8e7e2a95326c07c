// Framed error reports of the integrator.
//
// XERMSG prints a report in a fixed framed layout on standard output (unit 6)
// and, for a fatal report, ends the run through the stop mechanism. It keeps
// no state between calls: no message counting and no print control beyond the
// fixed level 1.
#pragma once

#include <string_view>

#include "textio/textio.h"

namespace qz5 {

// Prints the report. SEVERITY -1 or 0 informative, 1 potentially recoverable,
// 2 fatal: the report is printed and the run stops (throws Stop, status 1).
// An ERRNUM outside -9999999..99999999, ERRNUM 0 or a SEVERITY outside -1..2
// prints a fixed fatal text and stops.
void XERMSG(Units& io, std::string_view LIBNAME, std::string_view ROUTINE, std::string_view MSG,
            int ERRNUM, int SEVERITY);

// Prints MSG, broken into lines of at most WIDTH (clamped to 16..132)
// characters at blanks or at "$$" marks, each line preceded by the prefix.
// PREFIX_LEN < 0: the whole prefix; 0: none; else that many characters; never
// more than 16.
void ERR_PRINT(Units& io, std::string_view PREFIX, int PREFIX_LEN, std::string_view MSG, int WIDTH);

// Ends the run with a stop without text; the argument is not printed.
[[noreturn]] void ERR_HALT(std::string_view text);

// The unit of standard output, whatever the argument.
int MACHINE_UNIT(int i);

}  // namespace qz5
