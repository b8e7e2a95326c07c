// Reading kinetics files: what a valid file gives, evaluated at chosen
// points against values worked out by hand, and a table of malformed files,
// each refused with its file, its line and the reason.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kinetics/kinetics_test_util.h"

namespace qz5::kinetics_test {
namespace {

constexpr const char* kValid = R"toml(title = "test kinetics"
definitions = [
  "kdT = kd * 1.047^(temperature - 20)",
  "twice = 2 * kdT",
]
[[constituents]]
name = "BOD"
unit = "mg/L"
[[constituents]]
name = "DO"
[[constituents]]
name = "store"
transported = false

[parameters]
kd = 0.35
ka = { value = 0.8, unit = "1/day", min = 0.0, max = 10.0, description = "reaeration" }
depth = { table = [[0.0, 1.0], [1000.0, 3.0]] }

[forcings]
temperature = "temp.csv"
light = { file = "two.csv", column = "I" }

[rates]
BOD = "-kdT * BOD"
DO = "-twice * BOD + ka * (8 - DO) / depth + light + t + x + area + dispersion + flow"
)toml";

struct Loaded {
  fs::path dir;
  std::shared_ptr<const DeclaredKinetics> k;
};

Loaded load_valid() {
  Loaded l{fresh_dir("reader"), nullptr};
  write_file(l.dir / "temp.csv", "time,T\n0,20\n3,30\n");
  write_file(l.dir / "two.csv", "# light\ntime, Q, I\n0, 1, 100\n10, 1, 200\n");
  l.k = DeclaredKinetics::read_text(kValid, "valid.toml", l.dir);
  return l;
}

TEST(KineticsFile, ValidFileGivesItsDeclarations) {
  const Loaded l = load_valid();
  const DeclaredKinetics& k = *l.k;
  EXPECT_EQ(k.title(), "test kinetics");
  ASSERT_EQ(k.ncomp(), 3);
  EXPECT_EQ(k.constituents()[0].name, "BOD");
  EXPECT_EQ(k.constituents()[0].unit, "mg/L");
  EXPECT_EQ(k.constituents()[1].unit, "");
  EXPECT_TRUE(k.constituents()[1].transported);
  EXPECT_FALSE(k.constituents()[2].transported);
  ASSERT_EQ(k.parameters().size(), 3u);
  EXPECT_EQ(k.parameters()[1].name, "ka");
  EXPECT_EQ(k.parameters()[1].max, 10.0);
  EXPECT_EQ(k.parameters()[1].description, "reaeration");
  EXPECT_TRUE(k.parameters()[2].varies());
  EXPECT_EQ(k.forcings()[1].column, "I");
  EXPECT_EQ(k.rate(2), "");
  fs::remove_all(l.dir);
}

TEST(KineticsFile, RatesAtChosenPointsEqualTheHandComputedValues) {
  const Loaded l = load_valid();
  Inputs ms;
  ms.NCOMP = 3;
  for (int k = 1; k <= 3; ++k) ms.CCONV(k) = 2.0;  // file value = 2 * model value
  auto ev = l.k->evaluator(ms);
  // t = 1.5: temperature halfway between 20 and 30, light 100 + 0.15 * 100;
  // x = 250: depth a quarter of the way from 1 to 3.
  const ReactionPoint p{0.0, 0.0, 1.5, 250.0, 7.0, 11.0, 13.0};
  const double U[3] = {2.0, 3.0, 5.0};
  double RX[3] = {-1, -1, -1};
  ASSERT_TRUE(ev->rates(p, U, U, RX));
  const double kdT = 0.35 * std::pow(1.047, 25.0 - 20.0);
  const double bod = 4.0, dox = 6.0;
  EXPECT_NEAR(RX[0], -kdT * bod, 1e-15);
  const double expected_do =
      -2 * kdT * bod + 0.8 * (8 - dox) / 1.5 + 115.0 + 1.5 + 250.0 + 7.0 + 11.0 + 13.0;
  EXPECT_NEAR(RX[1], expected_do, 1e-12 * std::abs(expected_do));
  EXPECT_EQ(RX[2], 0.0);  // no rate given
  // Outside the tables the end values hold.
  const ReactionPoint far{0.0, 0.0, 50.0, 5000.0, 0.0, 0.0, 0.0};
  ASSERT_TRUE(ev->rates(far, U, U, RX));
  const double kdT30 = 0.35 * std::pow(1.047, 10.0);
  EXPECT_NEAR(RX[1], -2 * kdT30 * bod + 0.8 * (8 - dox) / 3.0 + 200.0 + 50.0 + 5000.0, 1e-11);
  fs::remove_all(l.dir);
}

TEST(KineticsFile, ParameterSetByNameAndItsBounds) {
  const Loaded l = load_valid();
  const auto changed = l.k->with_parameter("ka", 0.4);
  EXPECT_EQ(changed->parameters()[1].value, 0.4);
  EXPECT_EQ(l.k->parameters()[1].value, 0.8);  // the original is untouched
  EXPECT_THROW(l.k->with_parameter("ka", 11.0), KineticsError);
  EXPECT_THROW(l.k->with_parameter("depth", 1.0), KineticsError);
  EXPECT_THROW(l.k->with_parameter("nope", 1.0), KineticsError);
  fs::remove_all(l.dir);
}

TEST(KineticsFile, NonFiniteRateIsReported) {
  const auto k = DeclaredKinetics::read_text(
      "[[constituents]]\nname = \"C\"\n[rates]\nC = \"log(C)\"\n", "nan.toml");
  Inputs ms;
  ms.NCOMP = 1;
  ms.CCONV(1) = 1.0;
  auto ev = k->evaluator(ms);
  const double zero[1] = {0.0}, neg[1] = {-1.0}, one[1] = {1.0};
  double RX[1];
  EXPECT_FALSE(ev->rates({}, zero, zero, RX));  // -inf
  EXPECT_FALSE(ev->rates({}, neg, neg, RX));    // NaN
  EXPECT_TRUE(ev->rates({}, one, one, RX));
  EXPECT_EQ(RX[0], 0.0);
}

struct Malformed {
  const char* what;
  const char* text;
  const char* where;   // "file:line:" expected at the start of the message
  const char* reason;  // expected inside the message
};

const Malformed kMalformed[] = {
    {"TOML error", "[[constituents]]\nname = \"A\"\nunit = \n", "bad.toml:3:", "value"},
    {"unknown top-level key", "[[constituents]]\nname = \"A\"\n[rate]\nA = \"0\"\n",
     "bad.toml:3:", "unknown key \"rate\""},
    {"no constituents", "[parameters]\nk = 1\n", "bad.toml:1:", "no [[constituents]]"},
    {"constituent without a name", "[[constituents]]\nunit = \"mg/L\"\n", "bad.toml:1:",
     "a constituent without a name"},
    {"duplicate name", "[[constituents]]\nname = \"A\"\n[parameters]\nk = 1\nA = 2\n",
     "bad.toml:5:", "duplicate name \"A\" (first declared on line 1)"},
    {"reserved name", "[[constituents]]\nname = \"t\"\n", "bad.toml:1:",
     "constituent name \"t\" is reserved"},
    {"name of a function", "[[constituents]]\nname = \"A\"\n[parameters]\nexp = 1\n",
     "bad.toml:4:", "parameter name \"exp\" is a function"},
    {"not a name", "[[constituents]]\nname = \"2x\"\n", "bad.toml:1:", "is not a name"},
    {"unknown name in a rate", "[[constituents]]\nname = \"A\"\n[rates]\nA = \"-kx * A\"\n",
     "bad.toml:4:", "rate of A: unknown name \"kx\" at position 2 in \"-kx * A\""},
    {"syntax error", "[[constituents]]\nname = \"A\"\n[parameters]\nk = 1\n[rates]\nA = \"-k * * A\"\n",
     "bad.toml:6:", "at position 6 in \"-k * * A\""},
    {"missing parenthesis", "[[constituents]]\nname = \"A\"\n[rates]\nA = \"(A\"\n", "bad.toml:4:",
     "missing parenthesis"},
    {"rate for an undeclared constituent", "[[constituents]]\nname = \"A\"\n[rates]\nB = \"0\"\n",
     "bad.toml:4:", "rate for \"B\", which is not a declared constituent"},
    {"definition used before it is defined",
     "definitions = [\n  \"a = 2 * b\",\n  \"b = 3\",\n]\n[[constituents]]\nname = \"A\"\n",
     "bad.toml:2:", "definition \"b\" (line 3) is used before it is defined, at position 5 in \"2 * b\""},
    {"definition without '='", "definitions = [\"a 2\"]\n[[constituents]]\nname = \"A\"\n",
     "bad.toml:1:", "not of the form name = expression"},
    {"assignment in a rate", "[[constituents]]\nname = \"A\"\n[rates]\nA = \"A = 3\"\n",
     "bad.toml:4:", "cannot assign (\"=\" at position 3"},
    {"two expressions in a rate", "[[constituents]]\nname = \"A\"\n[rates]\nA = \"1, 2\"\n",
     "bad.toml:4:", "one expression expected, found 2"},
    {"table positions do not increase",
     "[[constituents]]\nname = \"A\"\n[parameters]\nd = { table = [\n  [0.0, 1.0],\n  [5.0, 2.0],\n"
     "  [5.0, 3.0],\n] }\n",
     "bad.toml:7:", "table positions must increase (5 after 5)"},
    {"value outside min .. max",
     "[[constituents]]\nname = \"A\"\n[parameters]\nk = { value = 2, max = 1 }\n", "bad.toml:4:",
     "outside its min .. max"},
    {"table value outside min .. max",
     "[[constituents]]\nname = \"A\"\n[parameters]\n"
     "d = { table = [[0.0, 1.0], [5.0, -2.0]], min = 0 }\n",
     "bad.toml:4:", "the table's value -2 at 5 is outside its min .. max"},
    {"parameter of the wrong type", "[[constituents]]\nname = \"A\"\n[parameters]\nk = \"x\"\n",
     "bad.toml:4:", "must be a number or a table"},
    {"forcing file cannot be read", "[[constituents]]\nname = \"A\"\n[forcings]\nT = \"none.csv\"\n",
     "bad.toml:4:", "forcing T: cannot read file"},
    {"forcing row not a number", "[[constituents]]\nname = \"A\"\n[forcings]\nT = \"bad.csv\"\n",
     "bad.csv:3:", "not a number"},
    {"forcing times decrease", "[[constituents]]\nname = \"A\"\n[forcings]\nT = \"back.csv\"\n",
     "back.csv:4:", "times must increase"},
    {"forcing column missing",
     "[[constituents]]\nname = \"A\"\n[forcings]\nT = { file = \"back.csv\", column = \"Z\" }\n",
     "back.csv:1:", "no column \"Z\""},
};

TEST(KineticsFile, MalformedFilesAreRefusedWithFileLineAndReason) {
  const fs::path dir = fresh_dir("malformed");
  write_file(dir / "bad.csv", "time,T\n0,20\n1,warm\n");
  write_file(dir / "back.csv", "time,T\n0,20\n2,21\n1,22\n");
  for (const Malformed& m : kMalformed) {
    SCOPED_TRACE(m.what);
    std::string message;
    try {
      DeclaredKinetics::read_text(m.text, (dir / "bad.toml").string(), dir);
    } catch (const KineticsError& e) {
      message = e.what();
    }
    ASSERT_FALSE(message.empty()) << "not refused";
    std::string shown = message;
    for (std::size_t at; (at = shown.find(dir.string() + "/")) != std::string::npos;)
      shown.erase(at, dir.string().size() + 1);
    std::printf("%-38s | %s\n", m.what, shown.c_str());
    const std::string where = (dir / m.where).string();
    EXPECT_EQ(message.rfind(where, 0), 0u) << message;
    EXPECT_NE(message.find(m.reason), std::string::npos) << message;
  }
  fs::remove_all(dir);
}

TEST(KineticsFile, MissingFileIsRefusedNamingIt) {
  try {
    DeclaredKinetics::read_file("/nonexistent/k.toml");
    FAIL() << "not refused";
  } catch (const KineticsError& e) {
    EXPECT_EQ(std::string(e.what()), "/nonexistent/k.toml: cannot be read");
  }
}

}  // namespace
}  // namespace qz5::kinetics_test
