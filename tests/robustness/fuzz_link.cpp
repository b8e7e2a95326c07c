// The fuzz targets, compiled into this program so that the saved findings
// are replayed by the ordinary test run.
#include "../../fuzz/fuzz_targets.cpp"
#include "../../fuzz/format_target.cpp"
#include "../../fuzz/results_targets.cpp"
