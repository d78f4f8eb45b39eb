#!/usr/bin/env bash
# Sets up as scripts/setup.sh does and runs every test: the core, picture,
# sound, launch, end-to-end and proof tests, in a normal build and again under
# AddressSanitizer and UndefinedBehaviorSanitizer; then the Windows program's
# tests under Wine; then the release, built twice and compared byte for byte.
#
# The tests mostly wait (on a desktop, a sound server, a timer), so the builds
# they do not need yet (sanitized, Windows, the release twice) run beside them
# at idle priority, taking only the CPU the tests leave. Tests that measure
# time (label "timing") run alone, with those builds held still meanwhile: even
# at idle priority a compiler beside them slows the sound server's and the
# desktop's answers. The others run two at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
logs=build/test-logs

# The builds the later tests need, in the order they need them, each with its
# log and status in build/test-logs.
if [[ ${1:-} == --builds ]]; then
  step() {
    local name=$1 status=0
    shift
    "$@" >"$logs/$name.log" 2>&1 || status=$?
    echo "$status" >"$logs/$name.status"
  }
  step sanitize-build bash -c 'cmake --preset sanitize >/dev/null && cmake --build --preset sanitize'
  step windows-build scripts/test-windows.sh --build-only
  step release scripts/test-release.sh
  exit 0
fi

echo "== set-up"
scripts/setup.sh packages
mkdir -p "$logs"
rm -f "$logs"/*.log "$logs"/*.status
# At idle priority, in a process group of its own that ends with this script:
# from the start, so that they take what the default build leaves idle too.
chrt --idle 0 setsid "$0" --builds </dev/null &
builds=$!
trap 'kill -- "-$builds" 2>/dev/null || true; kill -CONT -- "-$builds" 2>/dev/null || true' EXIT
echo "== default build"
scripts/setup.sh default

# Waits for a background step; prints its log if it failed, and fails then.
await_step() {
  while [[ ! -e $logs/$1.status ]]; do
    kill -0 "$builds" 2>/dev/null || { echo "the background builds ended early" >&2; exit 1; }
    sleep 1
  done
  local status
  status=$(cat "$logs/$1.status")
  if ((status != 0)); then
    cat "$logs/$1.log"
    echo "== $1 failed (status $status)" >&2
    exit "$status"
  fi
}

# One build's tests: the others two at a time beside the background builds,
# then the timing ones alone with the builds stopped.
run_tests() {
  local status=0
  ctest --preset "$1" -j2 -LE timing || status=$?
  kill -STOP -- "-$builds" 2>/dev/null || true
  ctest --preset "$1" -L timing || status=$?
  kill -CONT -- "-$builds" 2>/dev/null || true
  return "$status"
}

echo "== default tests"
run_tests default
echo "== sanitize build (beside the default tests)"
await_step sanitize-build
echo "== sanitize tests"
run_tests sanitize
echo "== windows"
await_step windows-build
scripts/test-windows.sh
echo "== release (built beside the tests)"
await_step release
cat "$logs/release.log"
echo "== every test passed in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
