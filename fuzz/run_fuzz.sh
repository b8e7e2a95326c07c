#!/bin/sh
# Builds every fuzz target with libFuzzer, address and undefined-behaviour
# sanitizers and runs each for FUZZ_SECONDS, FUZZ_JOBS targets at a time.
# Findings land in $FUZZ_BUILD/artifacts/<target>/; copy each into
# fuzz/regressions/<target>/ once fixed, where the test suite replays it.
set -eu
cd "$(dirname "$0")/.."
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
FUZZ_JOBS=${FUZZ_JOBS:-2}
FUZZ_BUILD=${FUZZ_BUILD:-build-fuzz}
# Each input goes through a file; keep those in memory when possible.
[ -w /dev/shm ] && export TMPDIR=${TMPDIR:-/dev/shm}
TARGETS=${FUZZ_TARGETS:-"read_list names parameter output_times boundary lateral driver profile format geometry constituents command_line"}
CXX=clang++-14

# clang and its fuzzer runtime come from Debian's packages.
if ! command -v $CXX >/dev/null 2>&1 || ! dpkg -s libclang-rt-14-dev >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get install -y clang-14 libclang-rt-14-dev
fi

FLAGS="-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all -Isrc -I."
mkdir -p "$FUZZ_BUILD/obj"
OBJS=""
for src in src/textio/*.cpp src/input/*.cpp src/model/channel.cpp src/model/channel_laws.cpp \
    src/results/constituents.cpp src/results/file_clash.cpp src/driver/cli_options.cpp \
    fuzz/fuzz_targets.cpp fuzz/format_target.cpp fuzz/results_targets.cpp; do
  obj="$FUZZ_BUILD/obj/$(echo "$src" | tr / _).o"
  if [ ! -e "$obj" ] || [ "$src" -nt "$obj" ]; then
    $CXX $FLAGS -fsanitize=fuzzer-no-link -c "$src" -o "$obj"
  fi
  OBJS="$OBJS $obj"
done
for t in $TARGETS; do
  $CXX $FLAGS -fsanitize=fuzzer -DQZ5_FUZZ_TARGET="${t}_target" fuzz/fuzzer_main.cpp $OBJS \
    -o "$FUZZ_BUILD/fuzz_$t"
done

# Seeds: the bundled scenario's files (the reader, profile and format
# targets take a leading control byte) and every saved finding.
seed() {  # target, file, optional leading byte
  d="$FUZZ_BUILD/corpus/$1"
  mkdir -p "$d"
  if [ $# -ge 3 ]; then { printf "$3"; cat "$2"; } > "$d/seed_$(basename "$2")"; else cp "$2" "$d/"; fi
}
E=examples/estuary
seed names $E/estuary.fn; seed parameter $E/estuary.prm; seed output_times $E/estuary.t
seed boundary $E/estuary.bnd; seed lateral $E/estuary.li; seed driver $E/estuary.drv
seed profile $E/estuary.UT0 '\120'; seed read_list $E/estuary.li '\144'; seed read_list $E/estuary.prm '\033'
seed format $E/estuary.fn '\001'
seed geometry examples/river/river.geo
mkdir -p "$FUZZ_BUILD/corpus/constituents" "$FUZZ_BUILD/corpus/command_line"
printf 'salinity:psu,DOC:umol/L,DIN:umol/L\n# comment\nphyto' > "$FUZZ_BUILD/corpus/constituents/seed_list"
printf -- '--netcdf\000r.nc\000--stations\0000,5000\000--budget\000b.csv\000--constituents\000salinity:psu\000run.fn' \
  > "$FUZZ_BUILD/corpus/command_line/seed_all"
mkdir -p "$FUZZ_BUILD/corpus/format"
printf '\000\016(1x,A,G13.5,A)\003\005hello\001\000\000\000\000\000\000\360\077' > "$FUZZ_BUILD/corpus/format/seed_g"
printf '\001\000\012\004\157\022\203\300\312\041\011\100' > "$FUZZ_BUILD/corpus/format/seed_e"

run_one() {
  t=$1
  mkdir -p "$FUZZ_BUILD/artifacts/$t" "$FUZZ_BUILD/corpus/$t"
  regress=""
  [ -d "fuzz/regressions/$t" ] && regress="fuzz/regressions/$t"
  "$FUZZ_BUILD/fuzz_$t" "$FUZZ_BUILD/corpus/$t" $regress -max_total_time="$FUZZ_SECONDS" \
    -max_len=8192 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$FUZZ_BUILD/artifacts/$t/" > "$FUZZ_BUILD/fuzz_$t.log" 2>&1
  status=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$FUZZ_BUILD/fuzz_$t.log" | grep -o '[0-9]*$' || true)
  echo "fuzz_$t: status $status, ${runs:-?} executions, log $FUZZ_BUILD/fuzz_$t.log"
  return $status
}

failed=0
set -- $TARGETS
while [ $# -gt 0 ]; do
  batch=""
  i=0
  while [ $# -gt 0 ] && [ $i -lt "$FUZZ_JOBS" ]; do
    batch="$batch $1"; shift; i=$((i + 1))
  done
  pids=""
  for t in $batch; do
    run_one "$t" & pids="$pids $!"
  done
  for p in $pids; do wait "$p" || failed=1; done
done
[ $failed = 0 ] || { echo "fuzzing found failures: see $FUZZ_BUILD/artifacts/"; exit 1; }
