#include "input/problem_setup.h"

#include "input/read_values.h"
#include "input/series_checks.h"

namespace qz5 {
namespace {

constexpr std::size_t kEchoLength = 50;  // file names are echoed cut to this

// Reads one names-file record (cut or blank-padded to 80 characters, as the
// legacy field), echoes it under `label`, cut to 50 characters, and keeps the
// name without its padding.
void read_and_echo(Units& io, int unit, std::filesystem::path& name, std::string_view label) {
  std::string field;
  io.read_line(unit, field, kFileNameLength);
  io.write_list(kUnitConsoleOut, {label, std::string_view(field).substr(0, kEchoLength)});
  name = std::string(trim_name(field));
}

}  // namespace

void READ_FN(Units& io, Inputs& ms, int unit, const std::filesystem::path& names_file) {
  io.open_existing(unit, ms.resolved(names_file), names_file.string());
  std::string ignored;
  io.read_line(unit, ignored, kFileNameLength);
  io.read_line(unit, ignored, kFileNameLength);

  io.write_list(kUnitConsoleOut, {" "});
  io.write_list(kUnitConsoleOut, {"Input files being used:"});
  read_and_echo(io, unit, ms.FN_PRM, "   prm: ");
  read_and_echo(io, unit, ms.FN_LI, "    li: ");
  read_and_echo(io, unit, ms.FN_BND, "   bnd: ");
  read_and_echo(io, unit, ms.FN_T, "     t: ");
  read_and_echo(io, unit, ms.FN_UT0, "   ut0: ");

  io.write_list(kUnitConsoleOut, {" "});
  io.write_list(kUnitConsoleOut, {"Driver files being used:"});
  std::string field;
  for (int i = 1; i <= ms.NDRV; ++i) {
    io.read_line(unit, field, kFileNameLength);
    ms.FN_DRV(i) = std::string(trim_name(field));
    io.write_list(kUnitConsoleOut, {"   drv: ", trim_name(field)});
  }

  io.write_list(kUnitConsoleOut, {" "});
  io.write_list(kUnitConsoleOut, {"Output files being used"});
  io.read_line(unit, field, kFileNameLength);
  ms.FN_TXC = std::string(trim_name(field));
  io.write_list(kUnitConsoleOut, {"   txc: ", std::string_view(field)});
  io.close(unit);
}

void read_output_times(Units& io, Inputs& ms, int unit, const ReaderOptions& options) {
  const std::string file = ms.FN_T.string();
  open_input(io, unit, ms, ms.FN_T);
  if (io.read_list(unit, {&ms.TSTART}, true) == ReadStatus::kEndOfFile) {
    refuse_input(io, "iniprb_qz5", "no start time", file);
  }
  ms.NTIMES = 0;
  double t = 0.0;
  while (io.read_list(unit, {&t}, true) == ReadStatus::kOk) {
    if (ms.NTIMES == ms.TOUTS.size()) {
      if (options.legacy_limits)
        refuse_capacity(io, options, "iniprb_qz5", "more than 200 output times", file);
      ms.TOUTS.resize(2 * ms.TOUTS.size());
    }
    ms.TOUTS(ms.NTIMES + 1) = t;
    ++ms.NTIMES;
  }
  io.close(unit);
}

void iniprb_qz5(Units& io, Inputs& ms, std::string& TITLE, const std::filesystem::path& names_file,
                const ReaderOptions& options) {
  TITLE.assign(kFileNameLength, ' ');
  write_into_field(TITLE, "(1x,a)", {"Advection dispersion with QZ5"});
  ms.M = 0;
  ms.NDRV = 1;
  ms.base_folder = options.base_folder;
  const int unit = kUnitInput;
  READ_FN(io, ms, unit, names_file);
  READ_PRM_QZ5(io, ms, unit);
  for (int i = 1; i <= ms.NDRV; ++i) ms.var_drv.DRV_INIT(io, ms, unit, i, options);
  read_output_times(io, ms, unit, options);

  // From here on every time is a model time.
  const double q = ms.TUNIT_DAY / ms.TUNIT_MODEL;
  ms.TSTART = ms.TSTART / q;
  for (int i = 1; i <= ms.NTIMES; ++i) ms.TOUTS(i) = ms.TOUTS(i) / q;

  ms.boundarys.setup(io, ms, unit, options);
  ms.load_best.setup(io, ms, unit, options);
}

}  // namespace qz5
