// Fuzz targets of qz5's input side: the free-form reader, every input-file
// loader, the formatting engine, and the geometry table, constituent list
// and command line of the executable's options.
//
// Each target takes arbitrary bytes and must return normally: bad input may
// only end in a Stop (the program's own clean early end) or, for the
// formatting engine fed a malformed format, the logic_error that marks a
// programming error. Anything else (a crash, a sanitizer report, another
// exception, a hang) is a finding. The same functions are driven by libFuzzer
// (fuzz/*_fuzzer.cpp) and replayed over the saved findings by the test suite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qz5::fuzz {

using Target = int (*)(const std::uint8_t* data, std::size_t size);

int read_list_target(const std::uint8_t* data, std::size_t size);
int names_target(const std::uint8_t* data, std::size_t size);
int parameter_target(const std::uint8_t* data, std::size_t size);
int output_times_target(const std::uint8_t* data, std::size_t size);
int boundary_target(const std::uint8_t* data, std::size_t size);
int lateral_target(const std::uint8_t* data, std::size_t size);
int driver_target(const std::uint8_t* data, std::size_t size);
int profile_target(const std::uint8_t* data, std::size_t size);
int format_target(const std::uint8_t* data, std::size_t size);
int geometry_target(const std::uint8_t* data, std::size_t size);
int constituents_target(const std::uint8_t* data, std::size_t size);
int command_line_target(const std::uint8_t* data, std::size_t size);

// The target of a name ("read_list", "names", ... "format", "geometry",
// "constituents", "command_line"); nullptr if none.
Target target_named(std::string_view name);

}  // namespace qz5::fuzz
