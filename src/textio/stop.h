// The one way the program ends early.
//
// Library code never calls exit: it throws a Stop carrying the stop text and
// the exit status. main() catches it, writes the text as one line to standard
// output, closes every open unit (so files are flushed and complete) and
// returns the status. Tests catch the Stop and assert its text and status
// without ending the test process.
#pragma once

#include <string>
#include <string_view>

namespace qz5 {

// Exit statuses seen by a calling script.
inline constexpr int kExitReady = 0;        // normal end, "Ready"
inline constexpr int kExitBadInput = 1;     // bad input, set-up failure, fatal error report
inline constexpr int kExitDasslError = 2;   // integration failed, "DASSL error"

// Text written by a stop that was given none.
inline constexpr std::string_view kDefaultStopText = "Stop - Program terminated.";

struct Stop {
  std::string text;  // the line written to standard output when the program ends
  int status;        // the exit status
};

// Ends the run: throws Stop{text, status}. An empty text becomes
// kDefaultStopText.
[[noreturn]] void stop(std::string_view text = {}, int status = kExitBadInput);

}  // namespace qz5
