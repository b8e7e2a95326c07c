// SHA-256 digests of the input files, so a result file says exactly which
// inputs made it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qz5::results {

// Streaming SHA-256: update() any number of times, then hex().
class Sha256 {
 public:
  Sha256();
  void update(const void* data, std::size_t n);
  // The digest as 64 lower-case hexadecimal digits. Ends the computation:
  // calling update() afterwards is a programming error.
  std::string hex();

 private:
  void block(const unsigned char* p);
  std::uint32_t h_[8];
  unsigned char buf_[64];
  std::size_t used_ = 0;
  std::uint64_t bytes_ = 0;
};

std::string sha256_hex(std::string_view data);

// The digest of a file's bytes, or "" when it cannot be read.
std::string sha256_file(const std::string& path);

}  // namespace qz5::results
