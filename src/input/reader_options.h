// How the readers read: the legacy capacities and where names resolve.
#pragma once

#include <filesystem>
#include <string>

namespace qz5 {

struct ReaderOptions {
  // With legacy_limits the loaders refuse what does not fit the legacy
  // tables, followed by capacity_hint when it is not empty; without, the
  // tables grow to fit.
  bool legacy_limits = true;
  std::string capacity_hint;
  // The folder the names inside a names file are relative to (empty: the
  // process's working folder, as the legacy program has it).
  std::filesystem::path base_folder;
};

}  // namespace qz5
