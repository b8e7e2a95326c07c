// Shared fixtures of the input tests: a scratch directory for input files, a
// unit table whose console is a pair of string streams, and a way to run a
// piece of code that is expected to stop the run.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "input/inputs.h"
#include "textio/textio.h"

namespace qz5::testing {

// A fresh directory per test, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("qz5_input_" + std::to_string(rd()) + "_" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  // Writes `text` to file `name` in the directory; returns the full path.
  std::string write(const std::string& name, const std::string& text) const {
    const auto p = path_ / name;
    std::ofstream out(p, std::ios::binary);
    out << text;
    return p.string();
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Units with the console on string streams.
struct Console {
  std::istringstream in;
  std::ostringstream out;
  Units io{in, out};
  explicit Console(const std::string& typed = "") : in(typed) {}
  std::string text() const { return out.str(); }
  // Console lines, without their line ends.
  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    std::istringstream s(out.str());
    for (std::string line; std::getline(s, line);) result.push_back(line);
    return result;
  }
};

// Runs `body`; returns the Stop it threw, or nothing when it returned.
inline std::optional<Stop> stop_of(const std::function<void()>& body) {
  try {
    body();
  } catch (const Stop& s) {
    return s;
  }
  return std::nullopt;
}

// A file-name field as the names file leaves it: blank-padded to 80.
inline std::string name_field(const std::string& name) {
  std::string f = name.substr(0, kFileNameLength);
  f.resize(kFileNameLength, ' ');
  return f;
}

inline std::unique_ptr<Inputs> new_state() { return std::make_unique<Inputs>(); }

// A list-directed console line of one text, as every message line is written.
inline std::string msg(const std::string& text) { return " " + text; }

}  // namespace qz5::testing
