// The version of qz5, written by --version and into result files.
#pragma once

namespace qz5 {
inline constexpr const char* kVersion = "0.2.0";
}  // namespace qz5
