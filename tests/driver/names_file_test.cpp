// Where the executable takes the names file from: the command line, else
// the console prompt, which belongs to the executable (the engine's readers
// take a path); and the legacy notes the executable writes for the engine.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "driver/cli_options.h"
#include "driver/run_driver.h"

namespace qz5 {
namespace {

TEST(NamesFile, PromptsOnlyWithoutAnArgument) {
  {
    std::istringstream typed("typed.fn   \nignored\n");
    std::ostringstream out;
    Units io(typed, out);
    const char* argv[] = {"qz5"};
    EXPECT_EQ(names_file_name(io, parse_command_line(1, argv)), "typed.fn");
    const std::string prompt = " Enter filename of names file [*.fn]: ";
    // No line end after the prompt: the answer is typed on the same line.
    EXPECT_EQ(out.str(), prompt);
  }
  {
    std::istringstream typed("typed.fn\n");
    std::ostringstream out;
    Units io(typed, out);
    const char* argv[] = {"qz5", "given.fn"};
    EXPECT_EQ(names_file_name(io, parse_command_line(2, argv)), "given.fn");
    EXPECT_EQ(out.str(), "");
  }
}

TEST(NamesFile, ANameLongerThanTheLegacyFieldIsCut) {
  std::istringstream typed;
  std::ostringstream out;
  Units io(typed, out);
  const std::string long_name(100, 'n');
  const char* argv[] = {"qz5", long_name.c_str()};
  EXPECT_EQ(names_file_name(io, parse_command_line(2, argv)), std::string(80, 'n'));
}

// E12.4 writes no zero before the point: 86400 is .8640E+05.
TEST(LegacyNotes, IllegalSolutionLineInRuninf) {
  std::istringstream in;
  std::ostringstream out;
  Units io(in, out);
  const std::string file = ::testing::TempDir() + "/qz5_note_runinf";
  io.open_new(kUnitRuninf, file);
  note_illegal_solution(io, 86400.0);
  note_illegal_solution(io, -0.5);
  io.close(kUnitRuninf);
  std::ifstream back(file);
  std::stringstream text;
  text << back.rdbuf();
  EXPECT_EQ(text.str(), " Illegal solution at T=    .8640E+05\n Illegal solution at T=   -.5000E+00\n");
}

}  // namespace
}  // namespace qz5
