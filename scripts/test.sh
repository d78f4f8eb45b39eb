#!/usr/bin/env bash
# Sets up as scripts/setup.sh does and runs every test: the core, picture,
# sound, launch, end-to-end and proof tests, in a normal build and again under
# AddressSanitizer and UndefinedBehaviorSanitizer; then the release, built
# twice and compared byte for byte; then the Windows program's tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in default sanitize; do
  echo "== $preset build"
  scripts/setup.sh "$preset"
  echo "== $preset tests"
  ctest --preset "$preset"
done
echo "== release"
scripts/test-release.sh
echo "== windows"
scripts/test-windows.sh
