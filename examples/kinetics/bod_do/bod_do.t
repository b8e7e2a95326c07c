0.0    start time, days; then one output time per line
1
2
3
4
5
6
7
8
9
10
