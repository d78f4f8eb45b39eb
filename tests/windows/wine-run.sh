#!/bin/sh
# Runs a cross-built Windows program under Wine, in the project's own Wine
# prefix (build/windows/wineprefix unless WINEPREFIX is set), quietly.
#   tests/windows/wine-run.sh PROGRAM.exe [ARGS...]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../../build/windows/wineprefix}"
: "${WINEDEBUG:=-all}"
# No Mono, no Gecko, no desktop menu entries: none is needed and each would be slow.
: "${WINEDLLOVERRIDES:=mscoree,mshtml,winemenubuilder.exe=d}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
for wine in wine64 /usr/lib/wine/wine64 wine; do
  if command -v "$wine" >/dev/null 2>&1; then exec "$wine" "$@"; fi
done
echo "wine-run: no wine64 found (apt-get install wine64)" >&2
exit 127
