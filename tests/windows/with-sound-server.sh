#!/bin/sh
# Runs a command with a private PulseAudio server whose only output is a null
# sink, so that Wine's wave-audio device exists and plays into nothing. The
# server lives in a temporary folder (socket, state, log) and is ended, by its
# pid, when the command is done.
#   tests/windows/with-sound-server.sh COMMAND [ARGS...]
set -eu
dir=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-sound.XXXXXX")
mkdir -p "$dir/home" "$dir/runtime" "$dir/state"
chmod 700 "$dir/runtime"
printf 'autospawn = no\n' >"$dir/client.conf"
(
  export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/home/.config"
  export PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state"
  export PULSE_CLIENTCONFIG="$dir/client.conf" DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/no-bus"
  exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
    --no-cpu-limit --realtime=no --high-priority=no --log-target=file:"$dir/pulse.log" \
    -L "module-null-sink sink_name=quarvel rate=48000 channels=2" \
    -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    </dev/null >/dev/null 2>&1
) &
server=$!
stop() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  rm -rf "$dir"
}
trap stop EXIT INT TERM
export PULSE_SERVER="unix:$dir/native" PULSE_CLIENTCONFIG="$dir/client.conf" PULSE_SINK=quarvel
i=0
until [ -S "$dir/native" ]; do
  i=$((i + 1))
  if [ "$i" -gt 100 ] || ! kill -0 "$server" 2>/dev/null; then
    echo "with-sound-server: PulseAudio did not start" >&2
    cat "$dir/pulse.log" >&2 2>/dev/null || true
    exit 1
  fi
  sleep 0.1
done
status=0
"$@" || status=$?
exit "$status"
