Channel of the stream: position (m), cross-section area (m2), dispersion (m2/day)
     0.0    1.0   43200.0
  2000.0    1.0   43200.0
