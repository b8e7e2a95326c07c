// qz5: advection, dispersion and reaction of six constituents along an estuary.
#include <memory>

#include "driver/run_driver.h"
#include "textio/textio.h"

int main(int argc, char** argv) {
  qz5::Units io;
  // The run state holds the integrator's fixed workspace (well over half a
  // megabyte): one allocation here, none afterwards.
  auto state = std::make_unique<qz5::RunState>();
  return qz5::run_qz5(io, *state, argc, argv);
}
