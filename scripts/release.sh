#!/usr/bin/env bash
# Makes the release in build/release:
#   Quarvel-windows.zip     Quarvel.exe (cross-built, self-contained) and README-modders.txt
#   Quarvel-linux.tar.gz    Quarvel (the Linux program) and README-modders.txt
#   SHA256SUMS              the SHA-256 of both archives and of both programs
# The same commit makes the same bytes, wherever, whenever and by whomever it is
# built: every date is the commit's (or SOURCE_DATE_EPOCH's, when that is set),
# every owner root, every mode and order fixed, and no compiler, flag or archiver
# default from the builder's environment counts. Builds both programs afresh,
# without their tests, in build/release-build. Installs nothing: the packages of
# scripts/setup.sh must be there.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build/release
builds=$root/build/release-build

export TZ=UTC0 LC_ALL=C  # zip stores local times; names sort bytewise
# The builder's own compilers, flags and archiver defaults would change the bytes.
unset CC CXX CFLAGS CXXFLAGS CPPFLAGS LDFLAGS RC RCFLAGS CMAKE_TOOLCHAIN_FILE \
  ZIP ZIPOPT TAR_OPTIONS GZIP
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) ||
    { echo "release: no commit to date the release by; set SOURCE_DATE_EPOCH" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH  # GNU ld stamps Quarvel.exe's PE header with it
if [[ -n $(git status --porcelain 2>/dev/null) ]]; then
  echo "release: note: the working tree has changes that commit $(git rev-parse --short HEAD)" \
    "does not; this release is not that commit's" >&2
fi

# Afresh: a program linked earlier would keep the PE time stamp of an earlier commit.
rm -rf "$builds"
cmake -S . -B "$builds/windows" -DCMAKE_BUILD_TYPE=Release -DQUARVEL_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$builds/windows" -j2 --target Quarvel
cmake -S . -B "$builds/linux" -DCMAKE_BUILD_TYPE=Release -DQUARVEL_TESTS=OFF >/dev/null
cmake --build "$builds/linux" -j2 --target Quarvel

rm -rf "$out"
mkdir -p "$out/windows" "$out/linux"

install -m 0755 "$builds/windows/app/Quarvel.exe" "$out/windows/Quarvel.exe"
cat >"$out/windows/README-modders.txt" <<'TEXT'
Quarvel launcher for Windows
============================

Put Quarvel.exe in the mod's folder, beside the two folders it expects:

  Quarvel.exe
  Install\      the five sound cues: open.wav, hover.wav, click.wav, start.wav, back.wav
  GameData\     the game, vivu.exe, and the mod's folder voskbase\
                (with voskbase\documentation\manual.doc, the player's manual)

Start starts GameData\vivu.exe with "+set fs_game voskbase"; Help opens the
manual with the program Windows uses for .doc files.

Quarvel.exe runs on Windows 7 to 11 as the user who starts it, and needs
nothing else: no runtime, no DLL beside it, no registration.

To check a copy, compare its SHA-256 with its line in SHA256SUMS, the list
published beside Quarvel-windows.zip (it has a line for the archive too). In
PowerShell:

  Get-FileHash Quarvel.exe -Algorithm SHA256

or in a command prompt: certutil -hashfile Quarvel.exe SHA256. Anyone can
rebuild the release from its sources with scripts/release.sh and get the
same bytes.
TEXT
sed -i 's/$/\r/' "$out/windows/README-modders.txt"  # Windows line ends

install -m 0755 "$builds/linux/app/Quarvel" "$out/linux/Quarvel"
cat >"$out/linux/README-modders.txt" <<'TEXT'
Quarvel launcher for Linux
==========================

Put the program Quarvel in the mod's folder, beside the two folders it expects:

  Quarvel
  Install/      the five sound cues: open.wav, hover.wav, click.wav, start.wav, back.wav
  GameData/     the game, vivu.exe, and the mod's folder voskbase/
                (with voskbase/documentation/manual.doc, the player's manual)

Start starts GameData/vivu.exe with "+set fs_game voskbase" (through wine when
it is a Windows program); Help opens the manual with the desktop's program for
.doc files (xdg-open).

It needs of the system: glibc 2.34 or later (Debian 12, Ubuntu 22.04, Fedora
35, RHEL 9 and later), SDL 2.0.20 or later (libSDL2-2.0.so.0; Debian and
Ubuntu: apt install libsdl2-2.0-0) and Xlib (libX11.so.6); wine to start a
Windows game, and xdg-open (xdg-utils) to open the manual. Its C++ runtime is
inside it.

To check a copy, put SHA256SUMS, the list published beside
Quarvel-linux.tar.gz, in the folder that holds the program (or the archive)
and run there:

  sha256sum -c --ignore-missing SHA256SUMS

Anyone can rebuild the release from its sources with scripts/release.sh and
get the same bytes.
TEXT
chmod 0644 "$out/windows/README-modders.txt" "$out/linux/README-modders.txt"
touch -d "@$SOURCE_DATE_EPOCH" "$out"/windows/* "$out"/linux/*

# Names in sorted order, no extra attributes (owners, access times), fixed compression.
(cd "$out/windows" && zip -q -X -9 "$out/Quarvel-windows.zip" Quarvel.exe README-modders.txt)
tar -C "$out/linux" --format=ustar --owner=root:0 --group=root:0 --mtime="@$SOURCE_DATE_EPOCH" \
  -cf - Quarvel README-modders.txt | gzip -n -9 >"$out/Quarvel-linux.tar.gz"

(cd "$out" && sha256sum Quarvel-linux.tar.gz Quarvel-windows.zip &&
  cd linux && sha256sum Quarvel && cd ../windows && sha256sum Quarvel.exe) >"$out/SHA256SUMS"
chmod 0644 "$out/Quarvel-windows.zip" "$out/Quarvel-linux.tar.gz" "$out/SHA256SUMS"

echo "Made in $out (dated $(date -d "@$SOURCE_DATE_EPOCH" '+%F %T') UTC):"
cat "$out/SHA256SUMS"
