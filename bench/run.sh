#!/usr/bin/env bash
# The launcher's benchmark: builds the launcher (release) and the benchmark's
# programs, and times the real program on a private X desktop
# (scripts/desktop.sh) with a private PulseAudio server and its null sink
# (tests/support/sound-session.sh), then soaks one launcher at full speed.
# Prints a table (median, quartiles and range over the runs) and PASS or FAIL
# for each budget; exits non-zero if a budget is missed.
#   bench/run.sh [RUNS]      (default 20)
# On a desktop at 200 % (the window 1000 x 960):
#   QUARVEL_SCREEN=2048x1536 QUARVEL_DPI=192 bench/run.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
build=build/bench

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target Quarvel quarvel_bench quarvel_bench_bare quarvel_proof_recorder >/dev/null

exec scripts/desktop.sh tests/support/sound-session.sh run \
  "$build/bench/quarvel_bench" "$build/app/Quarvel" "$build/bench/quarvel_bench_bare" "$runs"
