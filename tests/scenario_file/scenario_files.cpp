#include "scenario_file/scenario_files.h"

#include <fstream>
#include <random>

namespace qz5::scenario_file::testing {

// Line numbers matter: the malformed-file table names them.
std::map<std::string, std::string> small_scenario() {
  std::map<std::string, std::string> f;
  f["s.toml"] =
      "title = \"t\"\n"                       // 1
      "constituents = [ { name = \"a\", unit = \"psu\" }, { name = \"b\" }, { name = \"c\" }, "
      "{ name = \"d\" }, { name = \"e\" }, { name = \"f\" } ]\n"  // 2
      "[grid]\n"                              // 3
      "points = 3\n"                          // 4
      "tau = 0.5\n"                           // 5
      "kappa = 2.0\n"                         // 6
      "alpha = 1e-05\n"                       // 7
      "[integrator]\n"                        // 8
      "rtol = 0.0001\n"                       // 9
      "atol = 0.001\n"                        // 10
      "[times]\n"                             // 11
      "start = 0.0\n"                         // 12
      "outputs = [1.0, 2.0]\n"                // 13
      "[channel]\n"                           // 14
      "first_end = 0.0\n"                     // 15
      "second_end = 100.0\n"                  // 16
      "geometry = \"built-in\"\n"             // 17
      "[boundaries]\n"                        // 18
      "first = \"first.csv\"\n"               // 19
      "second = \"second.csv\"\n"             // 20
      "[laterals]\n"                          // 21
      "steepness = 0.01\n"                    // 22
      "[[laterals.inputs]]\n"                 // 23
      "name = \"river\"\n"                    // 24
      "position = -10.0\n"                    // 25
      "flow = 100.0\n"                        // 26
      "concentrations = \"\"\"\n"             // 27
      "time, a, b, c, d, e, f\n"              // 28
      "0, 1, 2, 3, 4, 5, 6\n"                 // 29
      "10, 1, 2, 3, 4, 5, 6\n"                // 30
      "\"\"\"\n"                              // 31
      "[flow_driver]\n"                       // 32
      "series = \"driver.csv\"\n"             // 33
      "[initial_profile]\n"                   // 34
      "linear = true\n"                       // 35
      "[kinetics]\n"                          // 36
      "model = \"built-in\"\n"                // 37
      "[kinetics.parameters]\n"               // 38
      "phyto_max_growth = 1.2\n"
      "phyto_half_saturation_n = 2.0\n"
      "phyto_loss = 0.1\n"
      "consumer_max_growth_on_phyto = 0.4\n"
      "consumer_max_growth_on_doc = 1.0\n"
      "consumer_yield_on_doc = 0.3\n"
      "consumer_yield_on_phyto = 0.3\n"
      "consumer_half_saturation_phyto = 20.0\n"
      "consumer_half_saturation_doc = 100.0\n"
      "consumer_half_saturation_n = 1.0\n"
      "consumer_loss = 0.15\n"
      "carbon_per_n_living = 6.625\n"
      "carbon_per_n_organic = 10.0\n"
      "phyto_loss_to_doc = 0.4\n"
      "consumer_loss_to_doc = 0.5\n"
      "detritus_n_released = 0.8\n"
      "detritus_decay = 0.05\n"
      "detritus_to_doc = 0.03\n"
      "[units]\n"
      "length = \"m\"\n";
  f["first.csv"] =
      "time, a [psu], b, c, d, e, f\n"  // 1
      "0, 0, 1, 1, 1, 1, 1\n"          // 3
      "5, 0, 1, 1, 1, 1, 1\n"          // 4
      "10, 0, 1, 1, 1, 1, 1\n";        // 5
  f["second.csv"] =
      "# the columns in another order\n"  // 1
      "time, f, e, d, c, b, a\n"          // 3
      "0, 16, 15, 14, 13, 12, 11\n"       // 4
      "5, 26, 25, 24, 23, 22, 21\n"       // 5
      "10, 36, 35, 34, 33, 32, 31\n";     // 6
  f["driver.csv"] =
      "time, factor\n"  // 1
      "-1, 1\n"         // 3
      "20, 1\n";        // 4
  return f;
}

std::filesystem::path fresh_folder(const std::string& tag) {
  static std::mt19937_64 rng{std::random_device{}()};
  auto dir = std::filesystem::temp_directory_path() /
             ("qz5_scenario_" + tag + "_" + std::to_string(rng() % 1000000000ULL));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

void write_files(const std::filesystem::path& dir, const std::map<std::string, std::string>& files) {
  for (const auto& [name, text] : files) std::ofstream(dir / name, std::ios::binary) << text;
}

}  // namespace qz5::scenario_file::testing
