#!/usr/bin/env bash
# The launcher's benchmark: builds the launcher (release) and the benchmark's
# programs, starts a private X server (Xvfb with openbox) and a private
# PulseAudio server with a null sink, and times the real program there.
# Prints a table (median, quartiles and range over the runs) and PASS or FAIL
# for each budget; exits non-zero if a budget is missed.
#   bench/run.sh [RUNS]      (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
build=build/bench

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target Quarvel quarvel_bench quarvel_bench_bare >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-bench-run.XXXXXX")
xvfb_pid= wm_pid= pulse_dir=
cleanup() {
  [ -n "$pulse_dir" ] && tests/support/sound-session.sh stop "$pulse_dir" || true
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A private X server on a free display number, and a window manager.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
openbox --sm-disable >/dev/null 2>&1 &
wm_pid=$!
sleep 1

# A private sound server, as users have one.
eval "$(tests/support/sound-session.sh start)"
pulse_dir=$QUARVEL_PULSE_DIR

"$build/bench/quarvel_bench" "$build/app/Quarvel" "$build/bench/quarvel_bench_bare" "$runs"
