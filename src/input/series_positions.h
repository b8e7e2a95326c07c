// Where the look-ups in the input series last found the time: one value per
// run, so that the series themselves are never changed by a look-up and one
// set of inputs can be looked up by several runs at once.
#pragma once

#include "input/limits.h"
#include "textio/array1.h"

namespace qz5 {

class LoadBest;

struct SeriesPositions {
  // Sized for the lateral inputs the look-ups will meet.
  explicit SeriesPositions(const LoadBest& lateral);
  SeriesPositions() : SeriesPositions(kMaxLat) {}

  int ilast_bnd = 1;                    // boundary series
  int ilast_lat = 1;                    // lateral-input series
  Array1<int, kMaxDrv> ilast_drv = ones();  // each variable driver

  // The lateral concentrations of the latest look-up, c_lat(m, l), and the
  // time and width they hold (kept while the time does not change).
  DynTable1<double> c_lat;
  bool c_lat_current = false;
  double c_lat_time = 0.0;
  int c_lat_ncomp = 0;

 private:
  explicit SeriesPositions(int nlat) : c_lat(kMaxNcomp, nlat < kMaxLat ? kMaxLat : nlat) {}
  static Array1<int, kMaxDrv> ones() {
    Array1<int, kMaxDrv> a;
    a.fill(1);
    return a;
  }
};

}  // namespace qz5
