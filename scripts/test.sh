#!/usr/bin/env bash
# Sets up as scripts/setup.sh does and runs every test: the core, picture,
# sound, launch, end-to-end and proof tests, in a normal build and again under
# AddressSanitizer and UndefinedBehaviorSanitizer; the Windows program's tests
# under Wine; and the release, built twice and compared byte for byte.
#
# The tests mostly wait (on a desktop, a sound server, a timer), so the builds
# they do not need yet (sanitized, Windows, the release twice) run beside them
# at idle priority, taking only the CPU the tests leave. Tests that measure
# time (label "timing") run last, one at a time, once every build they need is
# done, with at most the release building beside them. The others run two at a
# time.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
logs=build/test-logs

# The builds the later tests need, in the order they need them, each with its
# log and status in build/test-logs.
if [[ ${1:-} == --builds ]]; then
  # setsid gave them a session, and so a scheduling group, of their own, which
  # the kernel (with autogroups, as desktops and this machine have them) gives
  # a fair share of the CPU whatever the priority inside: at nice 19 the group
  # yields to the tests' too.
  echo 19 >/proc/self/autogroup 2>/dev/null || true
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

# Each step's heading, with the time since the start.
heading() {
  echo "== $* ($((SECONDS - started)) s)"
}

heading "set-up"
scripts/setup.sh packages
mkdir -p "$logs"
rm -f "$logs"/*.log "$logs"/*.status
# At idle priority, in a process group of its own that ends with this script:
# from the start, so that they take what the default build leaves idle too.
chrt --idle 0 setsid "$0" --builds </dev/null &
builds=$!
trap 'kill -- "-$builds" 2>/dev/null || true' EXIT
heading "default build"
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

heading "default tests but the timing ones, two at a time"
ctest --preset default -j2 -LE timing
heading "sanitize build (beside the default build and tests)"
await_step sanitize-build
heading "sanitize tests but the timing ones, two at a time"
ctest --preset sanitize -j2 -LE timing
heading "windows"
await_step windows-build
scripts/test-windows.sh
# Every build a test needs is done: the timing tests run one at a time, with
# at most the release still building beside them, at idle priority.
status=0
heading "default timing tests, one at a time"
ctest --preset default -L timing || status=$?
heading "sanitize timing tests, one at a time"
ctest --preset sanitize -L timing || status=$?
heading "release (built beside the tests)"
await_step release
cat "$logs/release.log"
((status == 0)) || exit "$status"
echo "== every test passed in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
