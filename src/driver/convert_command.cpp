#include "driver/convert_command.h"

#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "scenario_file/to_engine.h"
#include "scenario_file/toml_reader.h"
#include "scenario_file/writers.h"

namespace qz5 {
namespace {

namespace fs = std::filesystem;
namespace sf = scenario_file;

constexpr const char* kConvertUsage =
    "Usage: qz5 convert [--kinetics FILE] [--geometry FILE] [--outflow fixed|free]\n"
    "                   [--constituents SPEC] [--strict[=error]] names-file scenario.toml\n"
    "       qz5 convert scenario.toml legacy-folder";

constexpr const char* kConvertHelp =
    "\n"
    "Writes the scenario file of a legacy names file, with its tables as CSV files\n"
    "beside it, or the legacy files of a scenario file (and prints the command that\n"
    "runs them). A run of either gives the same .txc as a run of the other.\n"
    "\n"
    "  --kinetics FILE      the legacy run's declared kinetics; the scenario file\n"
    "                       written names it by its path from its own folder\n"
    "  --geometry FILE      the channel table the legacy run takes\n"
    "  --outflow fixed|free the second end's condition the legacy run takes\n"
    "  --constituents SPEC  names and units of the built-in kinetics' constituents\n"
    "  --strict[=error]     warn about (or refuse) suspect records of the legacy files";

struct ConvertArgs {
  bool help = false;
  sf::LegacyRunOptions legacy;
  StrictReading strict = StrictReading::kOff;
  std::vector<std::string> files;
  std::string error;
};

ConvertArgs parse(int argc, const char* const* argv) {
  ConvertArgs a;
  for (int i = 1; i < argc && a.error.empty(); ++i) {
    const std::string_view w = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        a.error = std::string(w) + " needs a value";
        return {};
      }
      return argv[++i];
    };
    if (w == "--help" || w == "-h") {
      a.help = true;
      return a;
    } else if (w == "--geometry") {
      a.legacy.geometry_file = value();
    } else if (w == "--constituents") {
      a.legacy.constituents = value();
    } else if (w == "--outflow") {
      const std::string v = value();
      if (v == "free") {
        a.legacy.outflow = Outflow::kFree;
      } else if (v != "fixed" && a.error.empty()) {
        a.error = "--outflow takes fixed or free, not " + v;
      }
    } else if (w == "--kinetics") {
      a.legacy.kinetics_file = value();
    } else if (w == "--strict" || w == "--strict=warn") {
      a.strict = StrictReading::kWarn;
    } else if (w == "--strict=error") {
      a.strict = StrictReading::kError;
    } else if (w.rfind("--", 0) == 0) {
      a.error = "unknown option " + std::string(w);
    } else {
      a.files.emplace_back(w);
    }
  }
  if (a.error.empty() && a.files.size() != 2) a.error = "convert takes two files: FROM TO";
  if (a.error.empty() && !a.legacy.kinetics_file.empty() && !a.legacy.constituents.empty())
    a.error = "--constituents cannot be used with --kinetics: the kinetics file names the constituents";
  return a;
}

void legacy_to_scenario(Units& io, const ConvertArgs& a) {
  const sf::ScenarioDocument d = sf::document_from_legacy(io, a.files[0], a.legacy);
  const std::vector<fs::path> written = sf::write_scenario_files(d, a.files[1]);
  io.write_list(kUnitConsoleOut, {" "});
  io.write_list(kUnitConsoleOut, {"Scenario file written: ", written.front().string()});
  for (std::size_t i = 1; i < written.size(); ++i)
    io.write_list(kUnitConsoleOut, {"   table: ", written[i].string()});
}

void scenario_to_legacy(Units& io, const ConvertArgs& a) {
  if (!a.legacy.geometry_file.empty() || a.legacy.outflow != Outflow::kFixedConcentration ||
      !a.legacy.constituents.empty() || !a.legacy.kinetics_file.empty())
    stop("qz5 convert: a scenario file holds its channel, constituents and kinetics itself", kExitBadInput);
  const sf::ScenarioDocument d = sf::read_scenario_document(a.files[0]);
  const sf::LegacyFiles out = sf::write_legacy_files(d, a.files[1]);
  io.write_list(kUnitConsoleOut, {" "});
  io.write_list(kUnitConsoleOut, {"Legacy files written to: ", a.files[1]});
  for (const fs::path& p : out.written) io.write_list(kUnitConsoleOut, {"   ", p.filename().string()});
  io.write_list(kUnitConsoleOut, {"Run them in that folder with: ", out.command});
  if (!out.notes.empty()) io.write_list(kUnitConsoleOut, {"Not in the legacy files:"});
  for (const std::string& n : out.notes) io.write_list(kUnitConsoleOut, {"   ", n});
}

}  // namespace

int run_convert(Units& io, int argc, const char* const* argv, const fs::path& folder) {
  ConvertArgs a = parse(argc, argv);
  if (a.help) {
    io.write_line(kUnitConsoleOut, kConvertUsage);
    io.write_line(kUnitConsoleOut, kConvertHelp);
    return 0;
  }
  if (!a.error.empty()) {
    io.write_line(kUnitConsoleOut, "qz5 convert: " + a.error);
    io.write_line(kUnitConsoleOut, kConvertUsage);
    return kExitBadInput;
  }
  io.set_strict_reading(a.strict);
  const auto in_folder = [&folder](const std::string& name) {
    const fs::path p(name);
    return p.is_absolute() || folder.empty() ? name : (folder / p).string();
  };
  for (std::string& f : a.files) f = in_folder(f);
  if (!a.legacy.geometry_file.empty()) a.legacy.geometry_file = in_folder(a.legacy.geometry_file);
  if (!a.legacy.kinetics_file.empty()) a.legacy.kinetics_file = in_folder(a.legacy.kinetics_file.string());
  a.legacy.base_folder = folder;
  try {
    if (sf::is_scenario_file(a.files[0])) {
      scenario_to_legacy(io, a);
    } else {
      legacy_to_scenario(io, a);
    }
  } catch (const Stop& s) {
    io.write_line(kUnitConsoleOut, s.text);
    return s.status;
  } catch (const sf::ScenarioFileError& e) {
    io.write_line(kUnitConsoleOut, e.what());
    return kExitBadInput;
  } catch (const std::exception& e) {
    io.write_line(kUnitConsoleOut, std::string("qz5 convert: ") + e.what());
    return kExitBadInput;
  }
  return kExitReady;
}

}  // namespace qz5
