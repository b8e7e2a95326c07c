// Shared helpers of the robustness tests: bounded runs of the executable and
// small text surgery on the files a Scenario writes.
//
// Every run here goes through `timeout`, so a hang shows up as a failed test
// (status 124) instead of a stuck suite, and every outcome is checked for the
// marks of a crash or a sanitizer report.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/scenario.h"

namespace qz5::robust {

namespace fs = std::filesystem;
using e2e::RunResult;
using e2e::Scenario;

inline constexpr int kTimedOut = 124;  // status of `timeout` when the limit is hit

// Runs the executable in `dir` with `args`, killed after `seconds`.
RunResult run_bounded(const fs::path& dir, const std::string& args = "run.fn", int seconds = 20);

// Adds a failure naming `what` when the run crashed, hung, was killed by a
// signal, printed a sanitizer report or fell into the internal-error catch.
void expect_clean_end(const RunResult& r, const std::string& what);

// Lines of `text` split at '\n' (a final line without a line end counts).
std::vector<std::string> split_lines(const std::string& text);
std::string join_lines(const std::vector<std::string>& lines);

// The text with line n (1-based) replaced by `replacement`.
std::string with_line(const std::string& text, int n, const std::string& replacement);
// The first n lines of the text, each with its line end.
std::string first_lines(const std::string& text, int n);
// Every "\n" turned into "\r\n".
std::string to_crlf(const std::string& text);
// Every blank between values turned into a tab.
std::string blanks_to_tabs(const std::string& text);

// `n` pseudo-random bytes from a fixed seed; with `text_only`, bytes that end
// a line or a C string are left out.
std::string garbage(std::size_t n, unsigned seed, bool text_only = false);

}  // namespace qz5::robust
