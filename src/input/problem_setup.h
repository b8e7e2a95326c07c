// Problem set-up: from the names file to a filled model state.
//
// A run is described by a names file that lists the run's input files and its
// output file. Set-up reads it, then the parameter file, the variable
// drivers, the output times, the boundary series and the lateral inputs, in
// that order, each on unit 1 which its reader opens and closes. On return
// every time in the model state is in model time units and the state is
// read-only apart from the series' remembered indices.
#pragma once

#include <filesystem>
#include <string>

#include "input/reader_options.h"

#include "input/inputs.h"
#include "textio/textio.h"

namespace qz5 {

// Fills TITLE (80 characters) with " Advection dispersion with QZ5", sets
// M = 0, NDRV = 1 and base_folder (from the options), and loads every input
// file into ms: the names file, then the files it names. Relative names, the
// names file's own included, are looked for in options.base_folder. Any bad
// input stops the run (status 1) with a console message naming the file.
void iniprb_qz5(Units& io, Inputs& ms, std::string& TITLE, const std::filesystem::path& names_file,
                const ReaderOptions& options = {});

// Reads the names file on `unit` (relative to ms.base_folder), fills FN_PRM,
// FN_LI, FN_BND, FN_T, FN_UT0, FN_DRV(1..NDRV) and FN_TXC and lists them on
// the console. Needs ms.NDRV.
void READ_FN(Units& io, Inputs& ms, int unit, const std::filesystem::path& names_file);

// Reads the parameter file FN_PRM on `unit` into the model state. Refuses
// NCOMP other than 6, a zero unit factor (XCONV, TUNIT_MODEL, TUNIT_DAY or
// any CCONV(k): each is a divisor of the unit conversions) and reaction
// parameters for which the kinetics are undefined (zero RXPAR(7), (8), (13)
// or (14)); every refusal names the file and the record. NPTS is passed on
// as read: SETSKM judges whether the grid fits.
void READ_PRM_QZ5(Units& io, Inputs& ms, int unit);

// Reads the output-times file FN_T on `unit`: TSTART from the first record,
// TOUTS(1..NTIMES) from the others, still in days. Refuses an empty file and
// more than 200 output times.
void read_output_times(Units& io, Inputs& ms, int unit, const ReaderOptions& options = {});

}  // namespace qz5
