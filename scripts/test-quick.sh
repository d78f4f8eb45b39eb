#!/usr/bin/env bash
# The quick tier, for use after every change: builds and runs the core,
# picture, launch and sound unit tests (the tests labelled "quick": no desktop,
# no sound server, no Wine) in the default build. Installs nothing: run
# scripts/setup.sh once first. The full test command is scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target quick
ctest --preset default -L quick -j2 --progress
