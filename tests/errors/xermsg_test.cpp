// The framed report, its line breaking and its halts. Every expected line
// below is worked out by hand from the breaking rules (width 72 unless
// stated): a piece is whatever precedes a reachable "$$", else the longest
// head ending before a blank found at rest positions width+1 down to 2, else
// a hard cut at the width.

#include "errors/xermsg.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace qz5 {
namespace {

using Lines = std::vector<std::string>;

std::string rep(char c, std::size_t n) { return std::string(n, c); }

// A unit table on string streams; lines() splits what reached the console.
class Console {
 private:
  // Declared before io: the unit table keeps references to them.
  std::istringstream in_;
  std::ostringstream out_;

 public:
  Console() : io(in_, out_) {}
  Lines lines() const {
    Lines result;
    std::istringstream s(out_.str());
    for (std::string line; std::getline(s, line);) result.push_back(line);
    return result;
  }
  std::string raw() const { return out_.str(); }
  Units io;
};

struct PrintCase {
  const char* name;
  std::string prefix;
  int prefix_len;
  std::string msg;
  int width;
  Lines expect;
};

TEST(ErrPrint, BreaksAtMarksBlanksOrTheWidth) {
  const std::string s = " *  ", abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const PrintCase cases[] = {
      // "$$" forces a break; runs of marks give no empty line.
      {"between two sentences",
       s,
       -1,
       "FIRST SENTENCE.$$SECOND ONE.",
       72,
       {s + "FIRST SENTENCE.", s + "SECOND ONE."}},
      {"message starting with the mark", s, -1, "$$$$HELLO", 72, {s + "HELLO"}},
      {"consecutive marks", s, -1, "A$$$$B", 72, {s + "A", s + "B"}},
      {"five dollars: the odd one is text", s, -1, "A$$$$$B", 72, {s + "A", s + "$B"}},
      {"mark at the end", s, -1, "END$$   ", 72, {s + "END"}},
      {"blank after the mark is kept", " ***", -1, "A$$ B", 72, {" ***A", " *** B"}},
      // 100 characters, blanks at 61 and 72; 73 is a C: break at 72.
      {"100 characters with blanks",
       s,
       -1,
       rep('A', 60) + " " + rep('B', 10) + " " + rep('C', 28),
       72,
       {s + rep('A', 60) + " " + rep('B', 10), s + rep('C', 28)}},
      {"100-character word", s, -1, rep('X', 100), 72, {s + rep('X', 72), s + rep('X', 28)}},
      // The blank at 73 (width + 1) is the last one that may end a piece.
      {"blank right after the width",
       s,
       -1,
       rep('A', 72) + " " + rep('B', 27),
       72,
       {s + rep('A', 72), s + rep('B', 27)}},
      {"blank one beyond reach",
       s,
       -1,
       rep('A', 73) + " " + rep('B', 26),
       72,
       {s + rep('A', 72), s + "A " + rep('B', 26)}},
      // Position 1 is never a break: the leading blank stays, hard cut.
      {"only blank is the first character",
       s,
       -1,
       " " + rep('A', 99),
       72,
       {s + " " + rep('A', 71), s + rep('A', 28)}},
      {"double blank: the one at 71 stays",
       s,
       -1,
       rep('A', 70) + "  " + rep('B', 28),
       72,
       {s + rep('A', 70) + " ", s + rep('B', 28)}},
      {"exactly the width fits", s, -1, rep('A', 72), 72, {s + rep('A', 72)}},
      // "$$" at 82 > 73: break at the blank at 51; then the mark is reachable.
      {"blank before a far mark",
       s,
       -1,
       rep('A', 50) + " " + rep('B', 30) + "$$C",
       72,
       {s + rep('A', 50), s + rep('B', 30), s + "C"}},
      // "$$" at 73 is still a mark break: all 72 characters, blank included.
      {"mark right after the width",
       s,
       -1,
       rep('A', 30) + " " + rep('A', 41) + "$$B",
       72,
       {s + rep('A', 30) + " " + rep('A', 41), s + "B"}},
      {"mark one beyond reach",
       s,
       -1,
       rep('A', 73) + "$$B",
       72,
       {s + rep('A', 72), s + "A", s + "B"}},
      // Prefix length: -1 whole, cut to 16, padded beyond the text.
      {"no prefix", " ***", 0, "HELLO", 72, {"HELLO"}},
      {"first two characters", " ***", 2, "HELLO", 72, {" *HELLO"}},
      {"long prefix cut to 16", "0123456789ABCDEFGHIJ", -1, "HELLO", 72, {"0123456789ABCDEFHELLO"}},
      {"long length cut to 16", "0123456789ABCDEFGHIJ", 18, "HELLO", 72, {"0123456789ABCDEFHELLO"}},
      {"length beyond the prefix pads", " ***", 6, "HELLO   ", 72, {" ***  HELLO"}},
      // An empty message still gives the prefix and one blank.
      {"empty", s, -1, "", 72, {s + " "}},
      {"all blanks", " ***", -1, "     ", 72, {" *** "}},
      {"empty, no prefix", " ***", 0, "", 72, {" "}},
      // The width is clamped to 16..132.
      {"width below 16", "", 0, abc, 5, {"ABCDEFGHIJKLMNOP", "QRSTUVWXYZ"}},
      {"negative width", "", 0, abc, -40, {"ABCDEFGHIJKLMNOP", "QRSTUVWXYZ"}},
      {"width 17", "", 0, abc, 17, {"ABCDEFGHIJKLMNOPQ", "RSTUVWXYZ"}},
      {"width 132", "", 0, rep('X', 140), 132, {rep('X', 132), rep('X', 8)}},
      {"width above 132", "", 0, rep('X', 140), 500, {rep('X', 132), rep('X', 8)}},
  };
  for (const PrintCase& c : cases) {
    SCOPED_TRACE(c.name);
    Console con;
    ERR_PRINT(con.io, c.prefix, c.prefix_len, c.msg, c.width);
    EXPECT_EQ(con.lines(), c.expect);
  }
}

TEST(Xermsg, LevelLineAndFrameForEachSeverity) {
  struct Case {
    int severity;
    const char* level;
  };
  const std::string head = " ***MESSAGE FROM ROUTINE DDASSL IN LIBRARY SLATEC.";
  for (const Case& k : {Case{-1, " ***INFORMATIVE MESSAGE, PROGRAM CONTINUES."},
                        Case{0, " ***INFORMATIVE MESSAGE, PROGRAM CONTINUES."},
                        Case{1, " ***POTENTIALLY RECOVERABLE ERROR, PROGRAM CONTINUES."},
                        Case{2, " ***FATAL ERROR, PROGRAM ABORTED."}}) {
    SCOPED_TRACE(k.severity);
    Console c;
    Lines expect{head,
                 k.level,
                 " *  LINE ONE",
                 " *  LINE TWO",
                 " *  ERROR NUMBER = 12",
                 " *   ",
                 " ***END OF MESSAGE",
                 " "};
    try {
      XERMSG(c.io, "SLATEC", "DDASSL", "LINE ONE$$LINE TWO", 12, k.severity);
      EXPECT_LT(k.severity, 2) << "a fatal report must stop";
    } catch (const Stop& s) {
      EXPECT_EQ(k.severity, 2);
      EXPECT_EQ(s.text, "Stop - Program terminated.");
      EXPECT_EQ(s.status, kExitBadInput);
      expect.push_back(" ***JOB ABORT DUE TO FATAL ERROR.");
    }
    EXPECT_EQ(c.lines(), expect);
    EXPECT_EQ(c.raw().back(), '\n');
  }
}

TEST(Xermsg, SevenLineLayoutWithTheErrorNumberAndNames) {
  for (const int errnum : {1, -1, -9999999, 99999999, 1234567}) {
    Console c;
    XERMSG(c.io, "SLATEC", "DDASSL", "SOMETHING WENT WRONG", errnum, 1);
    EXPECT_EQ(c.lines(),
              (Lines{" ***MESSAGE FROM ROUTINE DDASSL IN LIBRARY SLATEC.",
                     " ***POTENTIALLY RECOVERABLE ERROR, PROGRAM CONTINUES.",
                     " *  SOMETHING WENT WRONG", " *  ERROR NUMBER = " + std::to_string(errnum),
                     " *   ", " ***END OF MESSAGE", " "}));
  }
  Console c;
  XERMSG(c.io, "LIBRARYNAME12345678", "ABCDEFGHIJKLMNOPQRST", "M", 3, 1);
  EXPECT_EQ(c.lines().at(0),
            " ***MESSAGE FROM ROUTINE ABCDEFGHIJKLMNOP IN LIBRARY LIBRARYNAME12345.");
}

TEST(Xermsg, InvalidNumberOrLevelPrintsFixedTextAndStops) {
  struct Case {
    const char* name;
    int errnum, severity;
  };
  for (const Case& k : {Case{"ERRNUM 0", 0, 1}, Case{"ERRNUM below range", -10000000, 1},
                        Case{"ERRNUM above range", 100000000, 0}, Case{"SEVERITY -2", 5, -2},
                        Case{"SEVERITY 3", 5, 3}}) {
    SCOPED_TRACE(k.name);
    Console c;
    try {
      XERMSG(c.io, "SLATEC", "DDASSL", "NEVER PRINTED", k.errnum, k.severity);
      ADD_FAILURE() << "an invalid call must stop";
    } catch (const Stop& s) {
      EXPECT_EQ(s.text, "Stop - Program terminated.");
      EXPECT_EQ(s.status, kExitBadInput);
    }
    EXPECT_EQ(c.lines(),
              (Lines{" ***FATAL ERROR IN...", " *** XERMSG -- INVALID ERROR NUMBER OR LEVEL",
                     " *** JOB ABORT DUE TO FATAL ERROR."}));
  }
}

TEST(ErrHalt, StopsWithoutPrintingAndTheUnitIsTheConsole) {
  try {
    ERR_HALT(" ***SOME TEXT");
    FAIL() << "ERR_HALT must stop";
  } catch (const Stop& s) {
    EXPECT_EQ(s.text, "Stop - Program terminated.");
    EXPECT_EQ(s.status, kExitBadInput);
  }
  for (int i : {0, 1, 4, 6, -3}) EXPECT_EQ(MACHINE_UNIT(i), 6);
}

}  // namespace
}  // namespace qz5
