// The time-stepping loop allocates nothing.
//
// Every allocation of this test program goes through the replacements of the
// global operator new below, which count them. After a warm-up - the first
// output time of the bundled scenario, which parses every format the loop
// uses and sizes the line buffer - the integrator's steps, with their
// residuals, iteration matrices and one progress line each, must leave the
// count unchanged. The replacements are the one piece of global state here:
// operator new can only be replaced globally.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "engine/callbacks.h"
#include "engine/run_session.h"
#include "kinetics/declared_kinetics.h"

namespace {
std::size_t allocation_count = 0;

void* counted_allocation(std::size_t size) {
  ++allocation_count;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return counted_allocation(size); }
void* operator new[](std::size_t size) { return counted_allocation(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++allocation_count;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  ++allocation_count;
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace qz5 {
namespace {

namespace fs = std::filesystem;

fs::path example_dir() {
  return fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "estuary";
}

// A scratch copy of the bundled scenario.
class ScratchCopy {
 public:
  explicit ScratchCopy(const std::string& tag)
      : dir_(fs::temp_directory_path() /
             ("qz5-alloc-" + tag + "-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const auto& entry : fs::directory_iterator(example_dir()))
      fs::copy_file(entry.path(), dir_ / entry.path().filename());
  }
  ~ScratchCopy() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  const fs::path& path() const { return dir_; }

 private:
  fs::path dir_;
};

TEST(AllocationCounter, SeesEveryKindOfAllocation) {
  // Without this the zero counts below would prove nothing.
  const std::size_t before = allocation_count;
  auto one = std::make_unique<double>(1.0);
  auto many = std::make_unique<double[]>(100);
  std::string long_text(100, 'x');
  EXPECT_EQ(allocation_count - before, 3u);
}

TEST(FormattedWrites, RepeatedWritesAllocateNothingOnceTheirFormatsAreKnown) {
  const ScratchCopy dir("writes");
  std::istringstream in;
  std::ostringstream console;
  Units io(in, console);
  io.open_new(kUnitRuninf, (dir.path() / "RUNINF").string());
  auto write_all = [&io](double t, int order) {
    io.write_formatted(kUnitRuninf, "(6H Time=,E13.5, 4H; H=,E13.5, 8H; Order=,I2)",
                       {t, t / 7.0, order});
    io.write_formatted(kUnitRuninf, "(1x,A,G13.5,A)", {"Saving data at: ", t, " days"});
    io.write_formatted(kUnitRuninf, "(1x,G13.5,7(1x,G13.5))",
                       {1.5f, 2.5f, t, -t, 1e-9, 3e7, 0.0, 4.0});
    io.write_formatted(kUnitRuninf, "(1P,D15.6,'text',I8)", {t, order});
    io.write_list(kUnitRuninf, {"   FNS, JACS:", order, 2 * order, t});
  };
  write_all(1.0, 1);  // warm-up: the formats are parsed, the line buffer sized
  const std::size_t before = allocation_count;
  for (int i = 1; i <= 200; ++i) write_all(12345.678 * i, i % 6);
  EXPECT_EQ(allocation_count - before, 0u);
  io.close(kUnitRuninf);

  // The lines written are those of the formatting engine.
  std::ifstream runinf(dir.path() / "RUNINF");
  std::string first;
  std::getline(runinf, first);
  EXPECT_EQ(first, " Time=   .10000E+01; H=   .14286E+00; Order= 1");
}

// The engine's set-up on the bundled scenario, then its output-time loop,
// one output time per call of advance(), with an observer that writes one
// progress line per step as the legacy executable does.
class BundledRun : public Observer {
 public:
  BundledRun(const fs::path& dir, std::shared_ptr<const Kinetics> kinetics)
      : io_(in_, console_) {
    scenario_ = read_scenario(io_, dir / "estuary.fn");
    scenario_.kinetics = std::move(kinetics);
    RunOptions options;
    options.observe_steps = true;
    session_ = std::make_unique<RunSession>(scenario_, options, io_);
    session_->prepare();
    io_.open_new(kUnitRuninf, (dir / "RUNINF").string());
  }

  void on_step(const StepInfo&, const Snapshot& s) override {
    ++steps_;
    last_x_ += s.x[s.npts - 1];  // the snapshot is really filled
    MONITOR(io_, kUnitRuninf, run().RWORK.data(), run().IWORK.data());
  }

  // Steps to output time i; returns the number of steps taken.
  int advance(int i) {
    steps_ = 0;
    session_->advance(i, this);
    return steps_;
  }

  const RunState& run() const { return session_->state(); }

 private:
  std::istringstream in_;
  std::ostringstream console_;
  Units io_;
  Scenario scenario_;
  std::unique_ptr<RunSession> session_;
  int steps_ = 0;
  double last_x_ = 0.0;
};

void steps_allocate_nothing(const std::string& tag, std::shared_ptr<const Kinetics> kinetics) {
  const ScratchCopy dir(tag);
  BundledRun run(dir.path(), std::move(kinetics));
  run.advance(1);  // warm-up
  ASSERT_EQ(run.run().IDID, 3);

  const int matrices_before = iwork_at(run.run().IWORK.data(), kJacCount);
  const std::size_t before = allocation_count;
  int steps = 0;
  for (int i = 2; i <= 4; ++i) {
    steps += run.advance(i);
    ASSERT_EQ(run.run().IDID, 3) << "output time " << i;
  }
  const std::size_t allocations = allocation_count - before;

  // The window held real work: many steps, and new iteration matrices.
  EXPECT_GT(steps, 50);
  EXPECT_GT(iwork_at(run.run().IWORK.data(), kJacCount), matrices_before);
  EXPECT_EQ(allocations, 0u) << "over " << steps << " steps";
}

TEST(SteppingLoop, StepsResidualsMatricesAndProgressLinesAllocateNothing) {
  steps_allocate_nothing("steps", nullptr);
}

// The same with the kinetics declared in a file: the expressions are
// compiled at set-up, and evaluating them allocates nothing either.
TEST(SteppingLoop, DeclaredKineticsAllocateNothingWhileStepping) {
  steps_allocate_nothing("declared", DeclaredKinetics::read_file(example_dir().parent_path() /
                                                                 "kinetics" / "estuary.toml"));
}

}  // namespace
}  // namespace qz5
