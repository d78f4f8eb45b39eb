#!/bin/sh
# Checks that a cross-built program runs on a bare Windows: it imports only
# DLLs that every Windows has (no C++ runtime, no libgcc, no winpthread beside
# it), it binds shell32.dll itself at run time rather than at load, and it is
# not packed.
#   check-imports.sh OBJDUMP PROGRAM.exe
set -eu
objdump=$1
program=$2
headers=$("$objdump" -p -h "$program")
imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort)
[ -n "$imports" ] || { echo "FAIL: no imports found in $program"; exit 1; }
status=0
for dll in $imports; do
  case "$dll" in
    kernel32.dll | user32.dll | gdi32.dll | winmm.dll | ole32.dll | msvcrt.dll | advapi32.dll) ;;
    shell32.dll)
      echo "FAIL: shell32.dll is bound at load; ShellExecuteA is to be looked up at its first call"
      status=1
      ;;
    *)
      echo "FAIL: $program imports $dll, which Windows does not ship"
      status=1
      ;;
  esac
done
if printf '%s\n' "$headers" | grep -Eq '^[[:space:]]*[0-9]+[[:space:]]+(UPX[0-9!]|\.aspack|\.petite|MPRESS)'; then
  echo "FAIL: $program is packed"
  status=1
fi
echo "imports:" $imports
[ "$status" -eq 0 ] && echo "ok: only Windows' own DLLs, not packed"
exit "$status"
