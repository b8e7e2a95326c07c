// Capacities of the model's tables.
//
// The legacy program had a fixed size for every table, chosen here, and its
// loaders refuse input that would not fit. The tables now start at these
// sizes and, when a run lifts the legacy limits, grow at set-up to whatever
// the scenario needs; nothing is allocated once the run has started.
#pragma once

namespace qz5 {

inline constexpr int kMaxNcomp = 16;         // constituents a run can carry (declared kinetics;
                                             // the built-in kinetics have six)
inline constexpr int kCconvSlots = kMaxNcomp + 1;  // CCONV has one spare slot
inline constexpr int kMaxTimes = 200;        // output times
inline constexpr int kMaxBndryTpts = 100;    // max_bndry_tpts: boundary time points
inline constexpr int kBndCols = 1 + 2 * kMaxNcomp;   // time + both boundaries
inline constexpr int kMaxLatTpts = 10;       // max_lat_tpts: lateral-input time points
inline constexpr int kMaxLat = 10;           // lateral inputs
inline constexpr int kLatCols = 1 + kMaxNcomp * kMaxLat;  // time + every constituent at every input
inline constexpr int kMaxPtsDrv = 10000;     // max_pts_drv: points of all driver files together
inline constexpr int kMaxDrv = 2;            // driver slots (one is used)
inline constexpr int kNumRxpar = 19;         // reaction parameters
inline constexpr int kFileNameLength = 80;   // file names are blank-padded to this length

// Integrator work area.
inline constexpr int MXNEQ = 1000;
inline constexpr int MXLIW = 1020;
inline constexpr int MXLRW = 56000;
inline constexpr int kLenWk = 1072;          // LENWK: residual workspace for NEQ = 1000, six constituents
inline constexpr int kInfoSlots = 15;
inline constexpr int kIparSlots = 6;

// The line the legacy executable prints after refusing input for one of
// these capacities.
inline constexpr const char* kLegacyLimitHint =
    "This is a capacity of the legacy program; run with --no-legacy-limits to lift it.";

}  // namespace qz5
