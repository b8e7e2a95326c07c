// Names and units of the constituents in result files.
//
// The model knows its constituents only by number and their values only in
// "file units"; a modeller names them for the files that tools read:
//
//   spec  := entry { ',' entry }          blanks around names and units are ignored
//   entry := name [ ':' unit ]            name: a letter, then letters, digits, '_'
//
// for example "salinity:psu,DOC:umol/L,DIN:umol/L". The same list may live in
// a small file: entries separated by commas or line ends, '#' starting a
// comment that runs to the end of the line, given as @FILE. A constituent not named is called
// c<k> with the unit "file units".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/reaction_kinetics.h"

namespace qz5::results {

struct ConstituentInfo {
  std::string name;           // variable name in the files
  std::string unit;           // "file units" unless given
  std::string long_name;      // the name as given, or "constituent <k>"
  std::string standard_name;  // CF standard name, or "" (sea_water_salinity
                              // when constituent 1, the tracer, is named salinity)
  int transported = -1;       // declared kinetics: 1 or 0, written as an attribute;
                              // -1: not stated (the built-in kinetics)
};

// A parsed list, or the reason it was refused (error non-empty, items then
// meaningless).
struct ConstituentList {
  std::vector<ConstituentInfo> items;
  std::string error;
  std::string source_file;  // the file the list was read from, "" when given as text
};

// Parses the list text. Refuses an empty entry, a name that is not a plain
// identifier or too long for a NetCDF name with its prefix, a repeated name
// and every name the record's own layout uses (its dimensions, coordinates
// and fixed variables, the ensemble's member, and names starting with
// station_ or budget_).
ConstituentList parse_constituents(std::string_view spec);

// "@FILE": the file's contents are parsed (comments and line ends handled).
// Any other text is parsed as the list itself; only a text that is no valid
// list but names an existing file is read as that file (the form of earlier
// versions). source_file tells which was read.
ConstituentList read_constituents(const std::string& spec_or_file);

// The list in a file (comments and line ends handled); refuses a file that
// cannot be read or names none.
ConstituentList read_constituents_file(const std::string& path);

// The list for a run of ncomp constituents: the named ones first, the rest
// generic. More names than constituents is refused (error set).
ConstituentList complete_constituents(const std::vector<ConstituentInfo>& named, int ncomp);

// The constituents of a run: those of `options_named` when given, else, with
// declared kinetics, their names and units (long name the name, unit "file
// units" when none is declared, the transported flag stated); the rest
// generic. A declared name that a record variable uses is refused (error
// set).
ConstituentList run_constituents(const std::vector<ConstituentInfo>& options_named,
                                 const Kinetics* kinetics, int ncomp);

}  // namespace qz5::results
