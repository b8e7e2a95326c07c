// libFuzzer entry for one target; the target is chosen when this file is
// compiled (-DQZ5_FUZZ_TARGET=<name>_target).
#include <cstddef>
#include <cstdint>

#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return qz5::fuzz::QZ5_FUZZ_TARGET(data, size);
}
