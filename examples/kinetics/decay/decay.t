0.0    start time, days; then one output time per line
0.5
1
1.5
2
2.5
3
3.5
4
