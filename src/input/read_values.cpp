#include "input/read_values.h"

#include "input/inputs.h"

#include <array>
#include <cassert>
#include <utility>
#include <vector>

namespace qz5 {
namespace {

using Reader = ReadStatus (*)(Units&, int, double*, bool);

template <std::size_t... I>
ReadStatus read_fixed(Units& io, int unit, double* dst, bool eof_allowed,
                      std::index_sequence<I...>) {
  (void)dst;  // unused by the empty record
  return io.read_list(unit, {ReadTarget{dst + I}...}, eof_allowed);
}

template <std::size_t N>
ReadStatus read_n(Units& io, int unit, double* dst, bool eof_allowed) {
  return read_fixed(io, unit, dst, eof_allowed, std::make_index_sequence<N>{});
}

// readers[n] reads a record of n values; built at compile time, so no state.
template <std::size_t... N>
constexpr std::array<Reader, sizeof...(N)> make_readers(std::index_sequence<N...>) {
  return {&read_n<N>...};
}

constexpr auto kReaders = make_readers(std::make_index_sequence<kMaxRecordValues + 1>{});

}  // namespace

ReadStatus read_reals(Units& io, int unit, double* dst, int n, bool eof_allowed) {
  assert(n >= 0);
  if (n <= kMaxRecordValues) return kReaders[static_cast<std::size_t>(n)](io, unit, dst, eof_allowed);
  // Longer records (more lateral inputs than the legacy tables held) are
  // read at set-up only, so the list of targets may be built here.
  std::vector<ReadTarget> targets;
  targets.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) targets.emplace_back(dst + i);
  return io.read_list(unit, std::span<const ReadTarget>(targets), eof_allowed);
}

void open_input(Units& io, int unit, const Inputs& ms, const std::filesystem::path& name) {
  io.open_existing(unit, ms.resolved(name), name.string());
}

std::string_view trim_name(std::string_view field) {
  const auto last = field.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view{} : field.substr(0, last + 1);
}

}  // namespace qz5
