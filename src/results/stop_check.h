// A run that can be asked to stop between two steps: an observer whose
// stop_requested asks `should_stop`, which the engine does after every
// report; the run then ends as stopped by the caller, after its last
// completed step and output. The executable asks whether Ctrl-C (SIGINT)
// was pressed, the Python package whether the interpreter has a
// KeyboardInterrupt pending.
//
// Steps are reported only with RunOptions::observe_steps; without, the
// question is asked at the output times alone.
#pragma once

#include <chrono>
#include <functional>
#include <utility>

#include "engine/engine.h"

namespace qz5::results {

// The exit status of a run stopped on Ctrl-C (128 + SIGINT, as shells
// report an interrupted command), and its stop text.
inline constexpr int kExitInterrupted = 130;
inline constexpr const char* kInterruptedText = "Interrupted";

class StopCheck : public Observer {
 public:
  // `should_stop` is asked at most once per `every`.
  explicit StopCheck(std::function<bool()> should_stop,
                     std::chrono::steady_clock::duration every = std::chrono::milliseconds(50))
      : should_stop_(std::move(should_stop)), every_(every) {}

  bool stop_requested() const override {
    if (stopped_) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < every_) return false;
    last_ = now;
    stopped_ = should_stop_();
    return stopped_;
  }

  bool stopped() const { return stopped_; }

 private:
  std::function<bool()> should_stop_;
  std::chrono::steady_clock::duration every_;
  mutable std::chrono::steady_clock::time_point last_{};
  mutable bool stopped_ = false;
};

}  // namespace qz5::results
