// The framed report, its line breaking and its halts. Every expected line
// below is worked out by hand from the breaking rules (width 72 unless
// stated): a piece is whatever precedes a reachable "$$", else the longest
// head ending before a blank found at rest positions width+1 down to 2, else
// a hard cut at the width.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "errors/xermsg.h"

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

Lines print(std::string_view prefix, int prefix_len, std::string_view msg, int width) {
  Console c;
  ERR_PRINT(c.io, prefix, prefix_len, msg, width);
  return c.lines();
}

struct PrintCase {
  const char* name;
  std::string prefix;
  int prefix_len;
  std::string msg;
  int width;
  Lines expect;
};

void run_cases(const std::vector<PrintCase>& cases) {
  for (const PrintCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(print(c.prefix, c.prefix_len, c.msg, c.width), c.expect);
  }
}

TEST(ErrPrint, DollarMarksForceBreaks) {
  run_cases({
      {"between two sentences", " *  ", -1, "FIRST SENTENCE.$$SECOND ONE.", 72,
       {" *  FIRST SENTENCE.", " *  SECOND ONE."}},
      {"message starting with the mark", " *  ", -1, "$$HELLO", 72, {" *  HELLO"}},
      {"consecutive marks give no empty line", " *  ", -1, "A$$$$B", 72, {" *  A", " *  B"}},
      {"marks only at the start", " *  ", -1, "$$$$X", 72, {" *  X"}},
      // A$$ | $$ | $B: the odd dollar is text.
      {"five dollars", " *  ", -1, "A$$$$$B", 72, {" *  A", " *  $B"}},
      {"mark at the end", " *  ", -1, "END$$   ", 72, {" *  END"}},
      {"blank after the mark is kept", " ***", -1, "A$$ B", 72, {" ***A", " *** B"}},
  });
}

TEST(ErrPrint, LongMessagesBreakAtTheLastReachableBlankOrAreCut) {
  run_cases({
      // Blanks at 61 and 72; 73 is a C: break at 72.
      {"100 characters with blanks", " *  ", -1, rep('A', 60) + " " + rep('B', 10) + " " + rep('C', 28),
       72, {" *  " + rep('A', 60) + " " + rep('B', 10), " *  " + rep('C', 28)}},
      // The blank at 73 (width + 1) is the last one that may end a piece.
      {"blank right after the width", " *  ", -1, rep('A', 72) + " " + rep('B', 27), 72,
       {" *  " + rep('A', 72), " *  " + rep('B', 27)}},
      // First blank at 74: out of reach, so a hard cut after 72.
      {"blank one beyond reach", " *  ", -1, rep('A', 73) + " " + rep('B', 26), 72,
       {" *  " + rep('A', 72), " *  A " + rep('B', 26)}},
      {"100-character word", " *  ", -1, rep('X', 100), 72, {" *  " + rep('X', 72), " *  " + rep('X', 28)}},
      // Position 1 is never a break: the leading blank stays, hard cut.
      {"only blank is the first character", " *  ", -1, " " + rep('A', 99), 72,
       {" *   " + rep('A', 71), " *  " + rep('A', 28)}},
      // Blanks at 71 and 72: the break is at 72, the blank at 71 stays.
      {"double blank", " *  ", -1, rep('A', 70) + "  " + rep('B', 28), 72,
       {" *  " + rep('A', 70) + " ", " *  " + rep('B', 28)}},
      {"exactly the width fits", " *  ", -1, rep('A', 72), 72, {" *  " + rep('A', 72)}},
  });
}

TEST(ErrPrint, MarkBeyondReachBreaksAsPlainText) {
  run_cases({
      // "$$" at 82 > 73: break at the blank at 51; then the mark is reachable.
      {"blank before a far mark", " *  ", -1, rep('A', 50) + " " + rep('B', 30) + "$$C", 72,
       {" *  " + rep('A', 50), " *  " + rep('B', 30), " *  C"}},
      // "$$" at 73 = width + 1: still a mark break, so the piece is all 72
      // characters, blank included, rather than ending at the blank.
      {"mark right after the width", " *  ", -1, rep('A', 30) + " " + rep('A', 41) + "$$B", 72,
       {" *  " + rep('A', 30) + " " + rep('A', 41), " *  B"}},
      // "$$" at 74: out of reach, no blank: hard cut; "A" then precedes the mark.
      {"mark one beyond reach", " *  ", -1, rep('A', 73) + "$$B", 72,
       {" *  " + rep('A', 72), " *  A", " *  B"}},
      {"far mark with the blank at width + 1", " *  ", -1, rep('A', 72) + " CCCCC$$D", 72,
       {" *  " + rep('A', 72), " *  CCCCC", " *  D"}},
  });
}

TEST(ErrPrint, PrefixLengthRules) {
  run_cases({
      {"whole prefix", " ***", -1, "HELLO", 72, {" ***HELLO"}},
      {"no prefix", " ***", 0, "HELLO", 72, {"HELLO"}},
      {"first two characters", " ***", 2, "HELLO", 72, {" *HELLO"}},
      {"long prefix cut to 16", "0123456789ABCDEFGHIJ", -1, "HELLO", 72, {"0123456789ABCDEFHELLO"}},
      {"long length cut to 16", "0123456789ABCDEFGHIJ", 18, "HELLO", 72, {"0123456789ABCDEFHELLO"}},
      // A fixed-length text read beyond its end is blank-padded.
      {"length beyond the prefix pads", " ***", 6, "HELLO", 72, {" ***  HELLO"}},
      {"trailing blanks of the message dropped", " ***", -1, "HELLO   ", 72, {" ***HELLO"}},
  });
}

TEST(ErrPrint, EmptyMessageGivesPrefixAndOneBlank) {
  run_cases({
      {"empty", " *  ", -1, "", 72, {" *   "}},
      {"all blanks", " ***", -1, "     ", 72, {" *** "}},
      {"no prefix", " ***", 0, "", 72, {" "}},
  });
}

TEST(ErrPrint, WidthIsClampedTo16Through132) {
  const std::string abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  run_cases({
      {"below 16", "", 0, abc, 5, {"ABCDEFGHIJKLMNOP", "QRSTUVWXYZ"}},
      {"negative", "", 0, abc, -40, {"ABCDEFGHIJKLMNOP", "QRSTUVWXYZ"}},
      {"16", "", 0, abc, 16, {"ABCDEFGHIJKLMNOP", "QRSTUVWXYZ"}},
      {"17", "", 0, abc, 17, {"ABCDEFGHIJKLMNOPQ", "RSTUVWXYZ"}},
      {"132", "", 0, rep('X', 140), 132, {rep('X', 132), rep('X', 8)}},
      {"above 132", "", 0, rep('X', 140), 500, {rep('X', 132), rep('X', 8)}},
  });
}

TEST(Xermsg, RecoverableReportHasTheSevenLineLayoutAndReturns) {
  Console c;
  XERMSG(c.io, "SLATEC", "DDASSL", "SOMETHING WENT WRONG", 5, 1);
  EXPECT_EQ(c.lines(), (Lines{" ***MESSAGE FROM ROUTINE DDASSL IN LIBRARY SLATEC.",
                              " ***POTENTIALLY RECOVERABLE ERROR, PROGRAM CONTINUES.",
                              " *  SOMETHING WENT WRONG",
                              " *  ERROR NUMBER = 5",
                              " *   ",
                              " ***END OF MESSAGE",
                              " "}));
  EXPECT_EQ(c.raw().back(), '\n');
}

TEST(Xermsg, InformativeLevelsAndMultiLineMessage) {
  for (int severity : {-1, 0}) {
    SCOPED_TRACE("SEVERITY " + std::to_string(severity));
    Console c;
    XERMSG(c.io, "SLATEC", "DDASSL", "LINE ONE$$LINE TWO", 12, severity);
    EXPECT_EQ(c.lines(), (Lines{" ***MESSAGE FROM ROUTINE DDASSL IN LIBRARY SLATEC.",
                                " ***INFORMATIVE MESSAGE, PROGRAM CONTINUES.",
                                " *  LINE ONE",
                                " *  LINE TWO",
                                " *  ERROR NUMBER = 12",
                                " *   ",
                                " ***END OF MESSAGE",
                                " "}));
  }
}

TEST(Xermsg, ErrorNumberLosesItsLeadingBlanks) {
  struct Case {
    int errnum;
    const char* line;
  };
  for (const Case& k : {Case{1, " *  ERROR NUMBER = 1"}, Case{-1, " *  ERROR NUMBER = -1"},
                        Case{-9999999, " *  ERROR NUMBER = -9999999"},
                        Case{99999999, " *  ERROR NUMBER = 99999999"},
                        Case{1234567, " *  ERROR NUMBER = 1234567"}}) {
    SCOPED_TRACE(k.line);
    Console c;
    XERMSG(c.io, "SLATEC", "DDASSL", "M", k.errnum, 1);
    ASSERT_EQ(c.lines().size(), 7u);
    EXPECT_EQ(c.lines()[3], k.line);
  }
}

TEST(Xermsg, NamesAreCutTo16Characters) {
  Console c;
  XERMSG(c.io, "LIBRARYNAME12345678", "ABCDEFGHIJKLMNOPQRST", "M", 3, 1);
  EXPECT_EQ(c.lines().at(0), " ***MESSAGE FROM ROUTINE ABCDEFGHIJKLMNOP IN LIBRARY LIBRARYNAME12345.");
}

TEST(Xermsg, FatalReportPrintsAbortLineThenStops) {
  Console c;
  try {
    XERMSG(c.io, "SLATEC", "DDASSL", "BAD", 41, 2);
    FAIL() << "a fatal report must stop";
  } catch (const Stop& s) {
    EXPECT_EQ(s.text, "Stop - Program terminated.");
    EXPECT_EQ(s.status, kExitBadInput);
  }
  EXPECT_EQ(c.lines(), (Lines{" ***MESSAGE FROM ROUTINE DDASSL IN LIBRARY SLATEC.",
                              " ***FATAL ERROR, PROGRAM ABORTED.",
                              " *  BAD",
                              " *  ERROR NUMBER = 41",
                              " *   ",
                              " ***END OF MESSAGE",
                              " ",
                              " ***JOB ABORT DUE TO FATAL ERROR."}));
}

TEST(Xermsg, InvalidNumberOrLevelPrintsFixedTextAndStops) {
  struct Case {
    const char* name;
    int errnum, severity;
  };
  const Lines fixed{" ***FATAL ERROR IN...", " *** XERMSG -- INVALID ERROR NUMBER OR LEVEL",
                    " *** JOB ABORT DUE TO FATAL ERROR."};
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
    EXPECT_EQ(c.lines(), fixed);
  }
}

TEST(ErrHalt, StopsWithoutPrintingItsArgument) {
  try {
    ERR_HALT(" ***SOME TEXT");
    FAIL() << "ERR_HALT must stop";
  } catch (const Stop& s) {
    EXPECT_EQ(s.text, "Stop - Program terminated.");
    EXPECT_EQ(s.status, kExitBadInput);
  }
}

TEST(MachineUnit, IsStandardOutputWhateverTheArgument) {
  for (int i : {0, 1, 4, 6, -3}) EXPECT_EQ(MACHINE_UNIT(i), 6);
}

}  // namespace
}  // namespace qz5
