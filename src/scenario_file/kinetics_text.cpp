#include "scenario_file/kinetics_text.h"

#include <sstream>
#include <toml++/toml.h>

namespace qz5::scenario_file {
namespace {

namespace fs = std::filesystem;

// The kinetics' own text with every forcing file renamed for `folder`.
toml::table relocated(const DeclaredKinetics& k, const fs::path& folder) {
  toml::table t = toml::parse(k.text(), k.source());
  toml::table* forcings = t["forcings"].as_table();
  if (forcings == nullptr) return t;
  for (auto&& [name, node] : *forcings) {
    static_cast<void>(name);
    toml::node* file = &node;
    if (toml::table* entry = node.as_table()) file = entry->get("file");
    if (file == nullptr || !file->is_string()) continue;
    *file->as_string() = path_from(folder, k.folder() / file->as_string()->get());
  }
  return t;
}

}  // namespace

std::string path_from(const fs::path& folder, const fs::path& target) {
  const fs::path from = fs::absolute(folder.empty() ? fs::path(".") : folder);
  return fs::proximate(fs::absolute(target), from).generic_string();
}

std::string kinetics_file_text(const DeclaredKinetics& k, const fs::path& folder) {
  std::ostringstream o;
  o << toml::toml_formatter(relocated(k, folder)) << "\n";
  return o.str();
}

std::string inline_kinetics_text(const DeclaredKinetics& k, const fs::path& folder) {
  toml::table wrapped;
  wrapped.insert("kinetics", relocated(k, folder));
  std::ostringstream o;
  o << toml::toml_formatter(wrapped) << "\n";
  return o.str();
}

}  // namespace qz5::scenario_file
