Channel of the reach: position (m), cross-section area (m2), dispersion (m2/day)
     0.0    60.0   2.6e6
 10000.0    75.0   2.6e6
 20000.0    90.0   2.6e6
 30000.0   105.0   2.6e6
 40000.0   120.0   2.6e6
