// The framed error report and the routines behind it.
//
// A report is a sequence of ERR_PRINT calls, each with its own prefix; ERR_PRINT
// breaks long texts into lines of at most 72 message characters, at blanks
// where it can and at "$$" marks always, so callers compose messages as one
// string and choose line breaks only where they matter.

#include "errors/xermsg.h"

#include <algorithm>
#include <string>

namespace qz5 {

namespace {

constexpr int kStandardOutputUnit = kUnitConsoleOut;
constexpr int kReportWidth = 72;
constexpr int kMinWidth = 16;
constexpr int kMaxWidth = 132;
constexpr std::size_t kMaxPrefix = 16;
constexpr std::size_t kMaxNamePart = 16;
constexpr int kMinErrnum = -9999999;
constexpr int kMaxErrnum = 99999999;

constexpr std::string_view kFramePrefix = " ***";
constexpr std::string_view kBodyPrefix = " *  ";

// Text without its trailing blanks.
std::string_view trim_right(std::string_view s) {
  const auto last = s.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view{} : s.substr(0, last + 1);
}

// The line prefix: PREFIX_LEN < 0 takes the whole prefix, otherwise that many
// characters; never more than 16. Like any fixed-length text, a prefix asked
// for beyond its end is padded with blanks.
std::string line_prefix(std::string_view prefix, int prefix_len) {
  std::size_t p = prefix_len < 0 ? prefix.size() : static_cast<std::size_t>(prefix_len);
  p = std::min(p, kMaxPrefix);
  std::string out(prefix.substr(0, std::min(p, prefix.size())));
  out.resize(p, ' ');
  return out;
}

// One step of the line breaking of msg (already without trailing blanks) from
// offset c: the piece to print, msg[begin, begin + length), and the offset to
// go on from. A "$$" right at c prints nothing (print is false).
struct Piece {
  bool print;
  std::size_t begin;
  std::size_t length;
  std::size_t next;
};

Piece next_piece(std::string_view msg, std::size_t c, std::size_t w) {
  const std::size_t n = msg.size();
  const std::size_t rest = n - c;
  const std::size_t mark = msg.find("$$", c);
  // k: 1-based position of the mark counted from c; 0 when there is none.
  const std::size_t k = mark == std::string_view::npos ? 0 : mark - c + 1;
  if (k == 1) return {false, c, 0, c + 2};
  if (k >= 2 && k <= w + 1) return {true, c, k - 1, c + k + 1};
  const std::size_t len = std::min(w, rest);
  if (rest <= len) return {true, c, len, c + len};
  // Too long: break at the rightmost blank among rest positions len+1 .. 2,
  // dropping the blank; with none, cut hard after len characters.
  for (std::size_t i = len + 1; i >= 2; --i) {
    if (msg[c + i - 1] == ' ') return {true, c, i - 1, c + i};
  }
  return {true, c, len, c + len};
}

std::string level_line(int severity) {
  std::string line = severity <= 0   ? "INFORMATIVE MESSAGE,"
                     : severity == 1 ? "POTENTIALLY RECOVERABLE ERROR,"
                                     : "FATAL ERROR,";
  line += severity == 2 ? " PROGRAM ABORTED." : " PROGRAM CONTINUES.";
  return line;
}

// "ERROR NUMBER = " and the number without the blanks the I8 field puts in
// front of it.
std::string error_number_line(int errnum) {
  std::string field(kReportWidth, ' ');
  write_into_field(field, "('ERROR NUMBER = ', I8)", {errnum});
  constexpr std::size_t kNumberStart = 15;  // column 16
  constexpr std::size_t kLastPadColumn = 21;  // column 22: I8 leaves at least one digit
  std::size_t first = kNumberStart;
  while (first <= kLastPadColumn && field[first] == ' ') ++first;
  return field.substr(0, kNumberStart) + field.substr(first);
}

}  // namespace

int MACHINE_UNIT(int /*i*/) { return kStandardOutputUnit; }

void ERR_HALT(std::string_view /*text*/) { stop({}, kExitBadInput); }

void ERR_PRINT(Units& io, std::string_view PREFIX, int PREFIX_LEN, std::string_view MSG, int WIDTH) {
  const int unit = MACHINE_UNIT(0);
  const std::string prefix = line_prefix(PREFIX, PREFIX_LEN);
  const auto w = static_cast<std::size_t>(std::clamp(WIDTH, kMinWidth, kMaxWidth));
  const std::string_view msg = trim_right(MSG);
  std::string line;
  line.reserve(prefix.size() + w);
  if (msg.empty()) {
    line = prefix + " ";
    io.write_formatted(unit, "(A)", {std::string_view(line)});
    return;
  }
  std::size_t c = 0;
  while (c < msg.size()) {
    const Piece piece = next_piece(msg, c, w);
    c = piece.next;
    if (!piece.print) continue;
    line.assign(prefix);
    line.append(msg.substr(piece.begin, piece.length));
    io.write_formatted(unit, "(A)", {std::string_view(line)});
  }
}

void XERMSG(Units& io, std::string_view LIBNAME, std::string_view ROUTINE, std::string_view MSG,
            int ERRNUM, int SEVERITY) {
  if (ERRNUM < kMinErrnum || ERRNUM > kMaxErrnum || ERRNUM == 0 || SEVERITY < -1 ||
      SEVERITY > 2) {
    ERR_PRINT(io, kFramePrefix, -1,
              "FATAL ERROR IN...$$ XERMSG -- INVALID ERROR NUMBER OR LEVEL$$ "
              "JOB ABORT DUE TO FATAL ERROR.",
              kReportWidth);
    ERR_HALT(" ***XERMSG -- INVALID INPUT");
  }
  std::string heading = "MESSAGE FROM ROUTINE ";
  heading += ROUTINE.substr(0, kMaxNamePart);
  heading += " IN LIBRARY ";
  heading += LIBNAME.substr(0, kMaxNamePart);
  heading += ".";
  ERR_PRINT(io, kFramePrefix, -1, heading, kReportWidth);
  ERR_PRINT(io, kFramePrefix, -1, level_line(SEVERITY), kReportWidth);
  ERR_PRINT(io, kBodyPrefix, -1, MSG, kReportWidth);
  ERR_PRINT(io, kBodyPrefix, -1, error_number_line(ERRNUM), kReportWidth);
  ERR_PRINT(io, kBodyPrefix, -1, " ", kReportWidth);
  ERR_PRINT(io, kFramePrefix, -1, "END OF MESSAGE", kReportWidth);
  ERR_PRINT(io, "", 0, " ", kReportWidth);
  if (SEVERITY <= 1) return;
  ERR_PRINT(io, kFramePrefix, -1, "JOB ABORT DUE TO FATAL ERROR.", kReportWidth);
  ERR_HALT(" ***XERMSG -- FATAL ERROR");
}

}  // namespace qz5
