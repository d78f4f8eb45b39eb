#!/bin/sh
# Runs a cross-built Windows program under Wine, in the project's own Wine
# prefix (build/windows/wineprefix unless WINEPREFIX is set), quietly.
#   tests/windows/wine-run.sh PROGRAM.exe [ARGS...]
#   tests/windows/wine-run.sh --server [WINESERVER ARGS...]   (e.g. -p5: stay up 5 s)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../../build/windows/wineprefix}"
: "${WINEDEBUG:=-all}"
# No Mono, no Gecko, no desktop menu entries: none is needed and each would be slow.
: "${WINEDLLOVERRIDES:=mscoree,mshtml,winemenubuilder.exe=d}"
# One locale whatever the caller's: file names in UTF-8 (as the tests write
# them), and under Wine the Western European ANSI code page 1252. C.UTF-8 is
# on every Debian system.
LC_ALL=C.UTF-8
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES LC_ALL
if [ "${1:-}" = --server ]; then
  shift
  for server in wineserver /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver; do
    if command -v "$server" >/dev/null 2>&1; then exec "$server" "$@"; fi
  done
  echo "wine-run: no wineserver found (apt-get install wine64)" >&2
  exit 127
fi
for wine in wine64 /usr/lib/wine/wine64 wine; do
  if command -v "$wine" >/dev/null 2>&1; then exec "$wine" "$@"; fi
done
echo "wine-run: no wine64 found (apt-get install wine64)" >&2
exit 127
