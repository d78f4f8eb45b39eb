#!/usr/bin/env bash
# Makes the two release archives in build/release:
#   Quarvel-windows.zip     Quarvel.exe (cross-built, self-contained) and README-modders.txt
#   Quarvel-linux.tar.gz    Quarvel (the Linux program) and README-modders.txt
# Builds both programs without their tests, in build/release-build. Installs nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$PWD/build/release
builds=$PWD/build/release-build

cmake -S . -B "$builds/windows" -DCMAKE_BUILD_TYPE=Release -DQUARVEL_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$builds/windows" -j2 --target Quarvel
cmake -S . -B "$builds/linux" -DCMAKE_BUILD_TYPE=Release -DQUARVEL_TESTS=OFF >/dev/null
cmake --build "$builds/linux" -j2 --target Quarvel

rm -rf "$out"
mkdir -p "$out/windows" "$out/linux"

cp "$builds/windows/app/Quarvel.exe" "$out/windows/"
cat >"$out/windows/README-modders.txt" <<'TEXT'
Quarvel launcher for Windows
============================

Put Quarvel.exe in the mod's folder, beside the two folders it expects:

  Quarvel.exe
  Install\      the five sound cues: open.wav, hover.wav, click.wav, start.wav, back.wav
  GameData\     the game, vivu.exe, and the mod's folder voskbase\
                (with voskbase\documentation\manual.doc, the player's manual)

Quarvel.exe needs nothing else: no runtime, no DLL beside it, no registration.
Start starts GameData\vivu.exe with "+set fs_game voskbase"; Help opens the
manual with the program Windows uses for .doc files.
TEXT
sed -i 's/$/\r/' "$out/windows/README-modders.txt"  # Windows line ends
(cd "$out/windows" && cmake -E tar cf "$out/Quarvel-windows.zip" --format=zip \
  Quarvel.exe README-modders.txt)

cp "$builds/linux/app/Quarvel" "$out/linux/"
cat >"$out/linux/README-modders.txt" <<'TEXT'
Quarvel launcher for Linux
==========================

Put the program Quarvel in the mod's folder, beside the two folders it expects:

  Quarvel
  Install/      the five sound cues: open.wav, hover.wav, click.wav, start.wav, back.wav
  GameData/     the game, vivu.exe, and the mod's folder voskbase/
                (with voskbase/documentation/manual.doc, the player's manual)

It needs SDL2 (Debian and Ubuntu: apt install libsdl2-2.0-0). Start starts
GameData/vivu.exe with "+set fs_game voskbase" (through Wine when it is a
Windows program); Help opens the manual with the desktop's program for .doc
files (xdg-open).
TEXT
tar -C "$out/linux" -czf "$out/Quarvel-linux.tar.gz" Quarvel README-modders.txt

echo "Made $out/Quarvel-windows.zip and $out/Quarvel-linux.tar.gz"
