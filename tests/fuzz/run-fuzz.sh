#!/bin/sh
# Runs the WAV decoder fuzz target for a bounded time from the committed seeds.
#   run-fuzz.sh FUZZER SEED_DIR SECONDS
# New inputs go to a scratch folder, never into the committed corpus; a crash,
# leak or sanitizer report fails the run and its input is kept and named.
set -eu
fuzzer=$1
seeds=$2
seconds=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-fuzz.XXXXXX")
mkdir "$work/corpus" "$work/artifacts"
status=0
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
  "$work/corpus" "$seeds" || status=$?
if [ "$status" -ne 0 ]; then
  echo "fuzz: the target failed (status $status); inputs kept in $work/artifacts:" >&2
  ls -l "$work/artifacts" >&2
  exit 1
fi
rm -rf "$work"
