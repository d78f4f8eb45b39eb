#!/bin/sh
# Checks that the Linux program runs on any desktop with glibc 2.34 or later,
# SDL 2.0.20 or later and Xlib: it needs no library but glibc's,
# libSDL2-2.0.so.0 and libX11.so.6 (no C++ runtime, no libgcc_s), no symbol
# version of glibc newer than 2.34 nor any of another library, and no SDL
# function that SDL's headers say came after 2.0.20 (Ubuntu 22.04's SDL).
#   check-linux-program.sh READELF PROGRAM [SDL_HEADER_FOLDER...]
# (the SDL header folders default to /usr/include/SDL2)
set -eu
readelf=$1
program=$2
shift 2
[ "$#" -gt 0 ] || set -- /usr/include/SDL2
newest=2.34
oldest_sdl=2.0.20
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

# Each SDL function it imports, against the version its header note gives ("\since This function
# is available since SDL x.y.z."); a function the headers give no such note fails too.
imports=$(LC_ALL=C "$readelf" --dyn-syms -W "$program" |
  awk '$7 == "UND" && $8 ~ /^SDL_/ { sub(/@.*/, "", $8); print $8 }' | sort -u | tr '\n' ' ')
[ -n "$imports" ] || { echo "FAIL: no SDL functions found among what $program imports"; exit 1; }
for dir in "$@"; do cat "$dir"/*.h; done 2>/dev/null |
  awk -v program="$program" -v oldest="$oldest_sdl" -v imports="$imports" '
  function above(a, b,  x, y, i) {  # whether version a is above version b
    split(a, x, "."); split(b, y, ".")
    for (i = 1; i <= 3; i++) if (x[i] + 0 != y[i] + 0) return x[i] + 0 > y[i] + 0
    return 0
  }
  BEGIN { split(imports, list, " "); for (i in list) imported[list[i]] = 1 }
  held != "" { $0 = held " " $0; held = "" }
  /SDLCALL[ \t]*$/ { held = $0; next }  # the name on the next line
  /\/\*\*/ { since = "" }
  /\\since This function is available since SDL [0-9]/ {
    since = $0; sub(/.*available since SDL /, "", since); sub(/[^0-9]*$/, "", since)
  }
  match($0, /SDLCALL[ \t]*SDL_[A-Za-z0-9_]+[ \t]*(\(|$)/) {
    name = substr($0, RSTART, RLENGTH); sub(/^SDLCALL[ \t]*/, "", name); sub(/[ \t(]*$/, "", name)
    if (name in imported && since != "") version[name] = since
    since = ""
  }
  END {
    newest = "0"; count = 0
    for (name in imported) {
      count++
      if (!(name in version)) {
        print "FAIL: " program " imports " name ", whose SDL headers give no version"; failed = 1
      } else if (above(version[name], oldest)) {
        print "FAIL: " program " imports " name ", available since SDL " version[name] "; SDL " \
          oldest " must do"; failed = 1
      }
      if ((name in version) && above(version[name], newest)) {
        newest = version[name]; which = name
      }
    }
    print "SDL functions imported: " count "; the newest: " which " (SDL " newest ")"
    exit failed
  }' || status=1

echo "needs:" $needed
echo "newest glibc version needed: $highest"
[ "$status" -eq 0 ] && echo "ok: only glibc $newest or later, SDL $oldest_sdl or later and Xlib"
exit "$status"
