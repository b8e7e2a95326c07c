#include "driver/cli_options.h"

#include <charconv>
#include <string_view>

namespace qz5 {
namespace {

bool parse_count(std::string_view text, long& value) {
  const char* end = text.data() + text.size();
  const auto r = std::from_chars(text.data(), end, value);
  return r.ec == std::errc() && r.ptr == end && value > 0;
}

}  // namespace

std::string usage_text() {
  return R"(Usage: qz5 [options] [names-file]

Runs the qz5 advection-dispersion-reaction model on the scenario described by
the names file (asked for at the console when not given). Writes the
concentration file named in the names file (*.txc), and RESULT and RUNINF in
the working directory.

Options (before the names file):
  --geometry FILE      take the channel's cross-section area and dispersion from
                       FILE (a title line, then rows of position, area and
                       dispersion in file length units, their square, and their
                       square per day; linearly interpolated) instead of the
                       built-in laws of the bundled estuary
  --outflow fixed|free the second end holds the second boundary's
                       concentrations (fixed: an estuary mouth, the default) or
                       lets the water leave with the concentration it has (free:
                       the downstream end of a river reach)
  --no-legacy-limits   lift the fixed capacities of the legacy program (142 grid
                       points, 100 boundary time points, 10 lateral inputs and
                       time points, 200 output times); memory is the only limit
  --max-steps N        accepted integrator steps allowed between two output times
                       before the run ends as an integration failure (default
                       100 per grid point, at least 5000; the bundled scenario
                       needs at most 102)
  --help               print this text and exit
  --version            print the version and exit

Exit status:
  0  the run ended with "Ready"
  1  the run was stopped: bad input, a set-up failure, a fatal report
  2  the integration failed ("DASSL error"); every profile up to the failure
     is kept

Example:
  qz5 --geometry river.geo --outflow free river.fn)";
}

CliOptions parse_command_line(int argc, const char* const* argv) {
  CliOptions o;
  o.names_args.push_back(argc > 0 && argv[0] != nullptr ? argv[0] : "qz5");
  int i = 1;
  auto value_of = [&](std::string_view option) -> std::optional<std::string> {
    if (i + 1 >= argc || argv[i + 1] == nullptr) {
      o.error = std::string(option) + " needs a value";
      return std::nullopt;
    }
    return std::string(argv[++i]);
  };
  for (; i < argc && o.error.empty(); ++i) {
    const std::string_view a = argv[i] == nullptr ? "" : argv[i];
    const bool option = a.rfind("--", 0) == 0;
    if (o.names_args.size() > 1) {
      // Words after the names file were always ignored; an option there
      // would be ignored silently too, so it is refused.
      if (option) o.error = "options come before the names file: " + std::string(a);
      continue;
    }
    if (!option) {
      o.names_args.emplace_back(a);
      continue;
    }
    if (a == "--help") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--no-legacy-limits") {
      o.legacy_limits = false;
    } else if (a == "--geometry") {
      if (auto v = value_of(a)) o.geometry_file = *v;
    } else if (a == "--outflow") {
      if (auto v = value_of(a)) {
        if (*v == "free") {
          o.outflow = Outflow::kFree;
        } else if (*v == "fixed") {
          o.outflow = Outflow::kFixedConcentration;
        } else {
          o.error = "--outflow takes fixed or free, not " + *v;
        }
      }
    } else if (a == "--max-steps") {
      if (auto v = value_of(a)) {
        if (!parse_count(*v, o.max_steps_per_interval))
          o.error = "--max-steps takes a positive whole number, not " + *v;
      }
    } else {
      o.error = "unknown option " + std::string(a);
    }
  }
  return o;
}

}  // namespace qz5
