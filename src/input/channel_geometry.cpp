#include "input/channel_geometry.h"

#include <cmath>

namespace qz5 {
namespace {

bool positive_finite(double v) { return std::isfinite(v) && v > 0.0; }

// What is wrong with row i (0-based) given the rows before it, or "".
std::string row_fault(const ChannelGeometry& g, std::size_t i) {
  if (!std::isfinite(g.x[i])) return "position is not finite";
  if (i > 0 && !(g.x[i] > g.x[i - 1])) return "positions do not increase strictly";
  if (!positive_finite(g.area[i])) return "area is not positive";
  if (!positive_finite(g.dispersion[i])) return "dispersion is not positive";
  return {};
}

[[noreturn]] void refuse_geometry(Units& io, const std::string& file, long line,
                                  const std::string& what) {
  std::string text = "Geometry::Error, " + what + " in file " + file;
  if (line > 0) text += ", line " + std::to_string(line);
  io.write_list(kUnitConsoleOut, {std::string_view(text)});
  stop();
}

}  // namespace

std::string check_geometry(const ChannelGeometry& g) {
  if (g.area.size() != g.x.size() || g.dispersion.size() != g.x.size())
    return "the position, area and dispersion columns differ in length";
  if (g.x.size() < 2) return "fewer than two rows";
  for (std::size_t i = 0; i < g.x.size(); ++i) {
    const std::string fault = row_fault(g, i);
    if (!fault.empty()) return fault + " at row " + std::to_string(i + 1);
  }
  return {};
}

ChannelGeometry read_geometry_file(Units& io, int unit, const std::string& file) {
  ChannelGeometry g;
  g.source = file;
  io.open_existing(unit, file);
  std::string title;
  io.read_line(unit, title, 80);
  // NaN marks a value the read did not fill: at the end of the file it tells
  // a row cut short from no row at all.
  const double unread = std::nan("");
  for (;;) {
    double x = unread, a = unread, d = unread;
    const ReadStatus status = io.read_list(unit, {&x, &a, &d}, true);
    const long line = io.line_number(unit);
    if (status == ReadStatus::kEndOfFile) {
      if (!std::isnan(x)) refuse_geometry(io, file, line, "a row holds fewer than three values");
      break;
    }
    g.x.push_back(x);
    g.area.push_back(a);
    g.dispersion.push_back(d);
    const std::string fault = row_fault(g, g.x.size() - 1);
    if (!fault.empty()) refuse_geometry(io, file, line, fault);
  }
  io.close(unit);
  if (g.x.size() < 2) refuse_geometry(io, file, 0, "fewer than two rows");
  return g;
}

}  // namespace qz5
