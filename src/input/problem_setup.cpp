#include "input/problem_setup.h"

#include "input/read_values.h"
#include "input/series_checks.h"

namespace qz5 {
namespace {

constexpr std::size_t kEchoLength = 50;  // file names are echoed cut to this

// Reads one names-file record into `field` and echoes it under `label`, cut
// to 50 characters.
void read_and_echo(Units& io, int unit, std::string& field, std::string_view label) {
  io.read_line(unit, field, kFileNameLength);
  io.write_list(kUnitConsoleOut,
                {label, std::string_view(field).substr(0, kEchoLength)});
}

std::string names_file_name(Units& io, int argc, const char* const* argv) {
  std::string name;
  if (argc > 1 && argv[1] != nullptr) {
    name = std::string(argv[1]).substr(0, kFileNameLength);
  } else {
    io.write_formatted(kUnitConsoleOut, "(1x,a,$)", {"Enter filename of names file [*.fn]: "});
    io.read_line(kUnitConsoleIn, name, kFileNameLength);
  }
  return name;
}

}  // namespace

void READ_FN(Units& io, ModelState& ms, int unit, int argc, const char* const* argv) {
  const std::string name = names_file_name(io, argc, argv);
  io.open_existing(unit, trim_name(name));
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
  for (int i = 1; i <= ms.NDRV; ++i) {
    io.read_line(unit, ms.FN_DRV(i), kFileNameLength);
    io.write_list(kUnitConsoleOut, {"   drv: ", trim_name(ms.FN_DRV(i))});
  }

  io.write_list(kUnitConsoleOut, {" "});
  io.write_list(kUnitConsoleOut, {"Output files being used"});
  io.read_line(unit, ms.FN_TXC, kFileNameLength);
  io.write_list(kUnitConsoleOut, {"   txc: ", std::string_view(ms.FN_TXC)});
  io.close(unit);
}

void read_output_times(Units& io, ModelState& ms, int unit) {
  const std::string_view file = trim_name(ms.FN_T);
  io.open_existing(unit, file);
  if (io.read_list(unit, {&ms.TSTART}, true) == ReadStatus::kEndOfFile) {
    refuse_input(io, "iniprb_qz5", "no start time", file);
  }
  ms.NTIMES = 0;
  double t = 0.0;
  while (io.read_list(unit, {&t}, true) == ReadStatus::kOk) {
    if (ms.NTIMES == ms.TOUTS.size()) {
      if (ms.legacy_limits)
        refuse_capacity(io, ms, "iniprb_qz5", "more than 200 output times", file);
      ms.TOUTS.resize(2 * ms.TOUTS.size());
    }
    ms.TOUTS(ms.NTIMES + 1) = t;
    ++ms.NTIMES;
  }
  io.close(unit);
}

void iniprb_qz5(Units& io, ModelState& ms, std::string& TITLE, int argc,
                const char* const* argv) {
  TITLE.assign(kFileNameLength, ' ');
  write_into_field(TITLE, "(1x,a)", {"Advection dispersion with QZ5"});
  ms.M = 0;
  ms.NDRV = 1;
  const int unit = kUnitInput;
  READ_FN(io, ms, unit, argc, argv);
  READ_PRM_QZ5(io, ms, unit);
  for (int i = 1; i <= ms.NDRV; ++i) ms.var_drv.DRV_INIT(io, ms, unit, i);
  read_output_times(io, ms, unit);

  // From here on every time is a model time.
  const double q = ms.TUNIT_DAY / ms.TUNIT_MODEL;
  ms.TSTART = ms.TSTART / q;
  for (int i = 1; i <= ms.NTIMES; ++i) ms.TOUTS(i) = ms.TOUTS(i) / q;

  ms.boundarys.setup(io, ms, unit);
  ms.load_best.setup(io, ms, unit);
}

}  // namespace qz5
