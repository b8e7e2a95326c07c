// qz5: advection, dispersion and reaction of six constituents along an estuary.
#include "driver/run_driver.h"
#include "textio/textio.h"

int main(int argc, char** argv) {
  qz5::stop_runs_on_interrupt();
  qz5::Units io;
  return qz5::run_qz5(io, argc, argv);
}
