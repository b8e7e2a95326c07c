Channel of the reach: position (m), cross-section area (m2), dispersion (m2/day)
     0.0    40.0   1.7e6
  3000.0    45.0   1.7e6
  6000.0    55.0   2.2e6
  9000.0    70.0   2.6e6
 12000.0    80.0   2.6e6
