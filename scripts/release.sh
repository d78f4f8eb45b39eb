#!/usr/bin/env bash
# Makes the two release archives in build/release:
#   Quarvel-windows.zip     Quarvel.exe (cross-built, self-contained) and README-modders.txt
#   Quarvel-linux.tar.gz    Quarvel (the Linux program) and README-modders.txt
# Builds the "windows" and "default" presets first. Installs nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$PWD/build/release

cmake --preset windows >/dev/null
cmake --build --preset windows --target Quarvel
cmake --preset default >/dev/null
cmake --build --preset default --target Quarvel

rm -rf "$out"
mkdir -p "$out/windows" "$out/linux"

cp build/windows/app/Quarvel.exe "$out/windows/"
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
(cd "$out/windows" && cmake -E tar cf "$out/Quarvel-windows.zip" --format=zip \
  Quarvel.exe README-modders.txt)

cp build/default/app/Quarvel "$out/linux/"
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
