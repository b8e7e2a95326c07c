#include "driver/run_driver.h"

#include <cstddef>
#include <exception>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "discretisation/skm.h"
#include "driver/callbacks.h"
#include "input/out_txc.h"
#include "input/problem_setup.h"
#include "integrator/ddassl.h"
#include "model/estuary_model.h"

namespace qz5 {
namespace {

constexpr int kMaxOrd = 5;
constexpr int kTitleLength = 80;

std::string trimmed(const std::string& name) {
  const auto end = name.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

void write_title_to_logs(Units& io, const std::string& title) {
  io.write_formatted(LUNRES, "(A80)", {std::string_view(title)});
  io.write_formatted(LUNRUN, "(A80)", {std::string_view(title)});
}

// One piece of a header line: what goes into columns first..last.
struct HeaderPiece {
  std::size_t first, last;
  std::string_view format;
  Item value;
};

// Builds a header line column by column in the title field (a blank-padded
// line of its own, with asterisks where a value does not fit) and writes it
// to both logs.
void write_header_line(Units& io, std::string& title, std::initializer_list<HeaderPiece> pieces) {
  title.assign(kTitleLength, ' ');
  for (const HeaderPiece& p : pieces) {
    write_into_field(title, p.first, p.last, p.format, {p.value});
  }
  write_title_to_logs(io, title);
}

// The two header lines; afterwards the title field holds the second.
void write_run_header(Units& io, const ModelState& ms, std::string& title) {
  write_header_line(io, title,
                    {{1, 6, "(A)", " NPTS="},
                     {7, 9, "(I3)", ms.NPTS},
                     {10, 16, "(A)", "; RTOL="},
                     {17, 24, "(E8.3)", ms.RTOL},
                     {25, 31, "(A)", ", ATOL="},
                     {32, 39, "(E8.3)", ms.ATOL}});
  write_header_line(io, title,
                    {{1, 5, "(A)", " TAU="},
                     {6, 13, "(E8.3)", ms.TAU},
                     {14, 21, "(A)", ", KAPPA="},
                     {22, 29, "(E8.3)", ms.KAPPA},
                     {30, 37, "(A)", ", ALPHA="},
                     {38, 45, "(E8.3)", ms.ALPHA}});
}

// The integrator's options: intermediate output, banded matrix by
// differences, consistent initial derivatives computed by the integrator.
void set_integrator_options(ModelState& ms) {
  for (int i = 1; i <= ms.NEQ; ++i) ms.YPRIME(i) = 0.0;
  ms.INFO.fill(0);
  ms.INFO(3) = 1;
  ms.INFO(6) = 1;
  ms.INFO(10) = ms.INFO10;
  ms.INFO(11) = 1;
  ms.IWORK(1) = ms.IBAND;
  ms.IWORK(2) = ms.IBAND;
  ms.MAXORD = kMaxOrd;
}

[[noreturn]] void workspace_too_small(Units& io, std::string_view what, int needed) {
  io.write_list(kUnitConsoleOut, {what, needed});
  stop("Workspace too small");
}

void check_workspace(Units& io, ModelState& ms) {
  if (ms.NEQ > MXNEQ) workspace_too_small(io, "MXNEQ too small, needed:", ms.NEQ);
  ms.LIW = ms.NEQ + 20;
  if (ms.LIW > MXLIW) workspace_too_small(io, "MXLIW too small, needed:", ms.LIW);
  ms.LRW = (ms.MAXORD + 3 * ms.IBAND + 7) * ms.NEQ + 2 * (ms.NEQ / (2 * ms.IBAND + 1)) + 42;
  if (ms.LRW > MXLRW) workspace_too_small(io, "MXLRW too small, needed:", ms.LRW);
}

void write_statistics(Units& io, ModelState& ms) {
  for (int i = 2; i <= 6; ++i) ms.IPAR(i) = ms.IWORK(9 + i);
  io.write_list(LUNRES, {"Statistics:"});
  io.write_list(LUNRES, {"   FNS, JACS:", ms.IPAR(3), ms.IPAR(4)});
  io.write_list(LUNRES, {"   STEPS, ETF, CTF:", ms.IPAR(2), ms.IPAR(5), ms.IPAR(6)});
}

void close_run_files(Units& io) {
  io.close(LUNRES);
  io.close(LUNRUN);
  io.close(LUNTXC);
}

}  // namespace

void prepare_integration(Units& io, RunState& state, PdeProblem& model) {
  ModelState& ms = state.ms;
  ms.XLEFT = ms.XBND(1) / ms.XCONV;
  ms.XRIGHT = ms.XBND(2) / ms.XCONV;
  ms.LENWK = kLenWk;
  int ifail = 0;
  SETSKM(io, state.skm, model, ms.NEQ, ms.NCOMP, ms.NPTS, ms.XLEFT, ms.XRIGHT, ms.TAU, ms.KAPPA,
         ms.ALPHA, ms.Y.data(), ms.RPAR.data(), ms.LENWK, ms.M, ms.TSTART, ms.IBAND, ifail);
  if (ifail == -1) stop("Error in SETSKM");
  set_integrator_options(ms);
  check_workspace(io, ms);
}

void run_main_program(Units& io, RunState& state, int argc, const char* const* argv) {
  ModelState& ms = state.ms;
  io.open_new(LUNRES, "RESULT");
  io.open_new(LUNRUN, "RUNINF");

  std::string title(kTitleLength, ' ');
  iniprb_qz5(io, ms, title, argc, argv);
  write_title_to_logs(io, title);

  EstuaryModel model(io, ms);
  prepare_integration(io, state, model);
  double rtol = ms.RTOL;
  double atol = ms.ATOL;
  write_run_header(io, ms, title);

  io.open_new(LUNTXC, trimmed(ms.FN_TXC));
  OUT_TXC(io, ms, LUNTXC, ms.TSTART, ms.Y.data(), ms.NCOMP, ms.NPTS);

  const SkmState& skm = state.skm;
  const ResidualFn residual = [&io, &ms, &skm, &model](double t, double* y, double* yprime,
                                                       double* delta, int& ires, double* rpar,
                                                       int* ipar) {
    RES(io, ms, skm, model, t, y, yprime, delta, ires, rpar, ipar);
  };
  const JacobianFn jac = jac_dummy;
  Integrator integrator(io, skm.EPSMACH);

  ms.T = ms.TSTART;
  for (int i = 1; i <= ms.NTIMES; ++i) {
    ms.TOUT = ms.TOUTS(i);
    auto call_integrator = [&] {
      integrator.DDASSL(residual, ms.NEQ, ms.T, ms.Y.data(), ms.YPRIME.data(), ms.TOUT,
                        ms.INFO.data(), &rtol, &atol, ms.IDID, ms.RWORK.data(), ms.LRW,
                        ms.IWORK.data(), ms.LIW, ms.RPAR.data(), ms.IPAR.data(), jac);
    };
    call_integrator();
    while (ms.IDID == 1) {
      MONITOR(io, LUNRUN, ms.RWORK.data(), ms.IWORK.data());
      call_integrator();
    }
    OUT_TXC(io, ms, LUNTXC, ms.T, ms.Y.data(), ms.NCOMP, ms.NPTS);
    write_statistics(io, ms);
    if (ms.IDID < 0) {
      io.write_list(LUNRES, {"IDID=", ms.IDID});
      close_run_files(io);
      stop("DASSL error", kExitDasslError);
    }
  }
  close_run_files(io);
  stop("Ready", kExitReady);
}

int run_qz5(Units& io, RunState& state, int argc, const char* const* argv) {
  int status = kExitBadInput;
  try {
    run_main_program(io, state, argc, argv);
  } catch (const Stop& s) {
    io.write_line(kUnitConsoleOut, s.text);
    status = s.status;
  } catch (const std::exception& e) {
    // A fault of the program itself, not of the input: still end cleanly,
    // with every file closed and complete.
    io.write_line(kUnitConsoleOut, std::string("qz5: internal error: ") + e.what());
    status = kExitBadInput;
  }
  // A file that cannot be completed is reported like a failed write,
  // whatever ended the run, and the run counts as failed.
  if (const std::optional<Stop> failure = io.close_all()) {
    io.write_line(kUnitConsoleOut, failure->text);
    status = failure->status;
  }
  return status;
}

}  // namespace qz5
