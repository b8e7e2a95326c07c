// The unit table: console streams, files opened and closed by number,
// line ends, '$', flushing on close and on destruction, misuse.
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "textio/textio.h"

namespace qz5 {
namespace {

using namespace std::string_view_literals;

std::string read_file(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream text;
  text << f.rdbuf();
  return text.str();
}

Stop stop_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const Stop& s) {
    return s;
  }
  ADD_FAILURE() << "no stop";
  return Stop{"", -1};
}

class UnitsFiles : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::path(testing::TempDir()) /
           (std::string("qz5_textio_") + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const char* name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
  std::istringstream in_;
  std::ostringstream out_;
};

TEST(UnitsConsole, WritesGoToTheConsoleStream) {
  std::istringstream in;
  std::ostringstream out;
  Units units(in, out);
  units.write_formatted(kUnitConsoleOut, "(1x,A,G13.5,A)", {"Saving data at: "sv, 1.5, " days"sv});
  units.write_list(kUnitConsoleOut, {"Statistics:"sv});
  units.write_line(kUnitConsoleOut, "Ready");
  EXPECT_EQ(out.str(), " Saving data at:    1.5000     days\n Statistics:\nReady\n");
  EXPECT_TRUE(units.is_open(kUnitConsoleIn));
  EXPECT_TRUE(units.is_open(kUnitConsoleOut));
  EXPECT_EQ(units.file_name(kUnitConsoleOut), "");
}

TEST(UnitsConsole, DollarLeavesTheLineOpenForTheAnswer) {
  std::istringstream in("run.fn\n");
  std::ostringstream out;
  Units units(in, out);
  units.write_formatted(kUnitConsoleOut, "(1x,a,$)", {"Enter filename of names file [*.fn]: "sv});
  std::string name;
  units.read_line(kUnitConsoleIn, name, 80);
  units.write_list(kUnitConsoleOut, {" "sv});
  EXPECT_EQ(out.str(), " Enter filename of names file [*.fn]:   \n");
  EXPECT_EQ(name.substr(0, 7), "run.fn ");
}

TEST(UnitsConsole, ReversionWritesSeveralLines) {
  std::istringstream in;
  std::ostringstream out;
  Units units(in, out);
  units.write_formatted(kUnitConsoleOut, "(I3)", {1, 2});
  EXPECT_EQ(out.str(), "  1\n  2\n");
}

// Records whether the console was flushed before input was read.
class SyncCountingBuffer : public std::stringbuf {
 public:
  int syncs = 0;

 protected:
  int sync() override {
    ++syncs;
    return 0;
  }
};

TEST(UnitsConsole, PromptIsFlushedBeforeTheConsoleIsRead) {
  std::istringstream in("x\n");
  SyncCountingBuffer buffer;
  std::ostream out(&buffer);
  Units units(in, out);
  units.write_formatted(kUnitConsoleOut, "(1x,a,$)", {"Name: "sv});
  const int before = buffer.syncs;
  std::string name;
  units.read_line(kUnitConsoleIn, name, 1);
  EXPECT_GT(buffer.syncs, before);
}

TEST(UnitsConsole, MisuseIsAProgrammingError) {
  std::istringstream in;
  std::ostringstream out;
  Units units(in, out);
  int n = 0;
  std::string line;
  EXPECT_THROW(units.write_line(kUnitResult, "x"), std::logic_error);
  EXPECT_THROW(units.write_line(kUnitConsoleIn, "x"), std::logic_error);
  EXPECT_THROW(units.output(kUnitTxc), std::logic_error);
  EXPECT_THROW(units.read_list(kUnitConsoleOut, {&n}), std::logic_error);
  EXPECT_THROW(units.read_line(kUnitInput, line, 4), std::logic_error);
  EXPECT_THROW(units.open_new(kUnitConsoleOut, "x"), std::logic_error);
  units.close(kUnitResult);      // not open: nothing happens
  units.close(kUnitConsoleOut);  // the console stays
  EXPECT_TRUE(units.is_open(kUnitConsoleOut));
}

TEST_F(UnitsFiles, OutputFilesAreCreatedReplacedAndFlushedOnClose) {
  const std::string result = path("RESULT");
  {
    std::ofstream old(result);
    old << "old contents that must disappear\n";
  }
  Units units(in_, out_);
  units.open_new(kUnitResult, result);
  EXPECT_TRUE(units.is_open(kUnitResult));
  EXPECT_EQ(units.file_name(kUnitResult), result);
  units.write_formatted(kUnitResult, "(A80)", {" Advection dispersion with QZ5"sv});
  units.write_list(kUnitResult, {"IDID="sv, -1});
  units.close(kUnitResult);
  EXPECT_FALSE(units.is_open(kUnitResult));
  EXPECT_EQ(read_file(result), " Advection dispersion with QZ5" + std::string(50, ' ') + "\n IDID=" +
                                   std::string(10, ' ') + "-1\n");
  EXPECT_EQ(out_.str(), "");  // nothing leaked to the console
}

TEST_F(UnitsFiles, TrailingBlanksOfAFileNameFieldAreNotPartOfTheName) {
  const std::string name = path("a.drv");
  {
    std::ofstream f(name);
    f << "1.0 2.0\n";
  }
  Units units(in_, out_);
  std::string field = name;
  field.resize(name.size() + 20, ' ');
  units.open_existing(kUnitInput, field);
  EXPECT_EQ(units.file_name(kUnitInput), name);
  double t = 0.0, v = 0.0;
  units.read_list(kUnitInput, {&t, &v});
  EXPECT_EQ(t, 1.0);
  EXPECT_EQ(v, 2.0);
  units.close(kUnitInput);
  EXPECT_FALSE(units.is_open(kUnitInput));
}

TEST_F(UnitsFiles, OpeningFailuresStopNamingTheFile) {
  Units units(in_, out_);
  const std::string missing = path("missing.prm");
  Stop s = stop_of([&] { units.open_existing(kUnitInput, missing); });
  EXPECT_EQ(s.text, "Error opening file \"" + missing + "\": file not found or not readable");
  EXPECT_EQ(s.status, kExitBadInput);
  EXPECT_FALSE(units.is_open(kUnitInput));

  // A directory is not a readable input file.
  s = stop_of([&] { units.open_existing(kUnitInput, dir_.string()); });
  EXPECT_EQ(s.text, "Error opening file \"" + dir_.string() + "\": file not found or not readable");

  const std::string unwritable = path("no_such_dir/RESULT");
  s = stop_of([&] { units.open_new(kUnitResult, unwritable); });
  EXPECT_EQ(s.text, "Error creating file \"" + unwritable + "\": cannot be written");
  EXPECT_EQ(s.status, kExitBadInput);
  EXPECT_FALSE(units.is_open(kUnitResult));
}

TEST_F(UnitsFiles, DestructorAndCloseAllFlushEverything) {
  const std::string result = path("RESULT");
  const std::string runinf = path("RUNINF");
  const std::string txc = path("out.txc");
  {
    Units units(in_, out_);
    units.open_new(kUnitResult, result);
    units.open_new(kUnitRuninf, runinf);
    units.write_line(kUnitResult, "r");
    units.write_line(kUnitRuninf, "i");
    EXPECT_FALSE(units.close_all());
    EXPECT_FALSE(units.is_open(kUnitResult));
    EXPECT_FALSE(units.is_open(kUnitRuninf));
    EXPECT_TRUE(units.is_open(kUnitConsoleOut));
    EXPECT_EQ(read_file(result), "r\n");
    EXPECT_EQ(read_file(runinf), "i\n");

    // A unit left open when a stop unwinds the program is still complete.
    units.open_new(kUnitTxc, txc);
    for (int i = 0; i < 1000; ++i) {
      units.write_formatted(kUnitTxc, "(1x,G13.5, 7(1x,G13.5))",
                            {0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f});
    }
  }
  const std::string text = read_file(txc);
  EXPECT_EQ(text.size(), 1000u * 113u);  // 112 characters and a line end per line
  EXPECT_EQ(text.substr(0, 28), "    .50000        1.5000    ");
}

TEST_F(UnitsFiles, InputAndOutputUnitsIndependent) {
  const std::string input = path("x.t");
  {
    std::ofstream f(input);
    f << "0.0\n1.0\n";
  }
  Units units(in_, out_);
  units.open_new(kUnitResult, path("RESULT"));
  units.open_existing(kUnitInput, input);
  double t = -1.0;
  int count = 0;
  while (units.read_list(kUnitInput, {&t}, true) == ReadStatus::kOk) {
    units.write_formatted(kUnitResult, "(E13.5)", {t});
    ++count;
  }
  EXPECT_EQ(count, 2);
  EXPECT_EQ(units.line_number(kUnitInput), 2);
  EXPECT_THROW(units.write_line(kUnitInput, "x"), std::logic_error);
  EXPECT_FALSE(units.close_all());
  EXPECT_EQ(read_file(path("RESULT")), "   .00000E+00\n   .10000E+01\n");
}

TEST_F(UnitsFiles, FlushPushesTheWrittenLinesToTheFile) {
  const std::string result = path("RESULT");
  Units units(in_, out_);
  units.open_new(kUnitResult, result);
  units.write_line(kUnitResult, "block 1");
  EXPECT_EQ(read_file(result), "");  // still in the stream's buffer
  units.flush(kUnitResult);
  EXPECT_EQ(read_file(result), "block 1\n");
  EXPECT_TRUE(units.is_open(kUnitResult));
  units.write_line(kUnitResult, "block 2");
  units.flush(kUnitResult);
  EXPECT_EQ(read_file(result), "block 1\nblock 2\n");

  SyncCountingBuffer buffer;
  std::ostream console(&buffer);
  Units on_console(in_, console);
  on_console.flush(kUnitConsoleOut);
  EXPECT_EQ(buffer.syncs, 1);
  EXPECT_THROW(units.flush(kUnitTxc), std::logic_error);
  EXPECT_THROW(units.flush(kUnitConsoleIn), std::logic_error);
}

// /dev/full takes the file open but refuses every byte: a unit on it fails
// when its buffer is pushed out, by a flush, by enough writes or by the
// close. Each way gives the message of a failed write naming the file, once;
// the other file is still closed and complete, and close_all never throws.
TEST_F(UnitsFiles, OutputThatCannotBeWrittenStopsNamingTheFileAndLosesNothingElse) {
  const std::string full = "/dev/full";
  if (!std::filesystem::exists(full)) GTEST_SKIP() << "no " << full;
  const std::string message = "Error writing file \"/dev/full\": cannot be written";
  struct Case {
    const char* name;
    std::function<void(Units&)> fail;  // must stop; null: nothing fails before close_all
  };
  const std::vector<Case> cases = {
      {"flush", [](Units& u) { u.flush(kUnitTxc); }},
      {"writes beyond the buffer",
       [](Units& u) {
         for (int i = 0; i < 100000; ++i) u.write_line(kUnitTxc, std::string(100, 'x'));
       }},
      {"close", [](Units& u) { u.close(kUnitTxc); }},
      {"close_all", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string result = path("RESULT");
    Units units(in_, out_);
    units.open_new(kUnitResult, result);
    units.open_new(kUnitTxc, full);
    units.write_line(kUnitResult, "r");
    units.write_line(kUnitTxc, "t");  // buffered: no failure yet
    if (c.fail) {
      const Stop s = stop_of([&] { c.fail(units); });
      EXPECT_EQ(s.text, message);
      EXPECT_EQ(s.status, kExitBadInput);
    }
    std::optional<Stop> failure;
    EXPECT_NO_THROW(failure = units.close_all());
    if (c.fail) {
      EXPECT_FALSE(failure) << failure->text;  // reported once, by the stop
    } else {
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->text, message);
      EXPECT_EQ(failure->status, kExitBadInput);
    }
    EXPECT_FALSE(units.is_open(kUnitTxc));
    EXPECT_FALSE(units.is_open(kUnitResult));
    EXPECT_EQ(read_file(result), "r\n");
  }
}

}  // namespace
}  // namespace qz5
