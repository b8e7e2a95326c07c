#include "input/load_best.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <string>
#include <vector>

#include "input/interpolate.h"
#include "input/inputs.h"
#include "input/read_values.h"
#include "input/series_checks.h"

namespace qz5 {

namespace {
// Two doubles at any 8-byte boundary, one register.
typedef double Lanes __attribute__((vector_size(16), aligned(8)));
inline Lanes load2(const double* p) { return *reinterpret_cast<const Lanes*>(p); }
inline void store2(double* p, Lanes v) { *reinterpret_cast<Lanes*>(p) = v; }
}  // namespace

namespace {

void say_loading(Units& io, std::string_view text) {
  io.write_list(kUnitConsoleOut, {text});
  io.write_list(kUnitConsoleOut, {"Stopping..."});
}

// A NaN pattern that no value read can carry: the reader refuses NaN in a
// file.
constexpr double kUnread = std::bit_cast<double>(std::uint64_t{0x7ff8'0000'0bad'0bad});

bool is_unread(double v) {
  return std::bit_cast<std::uint64_t>(v) == std::bit_cast<std::uint64_t>(kUnread);
}

// Values the reader stored at the front of a row filled with kUnread.
int values_read(const std::vector<double>& row, int width) {
  int n = 0;
  while (n < width && !is_unread(row[static_cast<std::size_t>(n)])) ++n;
  return n;
}

// A time-point record that the end of the file cut short: how many values
// it held and the lines its read went over.
struct ShortRecord {
  int found;
  long first_line, last_line;
};

// Records 1-5 come before the time points.
constexpr int kRecordsBeforeTimes = 5;

[[noreturn]] void refuse_short_record(Units& io, std::string_view file, int time_point,
                                      const ShortRecord& cut, int width) {
  std::string where = "record " + std::to_string(kRecordsBeforeTimes + time_point) +
                      " (time point " + std::to_string(time_point) + ", line";
  where += cut.last_line > cut.first_line ? "s " + std::to_string(cut.first_line) + "-" +
                                                std::to_string(cut.last_line)
                                          : " " + std::to_string(cut.last_line);
  refuse_input(io, "Loading",
               where + ") holds " + std::to_string(cut.found) + " values, not " +
                   std::to_string(width) + " (1 + NCOMP*nlat)",
               file);
}

// Every lateral input takes at least one character of the file for its
// position and one for its flow, so a count beyond the file's size is
// impossible; refusing it before the tables are sized keeps a damaged or
// hostile count from allocating gigabytes. (A repeat count "r*c" can write
// many values in a few characters; a file that relied on it for more inputs
// than it has bytes is refused too.)
void refuse_impossible_count(Units& io, std::string_view file, const std::filesystem::path& opened,
                             int nlat) {
  std::error_code ec;
  const std::uintmax_t bytes = std::filesystem::file_size(opened, ec);
  if (ec || static_cast<std::uintmax_t>(nlat) <= bytes) return;
  refuse_input(io, "Loading",
               "number of lateral inputs " + std::to_string(nlat) +
                   " (record 2) is more than a file of " + std::to_string(bytes) +
                   " bytes can describe",
               file);
}

}  // namespace

SeriesPositions::SeriesPositions(const LoadBest& lateral) : SeriesPositions(lateral.nlat) {}

void LoadBest::setup(Units& io, Inputs& ms, int UNIT, const ReaderOptions& options) {
  const int ncomp = ms.NCOMP;
  assert(ncomp >= 1 && ncomp <= kMaxNcomp);
  const std::string file = ms.FN_LI.string();
  open_input(io, UNIT, ms, ms.FN_LI);
  std::string title;
  io.read_line(UNIT, title, 1);

  // No inputs at all is a run without lateral inflow: records 3 and 4 are
  // then records of no values (each passes over its line) and every time
  // point is a time alone.
  io.read_list(UNIT, {&nlat});
  if (nlat < 0 || (options.legacy_limits && nlat > kMaxLat)) {
    const std::string what =
        "number of lateral inputs " + std::to_string(nlat) + " outside 0..10 (record 2)";
    if (nlat < 0) refuse_input(io, "Loading", what, file);
    refuse_capacity(io, options, "Loading", what, file);
  }
  refuse_impossible_count(io, file, ms.resolved(ms.FN_LI), nlat);
  if (nlat > x_lat.size()) {
    x_lat.resize(nlat);
    q_lat.resize(nlat);
  }
  read_reals(io, UNIT, &x_lat(1), nlat, false);
  read_reals(io, UNIT, &q_lat(1), nlat, false);
  io.read_list(UNIT, {&k_lat});

  // A record goes to a scratch row first, so that the record beyond the
  // table's capacity is recognised before anything of it is stored. The row
  // is filled with a marker the reader never produces, so that a record cut
  // short by the end of the file shows how many of its values were there.
  const int width = ncomp * nlat + 1;
  if (width > lat_tab.cols()) lat_tab.resize(lat_tab.rows(), width);
  std::vector<double> row(static_cast<std::size_t>(width));
  ShortRecord cut{};
  nlat_tpts = 0;
  for (;;) {
    std::fill(row.begin(), row.end(), kUnread);
    const long line_before = io.line_number(UNIT);
    if (read_reals(io, UNIT, row.data(), width, true) != ReadStatus::kOk) {
      cut = {values_read(row, width), line_before + 1, io.line_number(UNIT)};
      break;
    }
    if (nlat_tpts == lat_tab.rows()) {
      if (options.legacy_limits) {
        say_loading(io, "Loading::nlat_tpts .Gt. max_lat_tpts");
        say_capacity_hint(io, options);
        stop();
      }
      lat_tab.resize(2 * lat_tab.rows(), lat_tab.cols());
    }
    ++nlat_tpts;
    for (int c = 1; c <= width; ++c) lat_tab(nlat_tpts, c) = row[static_cast<std::size_t>(c - 1)];
  }
  if (nlat_tpts <= 1) {
    // A last record cut short is not counted; when that leaves too few time
    // points, the short record is the fault to name.
    if (cut.found > 0) refuse_short_record(io, file, nlat_tpts + 1, cut, width);
    say_loading(io, "Loading::Need at least two time points for lateral inputs (*.li file)");
    stop();
  }
  require_ordered_times(io, "Loading", file, &lat_tab(1, 1), nlat_tpts);
  io.close(UNIT);
}

namespace {

// The exponent of input l's logistic step at X, held within +-bound
// (a NaN passes through, as the comparisons are false for it). Each
// comparison has the form of one SSE2 min or max (the second operand
// returned when the comparison fails), so the clamp takes two instructions
// instead of branches.
inline double step_exponent(double X, double x_l, double k_lat, double bound) {
  const double a = -((X - x_l) * k_lat);
  const double t = (bound < a) ? bound : a;
  return (-bound > t) ? -bound : t;
}

// The same for two inputs per register.
inline Lanes step_exponents(Lanes X, Lanes x, Lanes k, Lanes bound) {
  const Lanes a = -((X - x) * k);
  const Lanes t = (bound < a) ? bound : a;
  return (-bound > t) ? -bound : t;
}

// The built-in kinetics' constituent count: its loads are summed in registers.
constexpr int kPairedComponents = 6;

// The lateral flow and loads at X from the inputs' positions x, flows q and
// concentrations c (column l - 1 of c_rows elements per input):
// QL = S sum q/(1+e) and SL(m) = S sum c(m) g, g = q e k/(1+e)^2, the sums
// over the inputs in their order starting from +0.0.
struct LateralSums {
  const double* x;
  const double* q;
  const double* c;
  std::ptrdiff_t c_rows;
  int nlat;
  double k_lat;
  // LoadBest::kMaxExponent, handed in at run time: with the bound a
  // compile-time constant GCC turns the vector clamp into compare-and-blend
  // sequences rather than one min and one max.
  double bound;

  void general(int ncomp, double X, double S, double& QL, double* SL) const {
    double ql = 0.0;
    for (int m = 0; m < ncomp; ++m) SL[m] = 0.0;
    for (int l = 0; l < nlat; ++l) {
      double g = 0.0;
      ql = ql + term(l, X, g);
      const double* const c_l = c + l * c_rows;
      // Two constituents per register: the same product and sum per element.
      const Lanes g2 = {g, g};
      int m = 0;
      for (; m + 2 <= ncomp; m += 2) store2(SL + m, load2(SL + m) + load2(c_l + m) * g2);
      for (; m < ncomp; ++m) SL[m] = SL[m] + c_l[m] * g;
    }
    QL = S * ql;
    const Lanes S2 = {S, S};
    int m = 0;
    for (; m + 2 <= ncomp; m += 2) store2(SL + m, load2(SL + m) * S2);
    for (; m < ncomp; ++m) SL[m] = SL[m] * S;
  }

  // As general for an even NC known at compile time: the loads stay in
  // registers over the inputs, the same products and sums per element. The
  // exponentials of up to kChunk inputs are taken first: every call of exp
  // clobbers the vector registers, so taken between the sums they would
  // send the loads through memory at every input.
  template <int NC>
  void paired(double X, double S, double& QL, double* SL) const {
    static_assert(NC % 2 == 0);
    constexpr int kChunk = 4;
    Lanes acc[NC / 2];
#pragma GCC unroll 8
    for (Lanes& v : acc) v = Lanes{0.0, 0.0};
    double ql = 0.0;
    for (int l0 = 0; l0 < nlat; l0 += kChunk) {
      const int n = std::min(kChunk, nlat - l0);
      double e[kChunk];
      for (int i = 0; i < n; ++i) e[i] = std::exp(step_exponent(X, x[l0 + i], k_lat, bound));
      for (int i = 0; i < n; ++i) {
        const int l = l0 + i;
        double g = 0.0;
        ql = ql + share(l, e[i], g);
        add_loads<NC>(acc, c + l * c_rows, g);
      }
    }
    finish<NC>(acc, ql, S, QL, SL);
  }

  // paired for exactly NL inputs (nlat == NL), every loop unrolled. The
  // exponents are formed two inputs per register before the first exp call
  // (the calls then only load and store), and the flow shares and load
  // weights after the last, again two per register; a lane past the last
  // input holds e = 0 and q = 0 and is never summed.
  template <int NC, int NL>
  void paired_fixed(double X, double S, double& QL, double* SL) const {
    static_assert(NC % 2 == 0);
    constexpr int kPairs = (NL + 1) / 2;
    double e[2 * kPairs];
    {
      const Lanes X2 = {X, X}, k2 = {k_lat, k_lat}, b2 = {bound, bound};
#pragma GCC unroll 8
      for (int p = 0; p < NL / 2; ++p)
        store2(e + 2 * p, step_exponents(X2, load2(x + 2 * p), k2, b2));
      if constexpr (NL % 2 == 1) e[NL - 1] = step_exponent(X, x[NL - 1], k_lat, bound);
    }
#pragma GCC unroll 8
    for (int l = 0; l < NL; ++l) e[l] = std::exp(e[l]);
    if constexpr (NL % 2 == 1) e[NL] = 0.0;

    Lanes acc[NC / 2];
#pragma GCC unroll 8
    for (Lanes& v : acc) v = Lanes{0.0, 0.0};
    double ql = 0.0;
    const Lanes one = {1.0, 1.0}, k2 = {k_lat, k_lat};
#pragma GCC unroll 8
    for (int p = 0; p < kPairs; ++p) {
      const int l = 2 * p;
      const bool both = l + 1 < NL;
      const Lanes e2 = load2(e + l);
      const Lanes q2 = both ? load2(q + l) : Lanes{q[l], 0.0};
      const Lanes d = one + e2;
      const Lanes g = ((q2 * e2) * k2) / (d * d);
      const Lanes share2 = q2 / d;
      ql = ql + share2[0];
      add_loads<NC>(acc, c + l * c_rows, g[0]);
      if (both) {
        ql = ql + share2[1];
        add_loads<NC>(acc, c + (l + 1) * c_rows, g[1]);
      }
    }
    finish<NC>(acc, ql, S, QL, SL);
  }

  template <int NC>
  void paired_any(double X, double S, double& QL, double* SL) const {
    switch (nlat) {
      case 1: return paired_fixed<NC, 1>(X, S, QL, SL);
      case 2: return paired_fixed<NC, 2>(X, S, QL, SL);
      case 3: return paired_fixed<NC, 3>(X, S, QL, SL);
      case 4: return paired_fixed<NC, 4>(X, S, QL, SL);
      default: return paired<NC>(X, S, QL, SL);
    }
  }

  // acc(m) += c_l(m) g over the NC constituents, two per register.
  template <int NC>
  static void add_loads(Lanes* acc, const double* c_l, double g) {
    const Lanes g2 = {g, g};
#pragma GCC unroll 8
    for (int j = 0; j < NC / 2; ++j) acc[j] = acc[j] + load2(c_l + 2 * j) * g2;
  }
  template <int NC>
  static void finish(const Lanes* acc, double ql, double S, double& QL, double* SL) {
    QL = S * ql;
    const Lanes S2 = {S, S};
#pragma GCC unroll 8
    for (int i = 0; i < NC / 2; ++i) store2(SL + 2 * i, acc[i] * S2);
  }

  // Input l's flow share q/(1+e); its load weight g into g.
  double term(int l, double X, double& g) const {
    return share(l, std::exp(step_exponent(X, x[l], k_lat, bound)), g);
  }
  // The same from the exponential e of input l's step.
  double share(int l, double e, double& g) const {
    const double d = 1.0 + e;
    g = ((q[l] * e) * k_lat) / (d * d);
    return q[l] / d;
  }
};

}  // namespace

void LoadBest::lookup(Units& io, const Inputs& ms, SeriesPositions& pos, double T, double X,
                      double S, double& QL, double* SL) const {
  assert(nlat_tpts >= 2);
  const int ncomp = ms.NCOMP;
  DynTable1<double>& c_lat = pos.c_lat;

  if (ms.LI_FROM_BND) {
    std::array<double, kMaxNcomp> CB1{};
    std::array<double, kMaxNcomp> CB2{};
    ms.boundarys.lookup(io, ms, T, CB1.data(), CB2.data(), pos.ilast_bnd);
    for (int l = 1; l <= nlat; ++l) {
      for (int m = 1; m <= ncomp; ++m) c_lat(m, l) = CB1[static_cast<std::size_t>(m - 1)];
    }
    pos.c_lat_current = false;
  } else if (!(pos.c_lat_current && T == pos.c_lat_time && ncomp == pos.c_lat_ncomp)) {
    // Inside the table's range the interpolation at an unchanged time finds
    // the remembered interval again and gives the same values, so it is done
    // once per time. Outside it every look-up repeats its warning.
    double F = 0.0;
    INTERPOLATE(io, T, nlat_tpts, &lat_tab(1, 1), pos.ilast_lat, F);
    const int i = pos.ilast_lat;
    for (int m = 1; m <= ncomp; ++m) {
      for (int l = 1; l <= nlat; ++l) {
        const int j = 1 + l + nlat * (m - 1);
        c_lat(m, l) = (lat_tab(i + 1, j) - lat_tab(i, j)) * F + lat_tab(i, j);
      }
    }
    pos.c_lat_current = lat_tab(1, 1) <= T && T <= lat_tab(nlat_tpts, 1);
    pos.c_lat_time = T;
    pos.c_lat_ncomp = ncomp;
  }

  // The tables' storage, read through plain pointers: the writes to SL could
  // otherwise alias the tables' own size and storage fields, which would be
  // reloaded at every step of this loop, the residual's busiest.
  const LateralSums sums{x_lat.data(), q_lat.data(), c_lat.data(), c_lat.rows(), nlat, k_lat,
                         max_exponent_};
  if (ncomp == kPairedComponents) {
    sums.paired_any<kPairedComponents>(X, S, QL, SL);
  } else {
    sums.general(ncomp, X, S, QL, SL);
  }
}

}  // namespace qz5
