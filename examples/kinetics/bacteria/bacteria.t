0.0    start time, days; then one output time per line
0.25
0.5
0.75
1
1.25
1.5
1.75
2
2.25
2.5
2.75
3
