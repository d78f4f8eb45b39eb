#!/bin/sh
# Checks that the Linux program runs on any desktop with glibc 2.34 or later,
# SDL2 and Xlib: it needs no library but glibc's, libSDL2-2.0.so.0 and
# libX11.so.6 (no C++ runtime, no libgcc_s), and no symbol version of glibc
# newer than 2.34 nor any of another library.
#   check-linux-program.sh READELF PROGRAM
set -eu
readelf=$1
program=$2
newest=2.34
glibc='libc.so.6 libm.so.6 libpthread.so.0 libdl.so.2 librt.so.1 ld-linux-x86-64.so.2'

needed=$(LC_ALL=C "$readelf" -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
[ -n "$needed" ] || { echo "FAIL: no needed libraries found in $program"; exit 1; }
status=0
for lib in $needed; do
  case " $glibc libSDL2-2.0.so.0 libX11.so.6 " in
    *" $lib "*) ;;
    *) echo "FAIL: $program needs $lib"; status=1 ;;
  esac
done
for lib in libc.so.6 libSDL2-2.0.so.0; do
  case " $(echo $needed) " in
    *" $lib "*) ;;
    *) echo "FAIL: $program does not name $lib among its needed libraries"; status=1 ;;
  esac
done

# The version needs, as "library version" pairs.
versions=$(LC_ALL=C "$readelf" -V "$program" | awk '
  $2 == "Version:" && $4 == "File:" { file = $5 }
  $2 == "Name:" { print file, $3 }')
[ -n "$versions" ] || { echo "FAIL: no symbol versions found in $program"; exit 1; }
highest=
while read -r lib version; do
  case " $glibc " in
    *" $lib "*) ;;
    *) echo "FAIL: $program needs version $version of $lib"; status=1; continue ;;
  esac
  number=${version#GLIBC_}
  case "$version" in
    GLIBC_[0-9]*) ;;
    *) echo "FAIL: $program needs version $version of $lib"; status=1; continue ;;
  esac
  if [ "$(printf '%s\n%s\n' "$newest" "$number" | sort -V | tail -n 1)" != "$newest" ]; then
    echo "FAIL: $program needs $version (from $lib); glibc $newest must do"
    status=1
  fi
  highest=$(printf '%s\n%s\n' "${highest:-0}" "$number" | sort -V | tail -n 1)
done <<VERSIONS
$versions
VERSIONS
echo "needs:" $needed
echo "newest glibc version needed: $highest"
[ "$status" -eq 0 ] && echo "ok: only glibc $newest or later, SDL2 and Xlib"
exit "$status"
