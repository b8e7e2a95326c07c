// OUT_TXC: the block of the concentration output file and the console line.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "input/inputs.h"
#include "driver/out_txc.h"
#include "input/input_test_util.h"

namespace qz5 {
namespace {

using testing::Console;
using testing::ScratchDir;

class OutTxcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ms->NCOMP = 6;
    ms->TUNIT_MODEL = 86400.0;
    ms->TUNIT_DAY = 1.0;
    ms->XCONV = 1000.0;
    for (int k = 1; k <= 6; ++k) ms->CCONV(k) = 1.0;
    ms->CCONV(2) = 2.0;
  }
  // Writes the block of model values u (NCOMP + 1 per point, the model's
  // vector) at model time T, as a snapshot hands them over: in file units.
  void write(double T, const std::vector<double>& u, int npts) {
    std::vector<double> x, c;
    for (int j = 0; j < npts; ++j) {
      const double* point = u.data() + j * 7;
      x.push_back(point[6] * ms->XCONV);
      for (int k = 0; k < 6; ++k) c.push_back(point[k] * ms->CCONV(k + 1));
    }
    OUT_TXC(con.io, kUnitTxc, T * (ms->TUNIT_DAY / ms->TUNIT_MODEL), x.data(), c.data(), 6, npts);
  }
  // Writes one block for model time T and returns the file's text.
  std::string block(double T, const std::vector<double>& u, int npts) {
    const std::string file = dir.file("out.txc");
    con.io.open_new(kUnitTxc, file);
    write(T, u, npts);
    con.io.close(kUnitTxc);
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  ScratchDir dir;
  Console con;
  std::unique_ptr<Inputs> ms = testing::new_state();
};

TEST_F(OutTxcTest, OneLinePerPointInFileUnits) {
  // Point 1: model position 2.5 -> 2500 file units; concentrations chosen to
  // hit the G13.5 cases: below 0.1 and from 100000 up in E form, a value
  // whose single-precision rounding changes its fifth digit (1.00005 is
  // 1.0000499... as a float, 1.0000500...01 as a double), a value below 1
  // written without a leading zero, the largest fixed-point value, negative.
  // Point 2: model position 3 -> 3000; 61728 * CCONV(2) = 123456.
  const std::vector<double> u = {0.05,   61728.0, 1.00005, 0.5, 99999.0, 100000.0, 2.5,
                                 -3.25,  0.25,    1.23455, 7.0, 0.125,   12.5,     3.0};
  const std::string text = block(129600.0, u, 2);
  const std::string f_time = "    1.5000    ";
  const std::string expected =
      f_time + "    2500.0    " + "    .50000E-01" + "    .12346E+06" + "    1.0000    " +
      "    .50000    " + "    99999.    " + "    .10000E+06" + "\n" +
      f_time + "    3000.0    " + "   -3.2500    " + "    .50000    " + "    1.2345    " +
      "    7.0000    " + "    .12500    " + "    12.500    " + "\n";
  EXPECT_EQ(text.substr(0, text.find('\n')).size(), 112u);
  EXPECT_EQ(text, expected);
}

TEST_F(OutTxcTest, ConsoleLineForOneAndAHalfDays) {
  const std::vector<double> u(7, 1.0);
  block(129600.0, u, 1);
  // A blank, the text with its trailing blank, the G13.5 field (three
  // blanks, 1.5000, four blanks) and " days".
  EXPECT_EQ(con.text(), " Saving data at:    1.5000     days\n");
}

TEST_F(OutTxcTest, BlocksFollowOneAnotherWithoutSeparator) {
  const std::string file = dir.file("two.txc");
  con.io.open_new(kUnitTxc, file);
  const std::vector<double> u = {1, 1, 1, 1, 1, 1, 0.5, 1, 1, 1, 1, 1, 1, 1.0};
  write(0.0, u, 2);
  write(86400.0 * 3, u, 2);
  con.io.close(kUnitTxc);
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u);
  for (const auto& line : lines) EXPECT_EQ(line.size(), 112u);
  EXPECT_EQ(lines[2].substr(0, 28), "    3.0000        500.00    ");
  EXPECT_EQ(lines[3].substr(0, 28), "    3.0000        1000.0    ");
  EXPECT_EQ(con.lines().size(), 2u);
}

}  // namespace
}  // namespace qz5
