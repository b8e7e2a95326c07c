#include "scenario_file/csv_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace qz5::scenario_file {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> split(std::string_view line, char sep) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t next = line.find(sep, pos);
    fields.push_back(trim(line.substr(pos, next == std::string_view::npos ? next : next - pos)));
    if (next == std::string_view::npos) return fields;
    pos = next + 1;
  }
}

// A header field "name" or "name [unit]".
struct HeaderField {
  std::string name, unit;
};

HeaderField header_field(std::string_view f) {
  const std::size_t open = f.find('[');
  if (open == std::string_view::npos || f.back() != ']') return {std::string(f), ""};
  return {std::string(trim(f.substr(0, open))),
          std::string(trim(f.substr(open + 1, f.size() - open - 2)))};
}

std::string join_names(const std::vector<ColumnSpec>& columns, std::string_view key) {
  std::string s(key);
  for (const ColumnSpec& c : columns) s += ", " + c.name;
  return s;
}

bool is_time_unit(std::string_view u) {
  return u.empty() || u == "days" || u == "day" || u == "d";
}

class TableReader {
 public:
  TableReader(const TextSource& source, KeyKind key, const std::vector<ColumnSpec>& columns,
              const std::optional<CalendarMoment>& reference, const std::string& length_unit)
      : source_(source), key_(key), columns_(columns), reference_(reference),
        length_unit_(length_unit) {
    table_.columns.resize(columns.size());
  }

  void header(std::string_view line, long line_no) {
    sep_ = line.find(';') != std::string_view::npos && line.find(',') == std::string_view::npos
               ? ';'
               : ',';
    const std::vector<std::string_view> fields = split(line, sep_);
    slot_.assign(fields.size(), -2);
    std::vector<bool> seen(columns_.size(), false);
    bool key_seen = false;
    const std::string expected = "the columns " + join_names(columns_, key_name_hint());
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const HeaderField h = header_field(fields[i]);
      const Place where{source_.file, line_no, static_cast<long>(i + 1), ""};
      if (h.name.empty()) refuse(where, fields[i], "is an empty column name", expected);
      if (is_key(h.name)) {
        if (key_seen) refuse(where, fields[i], "is a second key column", expected);
        if (i != 0) refuse(where, fields[i], "must be the first column", expected);
        if (h.name != "date" && key_ == KeyKind::kTime && !is_time_unit(h.unit))
          refuse(where, fields[i], "has the unit " + h.unit, "time in days");
        if (key_ == KeyKind::kPosition && !h.unit.empty() && !length_unit_.empty() &&
            h.unit != length_unit_)
          refuse(where, fields[i], "has the unit " + h.unit + " but the scenario's length unit is " + length_unit_,
                 "the unit " + length_unit_ + " or none");
        if (h.name == "date" && !reference_)
          refuse(where, fields[i], "gives dates, but the scenario has no reference_date",
                 "a time column in days, or a reference_date in the scenario file");
        key_seen = true;
        dates_ = h.name == "date";
        slot_[i] = -1;
        continue;
      }
      const auto it = std::find_if(columns_.begin(), columns_.end(),
                                   [&](const ColumnSpec& c) { return c.name == h.name; });
      if (it == columns_.end())
        refuse(where, fields[i], "is not a column of this table", expected);
      const std::size_t c = static_cast<std::size_t>(it - columns_.begin());
      if (seen[c]) refuse(where, fields[i], "is named twice", expected);
      if (!h.unit.empty() && !it->unit.empty() && h.unit != it->unit)
        refuse(where, fields[i], "has the unit " + h.unit + " but the scenario declares " + it->unit,
               "the unit " + it->unit + " or none");
      seen[c] = true;
      slot_[i] = static_cast<int>(c);
    }
    if (!key_seen) refuse({source_.file, line_no, 1, ""}, fields[0], "is not the key column",
                          "first the column " + key_name_hint());
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      if (!seen[c])
        refuse({source_.file, line_no, 0, ""}, "", "the header lacks the column " + columns_[c].name,
               expected);
    }
    names_.resize(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) names_[i] = header_field(fields[i]).name;
  }

  void row(std::string_view line, long line_no) {
    const std::vector<std::string_view> fields = split(line, sep_);
    if (fields.size() != slot_.size()) wrong_count(line, fields, line_no);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const Place where{source_.file, line_no, static_cast<long>(i + 1), names_[i]};
      const double v = field_value(fields[i], where, slot_[i] == -1);
      if (slot_[i] == -1) {
        check_order(v, fields[i], where);
        table_.key.push_back(v);
      } else {
        table_.columns[static_cast<std::size_t>(slot_[i])].push_back(v);
      }
    }
    table_.lines.push_back(line_no);
  }

  CsvTable finish(long last_line) {
    if (slot_.empty())
      refuse({source_.file, last_line, 0, ""}, "", "holds no header",
             "a header line naming " + join_names(columns_, key_name_hint()));
    if (table_.key.size() < 2)
      refuse({source_.file, last_line, 0, ""}, "",
             "holds " + std::to_string(table_.key.size()) + " row(s)", "at least two rows");
    return std::move(table_);
  }

 private:
  std::string key_name_hint() const {
    return key_ == KeyKind::kTime ? (reference_ ? "time (or date)" : "time") : "x";
  }
  bool is_key(std::string_view name) const {
    return key_ == KeyKind::kTime ? (name == "time" || name == "date") : name == "x";
  }

  [[noreturn]] void wrong_count(std::string_view line, const std::vector<std::string_view>& fields,
                                long line_no) const {
    const std::string holds = "holds " + std::to_string(fields.size()) + " fields";
    const std::string expected = std::to_string(slot_.size()) + " fields, one per column of the header";
    if (sep_ == ',' && fields.size() > slot_.size()) {
      // "1,5" split at its comma: two fields that are each a number.
      for (std::size_t i = 0; i + 1 < fields.size(); ++i) {
        const std::string joined = std::string(fields[i]) + "," + std::string(fields[i + 1]);
        if (looks_like_decimal_comma(joined) &&
            line.find(joined) != std::string_view::npos) {
          refuse({source_.file, line_no, static_cast<long>(i + 1),
                  i < names_.size() ? names_[i] : ""},
                 joined, holds + ": a decimal comma splits a number", "a decimal point, such as " +
                     std::string(fields[i]) + "." + std::string(fields[i + 1]));
        }
      }
    }
    refuse({source_.file, line_no, 0, ""}, "",
           "the row " + holds + (fields.size() < slot_.size() ? " (a value is missing)" : ""),
           expected);
  }

  double field_value(std::string_view f, const Place& where, bool key) const {
    if (f.empty()) refuse(where, "", "is empty", "a number");
    double v = 0.0;
    if (key && dates_) {
      const auto m = parse_iso_moment(f);
      if (!m) refuse(where, f, "is not a date", "an ISO 8601 date such as 2024-03-01 or 2024-03-01T12:00");
      return days_between(*reference_, *m);
    }
    if (parse_number(f, v)) return v;
    if (looks_like_decimal_comma(f))
      refuse(where, f, "has a decimal comma", "a number with a decimal point");
    refuse(where, f, "is not a number", key && key_ == KeyKind::kTime ? "a time in days" : "a number");
  }

  void check_order(double v, std::string_view text, const Place& where) {
    const std::vector<double>& k = table_.key;
    if (k.empty()) return;
    const double prev = k.back();
    if (key_ == KeyKind::kPosition) {
      if (v <= prev) refuse(where, text, "does not increase", "positions after " + number_text(prev));
      return;
    }
    if (v < prev) refuse(where, text, "comes before the time above it", "times that do not decrease (a time written twice is a step change)");
    if (v == prev && k.size() >= 2 && k[k.size() - 2] == v)
      refuse(where, text, "is written a third time", "at most two rows at one time (a step change)");
  }

  const TextSource& source_;
  KeyKind key_;
  const std::vector<ColumnSpec>& columns_;
  const std::optional<CalendarMoment>& reference_;
  const std::string& length_unit_;
  char sep_ = ',';
  bool dates_ = false;
  std::vector<int> slot_;  // per field: -1 the key, else the column asked for
  std::vector<std::string> names_;
  CsvTable table_;
};

}  // namespace

bool parse_number(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const char* end = text.data() + text.size();
  const auto r = std::from_chars(text.data(), end, value, std::chars_format::general);
  return !text.empty() && r.ec == std::errc() && r.ptr == end && std::isfinite(value);
}

std::string number_text(double v) {
  // Fixed-point for the magnitudes people write that way, else the
  // exponent form; either is the shortest that reads back as v.
  char buf[400];
  const double a = std::fabs(v);
  const bool fixed = a == 0.0 || (a >= 1e-4 && a < 1e15);
  const auto r = std::to_chars(buf, buf + sizeof buf, v,
                               fixed ? std::chars_format::fixed : std::chars_format::scientific);
  std::string s(buf, r.ptr);
  // Keep the look of a real number: "4" as "4.0" (integers are written as
  // they are in TOML only where an integer is meant).
  if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
  return s;
}

CsvTable read_csv_table(std::string_view text, const TextSource& source, KeyKind key,
                        const std::vector<ColumnSpec>& columns,
                        const std::optional<CalendarMoment>& reference,
                        const std::string& length_unit) {
  TableReader reader(source, key, columns, reference, length_unit);
  // Spreadsheet programs often begin a UTF-8 CSV file with a byte-order mark.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  bool header_read = false;
  long line_no = source.first_line - 1;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t nl = text.find('\n', pos);
    const std::string_view raw =
        text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
    ++line_no;
    const std::string_view line = trim(raw);
    if (line.empty() || line.front() == '#') continue;
    if (!header_read) {
      reader.header(line, line_no);
      header_read = true;
    } else {
      reader.row(line, line_no);
    }
  }
  return reader.finish(line_no);
}

}  // namespace qz5::scenario_file
