#!/bin/sh
# A private sound server for tests, set up as a desktop runs one, with one null
# sink named "q" as its default output. Its monitor ("q.monitor") can be
# recorded with parec. Nothing outside the server's temporary folder is read
# or written: no user or system configuration, no autospawn, no session bus.
#
#   eval "$(tests/support/sound-session.sh start)"   # exports PULSE_SERVER etc.
#   ...
#   tests/support/sound-session.sh stop "$QUARVEL_PULSE_DIR"
#   tests/support/sound-session.sh run COMMAND [ARGS...]   # the same around one command
#
# QUARVEL_SOUND_SERVER (or --server) chooses what a desktop may run:
#   pulseaudio       PulseAudio 16 (the default);
#   pipewire         PipeWire with WirePlumber and pipewire-pulse, as desktops
#                    run it (SDL's default driver reaches it as PulseAudio);
#   pipewire-native  the same server, with SDL's own PipeWire driver named
#                    (SDL_AUDIODRIVER=pipewire is among the exports).
#
# start prints shell `export` lines; the folder it names holds the servers'
# pids, logs and sockets. stop ends those servers (by their recorded pids) and
# removes the folder. With --owner PID the servers also end (within a second)
# once that process has, so a test killed before its clean-up leaves nothing.
set -eu

usage() {
  echo "usage: $0 start [--server pulseaudio|pipewire|pipewire-native] [--owner PID] [DIR]" >&2
  echo "       $0 stop DIR" >&2
  echo "       $0 run COMMAND [ARGS...]" >&2
  exit 2
}

# Runs a client command against the server in $dir.
client() {
  PULSE_SERVER="$pulse_server" PULSE_CLIENTCONFIG="$dir/client.conf" HOME="$dir/home" "$@"
}

# True while process $1 exists and is not a zombie.
running() {
  state=$(sed -n 's/^.*) \([A-Za-z]\).*$/\1/p' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# Waits (at most 10 s) until `$@` succeeds while every server is running.
await() {
  i=0
  until "$@" >/dev/null 2>&1; do
    i=$((i + 1))
    for pid in $(cat "$dir/pid"); do
      running "$pid" || i=1000
    done
    if [ "$i" -gt 200 ]; then
      echo "sound-session: the $server server did not start (logs in $dir)" >&2
      stop "$dir" keep
      exit 1
    fi
    sleep 0.05
  done
}

# The servers' environment: everything in $dir, no session bus (a server
# would otherwise try to start one).
server_environment() {
  export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config"
  export XDG_STATE_HOME="$dir/state" PULSE_RUNTIME_PATH="$dir/runtime"
  export PULSE_STATE_PATH="$dir/state" PULSE_CLIENTCONFIG="$dir/client.conf"
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/no-bus"
  unset PULSE_SERVER PIPEWIRE_RUNTIME_DIR PIPEWIRE_REMOTE 2>/dev/null || true
}

start_pulseaudio() {
  pulse_server="unix:$dir/native"
  (
    server_environment
    # -n: no default script; only the modules named here. High priority and
    # realtime, as a desktop's server has them, where the system grants them
    # outright (as PipeWire here takes them); rtkit is never asked.
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/no-bus"
    exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
      --disallow-exit --no-cpu-limit --realtime=yes --high-priority=yes \
      --log-target=file:"$dir/pulse.log" \
      -L "module-null-sink sink_name=q rate=48000 channels=2" \
      -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
      </dev/null >/dev/null 2>&1
  ) &
  echo $! >"$dir/pid"
  await client pactl info
  # Held until the desktop's client is there (keep_a_desktop_client): a null
  # sink that runs with no client renders its first two seconds in one block.
  client pactl suspend-sink q 1
}

start_pipewire() {
  pulse_server="unix:$dir/runtime/native"
  # WirePlumber without the parts that need a session or system bus or
  # hardware: device monitors, device reservation and the Flatpak portal. It
  # still links streams to the default sink and suspends idle nodes.
  mkdir -p "$dir/config/wireplumber/main.lua.d" "$dir/config/wireplumber/bluetooth.lua.d"
  cat >"$dir/config/wireplumber/main.lua.d/51-private.lua" <<'LUA'
alsa_monitor.enabled = false
alsa_monitor.properties["alsa.reserve"] = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
default_access.properties["enable-flatpak-portal"] = false
LUA
  echo 'bluez_monitor.enabled = false' >"$dir/config/wireplumber/bluetooth.lua.d/51-private.lua"
  : >"$dir/pid"
  for program in pipewire wireplumber pipewire-pulse; do
    (
      server_environment
      exec "$program" </dev/null >"$dir/$program.log" 2>&1
    ) &
    echo $! >>"$dir/pid"
    # The others connect to PipeWire's socket as they start.
    [ "$program" = pipewire ] && await test -S "$dir/runtime/pipewire-0"
  done
  await client pactl info
  await null_sink_is_default
}

# Makes the null sink, where there is none yet, the default: true once it is.
# pipewire-pulse may refuse a module for a moment after it first answers.
null_sink_is_default() {
  client pactl list short sinks | awk '$2 == "q" { found = 1 } END { exit !found }' ||
    client pactl load-module module-null-sink sink_name=q rate=48000 channels=2 || return 1
  client pactl set-default-sink q && [ "$(client pactl get-default-sink)" = q ]
}

# A desktop's output always has some client that keeps it at about 20 ms
# latency; without one a null sink renders in blocks of up to two seconds. So
# one listens here for the server's whole life, and the session starts once the
# sink runs at its pace (PulseAudio tells how far ahead it has rendered): its
# sink, held until now, starts with the client there.
keep_a_desktop_client() {
  (
    export PULSE_SERVER="$pulse_server" PULSE_CLIENTCONFIG="$dir/client.conf" HOME="$dir/home"
    exec parec -d q.monitor --latency-msec=20 --raw </dev/null >/dev/null 2>&1
  ) &
  echo $! >>"$dir/pid"
  await client pactl list short source-outputs
  [ "$server" = pulseaudio ] || return 0
  client pactl suspend-sink q 0
  await sh -c "PULSE_SERVER='$pulse_server' pactl list sinks |
    awk '/Latency:/ && \$2 + 0 > 0 && \$2 + 0 < 30000 { ok = 1 } END { exit !ok }'"
}

start() {
  server=${QUARVEL_SOUND_SERVER:-pulseaudio}
  owner=
  while [ $# -gt 0 ]; do
    case "$1" in
      --server) server=${2:-}; shift 2 ;;
      --owner) owner=${2:-}; [ -n "$owner" ] || usage; shift 2 ;;
      *) break ;;
    esac
  done
  driver=
  case "$server" in
    pulseaudio | pipewire) ;;
    pipewire-native) server=pipewire driver=pipewire ;;
    *) usage ;;
  esac
  command -v "$server" >/dev/null 2>&1 || {
    echo "sound-session: $server is not installed" >&2
    exit 1
  }
  dir=${1:-}
  if [ -z "$dir" ]; then
    dir=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-sound.XXXXXX")
  else
    mkdir -p "$dir"
  fi
  dir=$(cd "$dir" && pwd)
  mkdir -p "$dir/home" "$dir/runtime" "$dir/state" "$dir/config"
  chmod 700 "$dir/runtime"
  # The client side: never autospawn a server, never touch the user's cookie.
  # No shared memory: PulseAudio 16.1 can abort (memblock_replace_import) after
  # many clients are ended mid-stream over it, as the tests end launchers.
  printf 'autospawn = no\nenable-shm = no\n' >"$dir/client.conf"

  "start_$server"
  keep_a_desktop_client
  if [ -n "$owner" ]; then
    first=$(head -n1 "$dir/pid")
    (
      while running "$owner" && running "$first"; do sleep 1; done
      "$0" stop "$dir"
    ) </dev/null >/dev/null 2>&1 &
  fi

  echo "export PULSE_SERVER='$pulse_server'"
  echo "export PULSE_CLIENTCONFIG='$dir/client.conf'"
  echo "export PULSE_SINK='q'"
  if [ "$server" = pipewire ]; then
    echo "export PIPEWIRE_RUNTIME_DIR='$dir/runtime'"
    if [ -n "$driver" ]; then echo "export SDL_AUDIODRIVER='$driver'"; fi
  fi
  echo "export QUARVEL_PULSE_DIR='$dir'"
  echo "export QUARVEL_PULSE_MONITOR='q.monitor'"
}

# Ends the servers of $1 (last started first) and removes the folder, unless
# $2 is "keep".
stop() {
  dir=${1:-}
  [ -n "$dir" ] && [ -f "$dir/pid" ] || usage
  for pid in $(tac "$dir/pid"); do
    kill "$pid" 2>/dev/null || continue
    # Ended means gone or a zombie: whoever reaps it may take their time.
    i=0
    while running "$pid" && [ "$i" -lt 100 ]; do
      sleep 0.02
      i=$((i + 1))
    done
    running "$pid" && kill -9 "$pid" 2>/dev/null
  done
  [ "${2:-}" = keep ] && return
  case "$dir" in
    */quarvel-sound.*) rm -rf "$dir" ;;
    *) rm -f "$dir/pid" ;;
  esac
}

case "${1:-}" in
  start)
    shift
    start "$@"
    ;;
  stop) stop "${2:-}" ;;
  run)
    shift
    [ $# -gt 0 ] || usage
    eval "$(start --owner $$)"
    trap 'stop "$QUARVEL_PULSE_DIR"' EXIT
    trap 'exit 130' INT TERM
    status=0
    "$@" || status=$?
    exit "$status"
    ;;
  *) usage ;;
esac
