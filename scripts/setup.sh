#!/usr/bin/env bash
# Installs the Debian packages the launcher needs to build, run and be tested
# (only those missing), then configures and builds it. Run as root on Debian 12.
#   scripts/setup.sh [preset]     (preset: default or sanitize; default: default;
#                                  "packages": the packages alone, no build)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  # build
  cmake g++ make pkg-config libsdl2-dev libstb-dev libgtest-dev googletest libx11-dev libxtst-dev libxss-dev libxext-dev
  # the Linux program's unwinder, linked in; the release archives and their dates
  libunwind-14-dev zip unzip git
  # the Windows program: cross compiler, and Wine to test it
  g++-mingw-w64-x86-64 wine64
  # fuzzing, memory checking and debugging tools used by the tests
  clang libclang-rt-14-dev valgrind gdb
  # the desktop the launcher is run and tested on
  xvfb openbox xdotool wmctrl x11-utils imagemagick xdg-utils
  # the session bus every desktop has, for the demo's and the benchmark's desktop
  dbus-daemon dbus-bin
  # a Wayland desktop: weston (with weston-screenshooter) and XWayland; Mesa's
  # drivers, which SDL draws through on Wayland (every desktop has them)
  weston xwayland libgl1-mesa-dri
  # sound: private PulseAudio and PipeWire servers and a recorder for the sound tests
  pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber pipewire-bin libpipewire-0.3-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

preset=${1:-default}
[[ $preset == packages ]] && exit 0
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
