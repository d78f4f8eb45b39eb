#!/bin/sh
# Runs a command on a private X desktop, as the end-to-end tests have theirs:
# an Xvfb server (1024 x 768) on a display number it picks itself, with the
# openbox window manager, and a session bus of its own, as every desktop has.
# DISPLAY and DBUS_SESSION_BUS_ADDRESS name them for the command; all end with it.
# A scaled desktop, as GNOME and KDE make one at 200 %: QUARVEL_SCREEN sets the
# screen's size and QUARVEL_DPI the resource database's Xft.dpi.
#   [QUARVEL_SCREEN=2048x1536] [QUARVEL_DPI=192] scripts/desktop.sh COMMAND [ARGS...]
set -eu
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-desktop.XXXXXX")
xvfb= wm= bus=
end() {
  for pid in $bus $wm $xvfb; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  done
  rm -rf "$dir"
}
trap end EXIT
trap 'exit 130' INT TERM

# Waits (at most 10 s) until `$@` succeeds while Xvfb and openbox run.
await() {
  i=0
  until "$@" >/dev/null 2>&1; do
    i=$((i + 1))
    for pid in $xvfb $wm; do kill -0 "$pid" 2>/dev/null || i=1000; done
    if [ "$i" -gt 200 ]; then
      echo "desktop: the private desktop did not start" >&2
      exit 1
    fi
    sleep 0.05
  done
}

Xvfb -displayfd 3 -screen 0 "${QUARVEL_SCREEN:-1024x768}x24" -nolisten tcp -noreset 3>"$dir/display" \
  </dev/null >/dev/null 2>&1 &
xvfb=$!
await test -s "$dir/display"
DISPLAY=":$(head -n1 "$dir/display")"
export DISPLAY
if [ -n "${QUARVEL_DPI:-}" ]; then
  xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$QUARVEL_DPI"
fi
openbox --sm-disable </dev/null >/dev/null 2>&1 &
wm=$!
# openbox names itself on the root window once it manages the screen.
await sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
# It does so before it has finished starting, and a window mapped meanwhile can
# wait unanswered until another event wakes it. It has settled once it manages
# a window of ours; a root property changed meanwhile is that event.
xmessage -geometry 1x1+0+0 settle </dev/null >/dev/null 2>&1 &
probe=$!
await sh -c 'xprop -root -f _QUARVEL_NUDGE 32c -set _QUARVEL_NUDGE 0 &&
  xprop -root _NET_CLIENT_LIST | grep -q "window id # 0x"'
kill "$probe" && wait "$probe" 2>/dev/null || true
await sh -c 'xprop -root _NET_CLIENT_LIST | grep -qv "window id # 0x"'
xprop -root -remove _QUARVEL_NUDGE

# Its own session bus (dbus-daemon, as root, says it cannot raise its descriptor limit).
dbus-daemon --session --fork --nopidfile --print-address=4 --print-pid=5 \
  4>"$dir/bus" 5>"$dir/bus-pid" </dev/null >/dev/null 2>&1
bus=$(cat "$dir/bus-pid")
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$dir/bus")
export DBUS_SESSION_BUS_ADDRESS

status=0
"$@" || status=$?
exit "$status"
