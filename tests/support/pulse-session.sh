#!/bin/sh
# A private PulseAudio server for tests: one null sink named "q" whose monitor
# ("q.monitor") can be recorded with parec, reached through its own socket in a
# temporary folder. Nothing outside that folder is read or written: no user or
# system configuration, no autospawn, no cookie of the user's.
#
#   eval "$(tests/support/pulse-session.sh start)"   # exports PULSE_SERVER etc.
#   ...
#   tests/support/pulse-session.sh stop "$QUARVEL_PULSE_DIR"
#
# start prints shell `export` lines; the folder it names holds the server's pid,
# log and socket. stop ends that server (by its recorded pid) and removes the
# folder. With --owner PID the server also ends (within a second) once that
# process has, so a test killed before its clean-up leaves nothing running.
set -eu

usage() {
  echo "usage: $0 start [--owner PID] [DIR] | stop DIR" >&2
  exit 2
}

# Runs a client command against the server in $dir.
client() {
  PULSE_SERVER="unix:$dir/native" PULSE_CLIENTCONFIG="$dir/client.conf" HOME="$dir/home" "$@"
}

start() {
  owner=
  if [ "${1:-}" = --owner ]; then
    owner=${2:-}
    [ -n "$owner" ] || usage
    shift 2
  fi
  command -v pulseaudio >/dev/null 2>&1 || {
    echo "pulse-session: pulseaudio is not installed" >&2
    exit 1
  }
  dir=${1:-}
  if [ -z "$dir" ]; then
    dir=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-pulse.XXXXXX")
  else
    mkdir -p "$dir"
  fi
  dir=$(cd "$dir" && pwd)
  mkdir -p "$dir/home" "$dir/runtime" "$dir/state"
  chmod 700 "$dir/runtime"
  # The client side: never autospawn a server, never touch the user's cookie.
  # No shared memory: PulseAudio 16.1 can abort (memblock_replace_import) after
  # many clients are ended mid-stream over it, as the tests end launchers.
  printf 'autospawn = no\nenable-shm = no\n' >"$dir/client.conf"

  (
    export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/home/.config"
    export PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state"
    export PULSE_CLIENTCONFIG="$dir/client.conf"
    unset PULSE_SERVER 2>/dev/null || true
    # No session bus: the server would otherwise try to start one.
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/no-bus"
    # -n: no default script; only the modules named here. Realtime and
    # high priority are off so nothing asks the system for privileges.
    exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
      --disallow-exit --no-cpu-limit --realtime=no --high-priority=no \
      --log-target=file:"$dir/pulse.log" \
      -L "module-null-sink sink_name=q rate=48000 channels=2" \
      -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
      </dev/null >/dev/null 2>&1
  ) &
  echo $! >"$dir/pid"

  # Wait (at most 10 s) until the server answers on its socket.
  i=0
  until client pactl info >/dev/null 2>&1; do
    i=$((i + 1))
    if [ "$i" -gt 100 ] || ! kill -0 "$(cat "$dir/pid")" 2>/dev/null; then
      echo "pulse-session: the server did not start (see $dir/pulse.log)" >&2
      kill "$(cat "$dir/pid")" 2>/dev/null || true
      exit 1
    fi
    sleep 0.1
  done
  client pactl set-default-sink q >/dev/null 2>&1 || true
  if [ -n "$owner" ]; then
    server=$(cat "$dir/pid")
    (
      while running "$owner" && running "$server"; do sleep 1; done
      running "$server" && "$0" stop "$dir"
    ) </dev/null >/dev/null 2>&1 &
  fi

  echo "export PULSE_SERVER='unix:$dir/native'"
  echo "export PULSE_CLIENTCONFIG='$dir/client.conf'"
  echo "export PULSE_SINK='q'"
  echo "export QUARVEL_PULSE_DIR='$dir'"
  echo "export QUARVEL_PULSE_MONITOR='q.monitor'"
}

# True while process $1 exists and is not a zombie.
running() {
  state=$(sed -n 's/^.*) \([A-Za-z]\).*$/\1/p' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

stop() {
  dir=${1:-}
  [ -n "$dir" ] && [ -f "$dir/pid" ] || usage
  pid=$(cat "$dir/pid")
  if kill "$pid" 2>/dev/null; then
    # Ended means gone or a zombie: whoever reaps it may take their time.
    i=0
    while running "$pid" && [ "$i" -lt 100 ]; do
      sleep 0.02
      i=$((i + 1))
    done
    running "$pid" && kill -9 "$pid" 2>/dev/null
  fi
  case "$dir" in
    */quarvel-pulse.*) rm -rf "$dir" ;;
    *) rm -f "$dir/pid" ;;
  esac
}

case "${1:-}" in
  start)
    shift
    start "$@"
    ;;
  stop) stop "${2:-}" ;;
  *) usage ;;
esac
