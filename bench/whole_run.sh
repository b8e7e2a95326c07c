#!/bin/sh
# Times the qz5 executable on the bundled estuary scenario and reports its
# peak resident memory.
#   bench/whole_run.sh [path/to/qz5] [repetitions]
# Default executable: build-bench/qz5 (built by `make bench`); default 10
# repetitions, all in one scratch copy of examples/estuary. Prints the wall
# time of every repetition, their minimum and median, and the largest peak
# resident set size that GNU time reported.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:-$here/../build-bench/qz5}
reps=${2:-10}
case $exe in /*) ;; *) exe=$(pwd)/$exe ;; esac
[ -x "$exe" ] || { echo "whole_run.sh: no executable at $exe" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "whole_run.sh: needs GNU time at /usr/bin/time" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/../examples/estuary/"* "$work/"
cd "$work"

i=0
while [ "$i" -lt "$reps" ]; do
  start=$(date +%s%N)
  /usr/bin/time -f "%M" -o rss.out "$exe" estuary.fn > console.out
  end=$(date +%s%N)
  tail -n 1 console.out | grep -qx Ready || { echo "whole_run.sh: run did not end with Ready" >&2; exit 1; }
  echo "$(( (end - start) / 1000 )) $(cat rss.out)" >> runs.txt
  i=$((i + 1))
done

sort -n runs.txt | awk '
  { wall[NR] = $1 / 1e6; if ($2 > rss) rss = $2; all = all sprintf(" %.3f", $1 / 1e6) }
  END {
    printf "wall seconds:%s\n", all
    printf "min %.3f s, median %.3f s over %d runs; peak RSS %d KiB (%.1f MiB)\n",
           wall[1], wall[int((NR + 1) / 2)], NR, rss, rss / 1024
  }'
