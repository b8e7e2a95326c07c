// Fuzz targets of the options and tables the command line takes: the
// channel geometry reader, the constituent list and the command line itself.
//
// Besides ending in a Stop or a refusal only, each checks what an accepted
// input promises: a geometry table read is one check_geometry accepts and
// whose interpolated area and dispersion are positive and finite everywhere
// inside it; a constituent list accepted holds distinct plain names none of
// which the result files use themselves; a command line accepted names no
// result file twice. A broken promise aborts, which the fuzzer reports.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/cli_options.h"
#include "fuzz_targets.h"
#include "input/channel_geometry.h"
#include "model/channel.h"
#include "results/constituents.h"
#include "results/file_clash.h"
#include "textio/textio.h"

namespace qz5::fuzz {
namespace {

std::string scratch_file(const char* tag, const std::uint8_t* data, std::size_t size) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("qz5_fuzz_" + std::to_string(::getpid()) + "_" + tag))
                               .string();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

void require(bool promise) {
  if (!promise) std::abort();
}

bool positive_finite(double v) { return std::isfinite(v) && v > 0.0; }

// Positions inside [a, b] where rounding is most likely to go wrong: the
// ends, just inside them, and a few fractions between.
std::vector<double> probes(double a, double b) {
  std::vector<double> xs = {a, std::nextafter(a, b), b, std::nextafter(b, a)};
  for (const double f : {1e-17, 0.25, 0.5, 0.75, 1.0 - 1e-16}) xs.push_back(a + (b - a) * f);
  return xs;
}

}  // namespace

int geometry_target(const std::uint8_t* data, std::size_t size) {
  const std::string path = scratch_file("geo", data, size);
  std::istringstream in;
  std::ostringstream out;
  Units io(in, out);
  ChannelGeometry g;
  try {
    g = read_geometry_file(io, kUnitInput, path);
  } catch (const Stop&) {
    return 0;
  }
  require(check_geometry(g).empty());
  const Channel channel(&g);
  for (int i = 0; i + 1 < g.rows(); ++i) {
    for (const double x : probes(g.x[i], g.x[i + 1])) {
      if (!(x >= g.x[i] && x <= g.x[i + 1])) continue;
      require(positive_finite(channel.area(x)));
      require(positive_finite(channel.dispersion(x, 0.0)));
    }
  }
  return 0;
}

int constituents_target(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static const std::set<std::string_view> kLayout = {
      "time", "x", "point", "station", "station_time", "station_x", "interval",
      "interval_bounds", "nv", "term", "term_name", "member"};
  for (const results::ConstituentList& l :
       {results::parse_constituents(text),
        results::read_constituents("@" + scratch_file("names", data, size))}) {
    if (!l.error.empty()) continue;
    std::set<std::string> seen;
    for (const results::ConstituentInfo& c : l.items) {
      require(!c.name.empty() && c.name.size() <= 248 && std::isalpha(static_cast<unsigned char>(c.name[0])));
      require(kLayout.count(c.name) == 0 && c.name.rfind("station_", 0) != 0 &&
              c.name.rfind("budget_", 0) != 0);
      require(seen.insert(c.name).second);
      require(!c.unit.empty());
    }
    const results::ConstituentList six = results::complete_constituents(l.items, 6);
    if (six.error.empty()) require(six.items.size() == 6);
  }
  return 0;
}

int command_line_target(const std::uint8_t* data, std::size_t size) {
  // The bytes are the words of the command line, separated by NUL.
  std::vector<std::string> words = {"qz5"};
  std::string word;
  for (std::size_t i = 0; i < size && words.size() < 40; ++i) {
    if (data[i] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[i]);
    }
  }
  words.push_back(word);
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  const CliOptions o = parse_command_line(static_cast<int>(argv.size()), argv.data());
  if (!o.error.empty() || o.help || o.version) return 0;
  // Accepted: no empty result-file name, no two files the same.
  require(results::find_file_clash(result_file_roles(o)).empty());
  for (const std::string* f : {&o.netcdf_file, &o.stations_csv, &o.budget_file, &o.geometry_file})
    require(f->rfind("--", 0) != 0);
  require(o.names_args.size() <= 2);
  return 0;
}

}  // namespace qz5::fuzz
