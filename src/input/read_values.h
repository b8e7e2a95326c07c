// Reading a record of a run-time number of reals.
//
// The text layer reads a free-form record into a braced list of targets whose
// length is fixed where the call is written. The series files carry records
// whose length depends on NCOMP and on the number of lateral inputs, so this
// helper turns a run-time count into one such read: the record still starts
// on a new line, may continue over lines and ends by skipping the rest of its
// last line, exactly as a read written out by hand would.
#pragma once

#include <filesystem>

#include <string>
#include <string_view>

#include "textio/textio.h"

namespace qz5 {

struct Inputs;

// The longest record read without allocating: a lateral-input time point of
// the legacy tables.
inline constexpr int kMaxRecordValues = 61;

// Reads n reals (n >= 0) into dst[0..n-1] as one free-form record of
// `unit`; a record of no values passes over one line.
// Semantics of eof_allowed as Units::read_list: at an end of file inside the
// record the values read so far are stored and the others left untouched.
ReadStatus read_reals(Units& io, int unit, double* dst, int n, bool eof_allowed);

// A blank-padded name field without its trailing blanks: the name of the file
// (leading blanks are part of the name).
std::string_view trim_name(std::string_view field);

// Opens input file `name` of the inputs on `unit`: a relative name is looked
// for in the inputs' base folder; messages name the file as given.
void open_input(Units& io, int unit, const Inputs& ms, const std::filesystem::path& name);

}  // namespace qz5
