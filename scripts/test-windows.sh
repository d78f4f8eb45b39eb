#!/usr/bin/env bash
# Builds the Windows program (preset "windows": cross-built with mingw-w64) and
# runs its tests under Wine: the core unit tests and the Windows backend tests
# (ctest --preset windows), then the end-to-end tests of Quarvel.exe on a
# private Xvfb desktop with openbox, driven by a native test program built in
# build/winnative. Uses its own Wine prefix, build/windows/wineprefix.
# Installs nothing: the packages must be there (g++-mingw-w64-x86-64, wine64
# and those of scripts/setup.sh). With --build-only it builds and boots the
# Wine prefix, and runs no test.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

echo "== windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake -S . -B build/winnative -DCMAKE_BUILD_TYPE=Release \
  -DQUARVEL_WINDOWS_BUILD="$root/build/windows" >/dev/null
cmake --build build/winnative -j2 --target quarvel_windows_e2e

# One Wine server, with Wine's own services, for the whole run. Started here
# with no terminal or pipe of ours, so that no test waits for them to close
# their output; the server ends by itself 10 s after the last program.
export WINEPREFIX="$root/build/windows/wineprefix"
mkdir -p "$WINEPREFIX"
tests/windows/wine-run.sh --server -p10 </dev/null >/dev/null 2>&1
tests/windows/wine-run.sh wineboot </dev/null >/dev/null 2>&1
if [[ ${1:-} == --build-only ]]; then
  # Its server ends before the tests start one of their own.
  tests/windows/wine-run.sh --server -w
  exit 0
fi

echo "== windows tests under Wine"
ctest --preset windows
echo "== windows end-to-end tests under Wine"
ctest --test-dir build/winnative -R '^windows\.' --output-on-failure
