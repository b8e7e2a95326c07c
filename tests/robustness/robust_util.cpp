#include "robustness/robust_util.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <random>
#include <stdexcept>

namespace qz5::robust {

RunResult run_bounded(const fs::path& dir, const std::string& args, int seconds) {
  const char* exe = std::getenv("QZ5_EXE");
  if (exe == nullptr) throw std::runtime_error("QZ5_EXE is not set (run the tests through ctest)");
  const std::string cmd = "cd '" + dir.string() + "' && timeout -k 5 " + std::to_string(seconds) +
                          " '" + exe + "' " + args + " > console.txt 2>&1 < /dev/null";
  const int raw = std::system(cmd.c_str());
  RunResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.console = e2e::read_file(dir / "console.txt");
  return r;
}

void expect_clean_end(const RunResult& r, const std::string& what) {
  EXPECT_NE(r.status, kTimedOut) << what << ": the run did not end in time\n" << r.console;
  EXPECT_LT(r.status, 3) << what << ": unexpected exit status\n" << r.console;
  for (const char* mark : {"runtime error", "AddressSanitizer", "LeakSanitizer",
                           "internal error", "Segmentation", "terminate called"}) {
    EXPECT_EQ(r.console.find(mark), std::string::npos) << what << ": " << mark << "\n"
                                                        << r.console;
  }
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\n";
  return text;
}

std::string with_line(const std::string& text, int n, const std::string& replacement) {
  auto lines = split_lines(text);
  lines.at(static_cast<std::size_t>(n - 1)) = replacement;
  return join_lines(lines);
}

std::string first_lines(const std::string& text, int n) {
  auto lines = split_lines(text);
  lines.resize(static_cast<std::size_t>(n));
  return join_lines(lines);
}

std::string to_crlf(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string blanks_to_tabs(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c == ' ') c = '\t';
  }
  return out;
}

std::string garbage(std::size_t n, unsigned seed, bool text_only) {
  std::mt19937 rng(seed);
  std::string out;
  while (out.size() < n) {
    const auto c = static_cast<char>(rng() & 0xff);
    if (text_only && (c == '\n' || c == '\r' || c == '\0')) continue;
    out += c;
  }
  return out;
}

}  // namespace qz5::robust
