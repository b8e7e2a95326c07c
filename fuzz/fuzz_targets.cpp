#include "fuzz_targets.h"

#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "input/inputs.h"
#include "input/problem_setup.h"
#include "input/uinit.h"
#include "textio/textio.h"

namespace qz5::fuzz {
namespace {

// The loaders open their files by name, so every input is written to a file
// of this process's own (fuzzers may run side by side).
std::string input_path(const char* tag) {
  return (std::filesystem::temp_directory_path() /
          ("qz5_fuzz_" + std::to_string(::getpid()) + "_" + tag))
      .string();
}

std::string write_input(const char* tag, const std::uint8_t* data, std::size_t size) {
  const std::string path = input_path(tag);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

// A console on string streams and a model state as problem set-up leaves it
// before the loaders run.
//
// The model state is most of a megabyte; allocating and zeroing a fresh one
// per input made the sanitizer's page handling the whole cost of a run. One
// state per process is reset by copying a pristine one instead: the copy
// gives every input the same starting state at a fraction of the cost.
Inputs& fresh_state() {
  static const auto pristine = [] {
    auto ms = std::make_unique<Inputs>();
    ms->NCOMP = 6;
    ms->NDRV = 1;
    ms->TUNIT_MODEL = 1.0;
    ms->TUNIT_DAY = 1.0;
    ms->XCONV = 1.0;
    for (int k = 1; k <= kCconvSlots; ++k) ms->CCONV(k) = 1.0;
    return ms;
  }();
  static const auto work = std::make_unique<Inputs>();
  *work = *pristine;
  return *work;
}

struct Harness {
  std::istringstream in;
  std::ostringstream out;
  Units io{in, out};
  Inputs* ms = &fresh_state();
};

// Runs `body`; a Stop is the expected way out for bad input.
template <class F>
int guarded(F&& body) {
  try {
    body();
  } catch (const Stop&) {
  }
  return 0;
}

}  // namespace

int read_list_target(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the sequence of reads; the rest is the file.
  const unsigned plan = data[0];
  const std::string path = write_input("read_list", data + 1, size - 1);
  Harness h;
  return guarded([&] {
    h.io.open_existing(kUnitInput, path);
    int i = 0;
    double a = 0, b = 0, c = 0;
    bool l = false;
    std::string field;
    for (unsigned step = 0; step < 64; ++step) {
      ReadStatus s = ReadStatus::kOk;
      switch ((plan >> (2 * (step % 4))) & 3u) {
        case 0: s = h.io.read_list(kUnitInput, {&i}, true); break;
        case 1: s = h.io.read_list(kUnitInput, {&a, &b, &c}, true); break;
        case 2: s = h.io.read_list(kUnitInput, {&l, &i, &a}, true); break;
        default: s = h.io.read_line(kUnitInput, field, 80, true); break;
      }
      if (s == ReadStatus::kEndOfFile) break;
    }
    h.io.close(kUnitInput);
  });
}

int names_target(const std::uint8_t* data, std::size_t size) {
  const std::string path = write_input("names", data, size);
  Harness h;
  return guarded([&] { READ_FN(h.io, *h.ms, kUnitInput, path); });
}

int parameter_target(const std::uint8_t* data, std::size_t size) {
  Harness h;
  h.ms->FN_PRM = write_input("prm", data, size);
  return guarded([&] { READ_PRM_QZ5(h.io, *h.ms, kUnitInput); });
}

int output_times_target(const std::uint8_t* data, std::size_t size) {
  Harness h;
  h.ms->FN_T = write_input("t", data, size);
  return guarded([&] { read_output_times(h.io, *h.ms, kUnitInput); });
}

int boundary_target(const std::uint8_t* data, std::size_t size) {
  Harness h;
  h.ms->FN_BND = write_input("bnd", data, size);
  return guarded([&] {
    h.ms->boundarys.setup(h.io, *h.ms, kUnitInput);
    // Look-ups inside, between and beyond the table's times.
    std::array<double, kMaxNcomp> cl{}, cr{};
    const auto& b = h.ms->boundarys;
    const double t0 = b.bnd_tab(1, 1), tn = b.bnd_tab(b.nbnd_tpts, 1);
    int ilast = 1;
    for (const double t : {t0 - 1.0, t0, 0.5 * (t0 + tn), tn, tn + 1.0, t0}) {
      h.ms->boundarys.lookup(h.io, *h.ms, t, cl.data(), cr.data(), ilast);
    }
  });
}

int lateral_target(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Harness h;
  h.ms->LI_FROM_BND = false;
  h.ms->FN_LI = write_input("li", data, size);
  return guarded([&] {
    h.ms->load_best.setup(h.io, *h.ms, kUnitInput);
    const auto& lb = h.ms->load_best;
    const double t0 = lb.lat_tab(1, 1), tn = lb.lat_tab(lb.nlat_tpts, 1);
    std::array<double, kMaxNcomp> sl{};
    double ql = 0.0;
    SeriesPositions pos(lb);
    for (const double t : {t0, 0.5 * (t0 + tn), tn + 1.0}) {
      for (const double x : {-1.0e300, 0.0, lb.x_lat(1), 1.0e300}) {
        h.ms->load_best.lookup(h.io, *h.ms, pos, t, x, 1.0, ql, sl.data());
      }
    }
  });
}

int driver_target(const std::uint8_t* data, std::size_t size) {
  Harness h;
  h.ms->FN_DRV(1) = write_input("drv", data, size);
  return guarded([&] {
    h.ms->var_drv.DRV_INIT(h.io, *h.ms, kUnitInput, 1);
    const auto& d = h.ms->var_drv;
    const double t0 = d.t_drv(1), tn = d.t_drv(d.npts_drv(1));
    double v = 0.0;
    int ilast = 1;
    for (const double t : {t0, 0.5 * (t0 + tn), tn, t0}) h.ms->var_drv.lookup(h.io, t, v, 1, ilast);
    h.ms->var_drv.lookup(h.io, tn + 1.0, v, 1, ilast);  // outside: stops
  });
}

int profile_target(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte is the grid size (3..34); the rest is the file.
  const int npts = 3 + data[0] % 32;
  Harness h;
  h.ms->NPTS = npts;
  h.ms->USE_UT0 = true;
  h.ms->FN_UT0 = write_input("ut0", data + 1, size - 1);
  std::vector<double> u(static_cast<std::size_t>(7 * npts), 0.0);
  return guarded([&] { UINIT(h.io, *h.ms, 6, npts, u.data()); });
}

}  // namespace qz5::fuzz
