// A run that can be asked to stop between two steps: the observer forwards
// every report to the one it wraps and then asks `should_stop`; when that
// says yes, it ends the run with a Stop, which the engine returns in the
// summary like any stop, after the last completed step and output. The
// executable asks whether Ctrl-C (SIGINT) was pressed, the Python package
// whether the interpreter has a KeyboardInterrupt pending.
//
// The question is asked after every reported step and output time, so the
// run must observe its steps (RunOptions::observe_steps).
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>

#include "engine/engine.h"

namespace qz5::results {

// The exit status of a run stopped on request (128 + SIGINT, as shells
// report an interrupted command).
inline constexpr int kExitInterrupted = 130;
inline constexpr const char* kInterruptedText = "Interrupted";

class StopCheck : public Observer {
 public:
  // `inner` may be null. `should_stop` is asked at most once per `every`.
  StopCheck(Observer* inner, std::function<bool()> should_stop,
            std::chrono::steady_clock::duration every = std::chrono::milliseconds(50))
      : inner_(inner), should_stop_(std::move(should_stop)), every_(every) {}

  void on_start(const RunContext& ctx, const Snapshot& s) override {
    if (inner_ != nullptr) inner_->on_start(ctx, s);
    check();
  }
  void on_step(const StepInfo& step, const Snapshot& s) override {
    if (inner_ != nullptr) inner_->on_step(step, s);
    check();
  }
  void on_output(int i, int idid, const Snapshot& s, const IntegratorStatistics& st) override {
    if (inner_ != nullptr) inner_->on_output(i, idid, s, st);
    check();
  }

  bool stopped() const { return stopped_; }

 private:
  void check() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < every_) return;
    last_ = now;
    if (!should_stop_()) return;
    stopped_ = true;
    stop(kInterruptedText, kExitInterrupted);
  }

  Observer* inner_;
  std::function<bool()> should_stop_;
  std::chrono::steady_clock::duration every_;
  std::chrono::steady_clock::time_point last_{};
  bool stopped_ = false;
};

}  // namespace qz5::results
