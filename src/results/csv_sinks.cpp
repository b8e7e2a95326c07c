#include "results/csv_sinks.h"

#include <charconv>
#include <string_view>

namespace qz5::results {
namespace {

// Constituent names in record order, from the variables named
// <prefix><name><suffix>.
std::vector<std::string> names_between(const RunRecord& r, std::string_view prefix,
                                       std::string_view suffix) {
  std::vector<std::string> names;
  for (const Variable& v : r.variables) {
    const std::string_view n = v.name;
    if (n.size() > prefix.size() + suffix.size() && n.substr(0, prefix.size()) == prefix &&
        n.substr(n.size() - suffix.size()) == suffix && n != kVarStationX && n != kVarStationTime &&
        n != kVarStationName)
      names.emplace_back(n.substr(prefix.size(), n.size() - prefix.size() - suffix.size()));
  }
  return names;
}

// A text as one CSV field: quoted when it holds a comma, a quote or a line
// break, its quotes doubled.
std::string csv_field(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

}  // namespace

std::string shortest(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

CsvSink::CsvSink(const std::string& path) : out_(path), path_(path) {
  if (!out_) error_ = "cannot create " + path;
}

void CsvSink::find_reference(const RunRecord& r, const char* time_variable) {
  const Variable* v = r.variable(time_variable);
  const std::string units = v == nullptr ? std::string() : v->text("units");
  constexpr std::string_view kSince = "days since ";
  if (units.rfind(kSince, 0) == 0) reference_ = parse_iso_moment(units.substr(kSince.size()));
}

std::string CsvSink::date_field(double t) const {
  return reference_ ? "," + iso_after(*reference_, t) : std::string();
}

void CsvSink::fail(const std::string& what) {
  if (error_.empty()) error_ = path_ + ": " + what;
}

void CsvSink::end(const RunRecord&) {
  if (out_.is_open()) out_.close();
  if (out_.fail()) fail("write failed");
}

void StationCsv::begin(const RunRecord& r) {
  if (!error_.empty()) return;
  if (r.dimension(kDimStation) == nullptr) return;
  names_ = names_between(r, kStationPrefix, "");
  find_reference(r, kVarStationTime);
  if (const Variable* v = r.variable(kVarStationName)) station_names_ = v->strings;
  out_ << (reference_ ? "time,date,station" : "time,station") << (station_names_.empty() ? "" : ",station_name");
  for (const std::string& n : names_) out_ << ',' << n;
  out_ << '\n' << std::flush;
}

void StationCsv::update(const RunRecord& r) {
  const Dimension* st = r.dimension(kDimStationTime);
  if (!error_.empty() || st == nullptr) return;
  const std::vector<double>& t = r.variable(kVarStationTime)->data;
  const std::vector<double>& x = r.variable(kVarStationX)->data;
  std::vector<const std::vector<double>*> values;
  for (const std::string& n : names_) values.push_back(&r.variable(kStationPrefix + n)->data);
  const std::size_t ns = x.size();
  for (; written_ < st->size; ++written_) {
    const std::size_t row = written_ - st->first_held;  // rows written before may be dropped
    for (std::size_t i = 0; i < ns; ++i) {
      out_ << shortest(t[row]) << date_field(t[row]) << ',' << shortest(x[i]);
      if (!station_names_.empty()) out_ << ',' << csv_field(station_names_[i]);
      for (const std::vector<double>* v : values) out_ << ',' << shortest((*v)[row * ns + i]);
      out_ << '\n';
    }
  }
  out_.flush();
  if (!out_) fail("write failed");
}

void BudgetCsv::begin(const RunRecord& r) {
  if (!error_.empty()) return;
  if (r.dimension(kDimInterval) == nullptr) return;
  names_ = names_between(r, kBudgetPrefix, "");
  find_reference(r, kVarInterval);
  out_ << (reference_ ? "t_start,date_start,t_end,date_end,constituent" : "t_start,t_end,constituent");
  for (const char* term : kBudgetTermNames) out_ << ',' << term;
  out_ << '\n' << std::flush;
}

void BudgetCsv::update(const RunRecord& r) {
  const Dimension* iv = r.dimension(kDimInterval);
  if (!error_.empty() || iv == nullptr) return;
  const std::vector<double>& bounds = r.variable(kVarIntervalBounds)->data;
  for (; written_ < iv->size; ++written_) {
    const std::size_t row = written_ - iv->first_held;
    for (const std::string& n : names_) {
      out_ << shortest(bounds[2 * row]) << date_field(bounds[2 * row]) << ','
           << shortest(bounds[2 * row + 1]) << date_field(bounds[2 * row + 1]) << ',' << n;
      const std::vector<double>& b = r.variable(kBudgetPrefix + n)->data;
      for (std::size_t t = 0; t < kBudgetTerms; ++t)
        out_ << ',' << shortest(b[row * kBudgetTerms + t]);
      out_ << '\n';
    }
  }
  out_.flush();
  if (!out_) fail("write failed");
}

}  // namespace qz5::results
