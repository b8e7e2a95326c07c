#include "results/file_clash.h"

#include <filesystem>
#include <system_error>

namespace qz5::results {
namespace {

namespace fs = std::filesystem;

fs::path resolved(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
  return ec ? fs::absolute(path, ec).lexically_normal() : p;
}

bool same_file(const std::string& a, const fs::path& ra, const std::string& b,
               const fs::path& rb) {
  if (ra == rb) return true;
  std::error_code ec;
  return fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec) && !ec;
}

}  // namespace

std::vector<RoleFile> scenario_files(const Scenario& scenario) {
  const Inputs& ms = scenario.inputs;
  // The names as the readers open them: relative ones lie in base_folder.
  const auto at = [&ms](const std::filesystem::path& name) {
    return name.empty() ? std::string() : ms.resolved(name).string();
  };
  std::vector<RoleFile> files = {
      {"the concentration file", at(ms.FN_TXC), true},
      {"the parameter file", at(ms.FN_PRM), false},
      {"the lateral-input file", at(ms.FN_LI), false},
      {"the boundary file", at(ms.FN_BND), false},
      {"the output-times file", at(ms.FN_T), false},
  };
  if (ms.USE_UT0) files.push_back({"the initial-profile file", at(ms.FN_UT0), false});
  for (int k = 1; k <= ms.NDRV; ++k) files.push_back({"the driver file", at(ms.FN_DRV(k)), false});
  if (!scenario.geometry.source.empty())
    files.push_back({"the geometry file", scenario.geometry.source, false});
  return files;
}

std::string find_file_clash(const std::vector<RoleFile>& files) {
  std::vector<fs::path> paths;
  paths.reserve(files.size());
  for (const RoleFile& f : files) paths.push_back(f.path.empty() ? fs::path() : resolved(f.path));
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = i + 1; j < files.size(); ++j) {
      const RoleFile& a = files[i];
      const RoleFile& b = files[j];
      if (a.path.empty() || b.path.empty() || !(a.output || b.output)) continue;
      if (!same_file(a.path, paths[i], b.path, paths[j])) continue;
      const RoleFile& out = a.output ? a : b;
      const RoleFile& other = a.output ? b : a;
      return out.role + " " + out.path + " is the same file as " + other.role + " " + other.path +
             (other.output ? "" : ", which it would overwrite");
    }
  }
  return {};
}

}  // namespace qz5::results
